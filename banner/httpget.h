// One HTTP/1.1 GET of a plain http address, over a socket of its own, straight to the host or
// through the proxy the environment names (webproxy.h). It reads what anyone on the way may
// have written, so everything is bounded before it is kept: the status line and headers (64 KiB
// and 100 lines in all, trailers included), the body (the caller's size limit, announced or
// not, whole or in chunks). No cookie is sent, and no compression is asked for.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTcpSocket>
#include <QUrl>
#include <functional>

class HttpGet : public QObject {
public:
    static constexpr qsizetype kHeaderBytes = 64 * 1024;
    static constexpr int kHeaderLines = 100;

    struct Response {
        int status = 0;
        QByteArray contentType;
        QByteArray location;
        QByteArray body;
        QString error;  // empty when the response arrived whole
    };
    using Done = std::function<void(const Response&)>;

    // Starts at once; done is called once, from the event loop, unless the request is
    // deleted first.
    HttpGet(const QUrl& url, qint64 sizeLimit, Done done, QObject* parent = nullptr);

private:
    enum class Stage { Head, Length, ChunkSize, ChunkData, ChunkEnd, Trailers, UntilClose, Done };

    void send();
    void readArrived();
    void closed();
    bool takeLine(QByteArray& line, bool head);
    bool parseNext();
    bool headLine(const QByteArray& line);
    bool startBody();
    bool takeBody(qsizetype size);
    void finish(const QString& error = QString());

    QUrl url_;
    qint64 sizeLimit_;
    Done done_;
    QTcpSocket socket_;
    QByteArray pending_;  // arrived, not read yet
    Stage stage_ = Stage::Head;
    qsizetype headBytes_ = 0;
    int headLines_ = 0;
    bool chunked_ = false;
    qint64 remaining_ = -1;  // of the body or of the chunk; -1: not announced
    Response response_;
};
