// Fetching a web page and the files it needs, for a banner: each over a bounded HTTP request of
// its own (httpget.h), limited in time and size, redirects kept on the first address's origin,
// pictures written into the page (data: addresses) read in place, and nothing kept on disk (no
// cache, no cookies).
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>
#include <functional>

// Two addresses on one web origin: the same scheme, host and port.
bool isSameOrigin(const QUrl& a, const QUrl& b);

// One fetched file, or why it could not be fetched.
struct Fetched {
    QUrl url;  // where it came from at last, after redirects
    QByteArray body;
    QByteArray mediaType;  // "text/html", lower case, without parameters
    QByteArray charset;    // from the content type, lower case; empty when not given
    QString error;         // empty when the file arrived whole

    bool ok() const { return error.isEmpty(); }
};

class PageFetcher : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 kSizeLimit = 2 * 1024 * 1024;
    static constexpr int kDefaultTimeLimitMs = 10000;
    static constexpr int kRedirectLimit = 5;

    using Done = std::function<void(const Fetched&)>;

    explicit PageFetcher(QObject* parent = nullptr);
    ~PageFetcher() override;

    // Starts fetching url; done is called once, later, from the event loop. Only data addresses
    // and plain http addresses on the origin of `origin` are fetched, and redirects are followed
    // only on that origin: for any other address nothing starts and the answer is false.
    bool fetch(const QUrl& url, const QUrl& origin, Done done);
    // Drops every fetch under way; their done functions are never called.
    void cancelAll();

    // The time each request may take from now on (tests shorten it), within the default.
    static void setTimeLimit(int milliseconds);
};
