// The helper's end of the pipes: requests read from standard input, a page kept for each
// banner view of the password book, replies written to standard output. A request the helper
// cannot read ends it: only the password book talks to it.
#pragma once

#include "bannerpage.h"
#include "protocol/banner.h"

#include <QByteArray>
#include <QSocketNotifier>
#include <memory>
#include <vector>

class Server : public QObject {
    Q_OBJECT
public:
    // The views whose pages are kept; the one used longest ago goes first.
    static constexpr std::size_t kViewLimit = 8;

    Server();

private:
    struct View {
        std::uint32_t id = 0;
        std::unique_ptr<BannerPage> page;
        std::uint32_t serial = 0;  // the request waiting for its answer, if any
        bool waiting = false;
        bool partialSent = false;
        QSize size;    // CSS pixels
        QSize pixels;  // device pixels
    };

    void readRequests();
    void take(const BannerProtocol::RequestHeader& request, const QByteArray& url);
    void forget(std::uint32_t id);
    View* find(std::uint32_t id);
    View& viewFor(std::uint32_t id);
    void answer(std::uint32_t id);
    void reply(View& view, BannerProtocol::ReplyStatus status, const BannerPage::Drawing& drawing = {});

    QSocketNotifier input_;
    QByteArray pending_;
    std::vector<View> views_;  // the one used last at the back
};
