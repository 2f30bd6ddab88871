// Shared test fixtures: a temporary program folder with its own database file.
#pragma once

#include <QColor>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>
#include <functional>

struct sqlite3;
class QPoint;
class QWidget;
class TADOQuery;

// A temporary folder that stands for the executable's folder, holding Data/db.mzx made the
// way the build tool makes it; frmDM (created when missing) is connected to it.
class TestDatabase {
public:
    TestDatabase();
    ~TestDatabase();
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;

    QString folder() const;  // with a trailing "/"
    QString path() const;

    // Direct access through a connection of the test's own.
    void exec(const QString& sql);
    QList<QStringList> rows(const QString& sql);
    QString value(const QString& sql);
    int count(const QString& table);

    // Inserts an account; returns its ID.
    qint64 addAccount(const QString& date, const QString& name, const QString& user, const QString& password = {},
                      const QString& description = {});
    // Inserts n generated accounts in one transaction.
    void addAccounts(int n);

private:
    QTemporaryDir dir_;
    sqlite3* db_ = nullptr;
};

// Every row of a statement, each value as text; a statement the engine refuses ends the test
// program with the engine's message.
QList<QStringList> fetchRows(sqlite3* db, const QString& sql);

// A Jet 4.0 file of ../shared/fixtures/jet beside the clone, read from there, never copied in.
QString jetFixture(const QString& fileName);

// The rows of U_P ([ID, F1 … F5]) and S_U ([ID, F1, F2, F3]), each table in the order of its IDs.
struct JetRows {
    QList<QStringList> accounts;
    QList<QStringList> login;
};
// What a good fixture holds (its NAME.expected.json) as the program keeps it once brought across:
// NULL as empty text; with dateTimes (the file keeps its dates as Date/Time values) the last
// login as the login stamp writes it.
JetRows expectedJetRows(const QString& name, bool dateTimes);
// What the data file at path holds, read with the program's key.
JetRows storedJetRows(const QString& path);

// Loads the program's resources (pictures, pages) into a test program.
void initTestResources();

// A picture of one colour, as the bytes of a PNG file.
QByteArray pngOf(QSize size, QColor colour, QImage::Format format = QImage::Format_RGB32);

// Makes every web banner created from now on a stand-in that records where it was sent
// instead of starting the browser engine, and records the addresses given to the desktop's
// browser instead of opening them.
struct WebRecorder {
    WebRecorder();
    ~WebRecorder();
    static QList<QUrl> navigations;  // banner pages, in order
    static QList<QUrl> opened;       // addresses opened in the browser, in order
};

// Runs action inside the application's event loop and tells whether the action ended that
// loop, as the end of the program does. Gives up after a few seconds.
bool endsEventLoop(const std::function<void()>& action);

// Types text into an edit as an input method commits it, the way Chinese text and emoji are
// typed (QTest's key clicks carry Latin-1 only).
void typeText(QWidget* edit, const QString& text);

// Frees the windows whose deletion was deferred, such as closed account editors.
void freeClosedEditors();

// Sends what the platform sends for a double-click with the left button.
void doubleClick(QWidget* target, const QPoint& pos);

// The texts of one column of a query's rows, in its current order.
QStringList columnTexts(const TADOQuery& query, int column);

// A home folder of the test's own for the whole run, made before the application object: the
// user's documents, settings and caches all go under it.
class TemporaryHome {
public:
    TemporaryHome();

private:
    QTemporaryDir dir_;
};

// One test's program: a database of its own, web stand-ins, and a main window made over them
// on demand. Its end deletes the main window with the editors it owns.
class TestProgram : public TestDatabase {
public:
    ~TestProgram();
    // Makes the main window (its creation connects to this database) and shows it;
    // active also gives it the keyboard focus.
    static void showMainWindow(bool active = false);
    // Makes the main window as the start does, hidden, and lays out its list without waiting
    // for the window to be shown.
    static void makeMainWindow();

private:
    WebRecorder web_;
};
