// The password book's reader of what its banner helper sends back. A helper that a web page
// has taken over may send anything, so the reader takes nothing on trust: only replies to
// requests it was told of, each a fixed header whose sizes must be those asked for, raw pixels
// (no picture format, nothing decoded) and a list of links bounded in count and length, whose
// addresses must be http or https. A reply out of line, larger than asked or slower than its
// budget breaks the reader for good, and the helper is ended.
#pragma once

#include "protocol/banner.h"

#include <QHash>
#include <QImage>
#include <QList>
#include <QRect>
#include <QUrl>

class BannerReplyReader {
public:
    // The time a reply may take from its request, and the time the rest of a reply may take
    // once its header has come.
    static constexpr qint64 kReplyBudgetMs = 30000;
    static constexpr qint64 kTransferBudgetMs = 3000;

    struct Link {
        QRect area;  // CSS pixels, within the picture
        QUrl address;
    };
    struct Reply {
        quint32 view = 0;
        quint32 serial = 0;
        BannerProtocol::ReplyStatus status = BannerProtocol::ReplyStatus::Placeholder;
        QImage picture;  // CSS size scaled to pixels; null for the placeholder
        QList<Link> links;
    };

    // A request was sent: the helper owes a reply for the view, of this many pixels for a
    // picture of this size. A view is owed one reply at a time.
    void expect(quint32 view, quint32 serial, const QSize& size, const QSize& pixels, qint64 nowMs);

    // Takes bytes as they arrive; the replies they complete go to done. False, for good, once
    // anything is out of line or late.
    bool take(const char* data, qsizetype size, qint64 nowMs, QList<Reply>& done);
    // Whether a reply owed or begun is past its budget.
    bool isLate(qint64 nowMs) const;
    // When the next budget runs out; -1 when nothing is owed.
    qint64 nextDeadline() const;
    QString error() const { return error_; }

private:
    struct Owed {
        quint32 serial = 0;
        QSize size;
        QSize pixels;
        qint64 deadline = 0;
        bool partialSeen = false;
    };
    enum class Stage { Header, Pixels, Links };

    bool fail(const QString& why);
    bool startReply();
    qsizetype takePixels(const char* data, qsizetype size);
    qsizetype takeLinks(const char* data, qsizetype size);
    bool readLinks(const Owed& owed);
    void finishReply(QList<Reply>& done);

    QHash<quint32, Owed> owed_;  // by view
    Stage stage_ = Stage::Header;
    QByteArray header_;
    BannerProtocol::ReplyHeader current_;
    qint64 transferDeadline_ = 0;
    Reply reply_;
    qsizetype pixelBytes_ = 0;
    QByteArray linkBytes_;
    QString error_;
};
