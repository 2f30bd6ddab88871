// The test's side of the driver: a copy of the built program in a temporary folder of its own,
// run as a separate process with the driver preloaded, and commands sent to it.
#pragma once

#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QSize>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <optional>

using namespace Qt::StringLiterals;

// A program folder (the executable and Data/db.mzx made by the build tool), a home folder
// with Documents, and a runtime folder for the single-instance lock.
class ProgramCopy {
public:
    ProgramCopy();
    QString folder() const;  // with a trailing "/"
    QString program() const;
    QString database() const;
    QString home() const;
    QString runtime() const;
    QString root() const;  // everything above lives under this folder
    // The rows of a statement on the copy's database, read through a connection of the test's
    // own, which first rolls back what a killed program left half done, as its next start
    // would.
    QList<QStringList> rows(const char* sql) const;
    QStringList column(const char* sql) const;  // the first column of those rows
    // Hands the whole tree to another user, for a run as that user.
    void giveTo(uid_t user, gid_t group) const;

private:
    QTemporaryDir dir_;
};

// A memory figure of a running process, in MiB: a field of one of its files under /proc, such
// as "Pss" of "smaps_rollup" or "VmHWM" of "status"; 0 when there is none.
double processMemoryMiB(qint64 pid, const char* file, const char* field);

// Raised when the program cannot be reached or refuses a command.
struct RemoteError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class RemoteProgram {
public:
    struct Options {
        QStringList environment;    // extra NAME=value pairs; a NAME alone is taken out
        std::optional<uid_t> user;  // run as this user (and its group) instead of ours
        std::optional<gid_t> group;
        bool driven = true;  // preload the driver
    };
    RemoteProgram(const ProgramCopy& copy, Options options);
    RemoteProgram(const ProgramCopy& copy) : RemoteProgram(copy, Options()) {}
    ~RemoteProgram();

    // Starts the program; with the driver, waits until it has joined.
    void start(const QString& program = {});
    qint64 pid() const { return process_.processId(); }

    QStringList call(const QStringList& command);
    QString text(const QString& path) { return call({u"text"_s, path}).value(0); }
    bool visible(const QString& path) { return call({u"visible"_s, path}).value(0) == QLatin1String("1"); }
    bool checked(const QString& path) { return call({u"checked"_s, path}).value(0) == QLatin1String("1"); }
    // A window's size with the frame the window manager (or the program, on Wayland) puts around it.
    QSize outerSize(const QString& window);
    void click(const QString& path) { call({u"click"_s, path}); }
    void keys(const QString& text) { call({u"keys"_s, text}); }
    void key(const QString& name) { call({u"key"_s, name}); }
    // Clicks into an edit, clears it and types.
    void typeInto(const QString& path, const QString& text);
    int rowCount(const QString& grid) { return call({u"rows"_s, grid}).value(0).toInt(); }
    QString cell(const QString& grid, int row, int column);
    // The texts of one column of the grid's model (hidden ones too), row by row.
    QStringList column(const QString& grid, int column);

    // Waits until the condition holds, asking again every few milliseconds.
    bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 15000);
    void waitVisible(const QString& path);
    // The caption and text of the message box the program shows next.
    QStringList waitBox();
    void answer(const QString& button) { call({u"answer"_s, button}); }
    // Waits for a box with this text, then presses its button.
    void expectBox(const QString& text, const QString& button = u"OK"_s);

    bool waitForExit(int timeoutMs = 15000);
    int exitCode() const { return process_.exitCode(); }
    void kill();
    QString log() const;

private:
    const ProgramCopy& copy_;
    Options options_;
    QProcess process_;
    QLocalServer server_;
    QLocalSocket* socket_ = nullptr;
};

// A stand-in for the maker's web site on a local port that takes every request and answers
// only those for the files it was given: any other banner page never finishes loading. The
// program is told through its environment (proxyEnvironment()) to use it as its web proxy,
// which Qt's network access does by default on Linux, so every address of every host comes to
// it whole ("http://host/page").
class HeldSite {
public:
    HeldSite();
    ~HeldSite();
    HeldSite(const HeldSite&) = delete;
    HeldSite& operator=(const HeldSite&) = delete;

    // From now on, a request for this address ("http://host/path") gets this file.
    void serve(const QString& address, const QByteArray& mediaType, const QByteArray& body);
    QStringList proxyEnvironment() const;  // http_proxy=..., no_proxy=
    QStringList requestedPaths() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};
