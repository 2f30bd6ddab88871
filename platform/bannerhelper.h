// The banner helper as the password book sees it: one process of its own (mzbanner, beside the
// executable) that fetches, lays out and draws the banner pages, shared by every banner view.
// It starts once the first banner has been shown, fenced in from its first instruction (it dies
// with the program, gets no new privileges, and sees none of the program's files and no
// environment but its proxy, locale and fonts); it is sent requests, and its replies are read
// by a strict reader without the user interface ever waiting for it. A helper that crashes,
// overruns a budget or sends anything out of line is ended, every banner shows its placeholder,
// and it is started again at most once a run.
#pragma once

#include "platform/bannerreply.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <memory>

class BannerView;
class QProcess;

class BannerHelper : public QObject {
    Q_OBJECT
public:
    // How long after the first banner is shown the helper starts, so that the first window
    // paints and takes keys before a second process competes for the processor.
    static constexpr int kStartDelayMs = 250;
    // Starts in one run: the first, and one more after a failure.
    static constexpr int kStartLimit = 2;

    // What a view asks for: the page at its size in CSS pixels, at its device pixel ratio
    // within what a reply may carry.
    struct Request {
        QUrl url;
        QSize size;
        quint32 scaleMilli = 1000;
        QSize pixels() const;
        bool operator==(const Request&) const = default;
    };
    static Request requestFor(const QUrl& url, const QSize& size, qreal devicePixelRatio);

    static BannerHelper& instance();
    // A view that goes: the helper forgets its page, if there is still a helper.
    static void release(quint32 view);

    quint32 add(BannerView* view);
    // The helper drops the view's page, so that its next picture comes from a fresh fetch.
    void forget(quint32 view);
    // Asks for a picture; its serial, or 0 when no helper will draw it any more.
    quint32 draw(quint32 view, const Request& request);

    // The helper program and its arguments, for tests; an empty path restores the default.
    static void setProgramForTesting(const QString& path, const QStringList& arguments = {});

private:
    explicit BannerHelper(QObject* parent);
    ~BannerHelper() override;

    void remove(quint32 view);
    void start();
    void send(const QByteArray& bytes);
    void readReplies();
    void checkDeadline();
    void armDeadline();
    void fail();

    enum class State { Idle, StartDue, Running, Ended, Failed };
    State state_ = State::Idle;
    int starts_ = 0;
    std::unique_ptr<QProcess> process_;
    QByteArray queued_;  // requests made before the helper runs
    BannerReplyReader reader_;
    QHash<quint32, QPointer<BannerView>> views_;
    QTimer startTimer_;
    QTimer deadline_;
    QElapsedTimer clock_;
    quint32 lastView_ = 0;
    quint32 lastSerial_ = 0;
};
