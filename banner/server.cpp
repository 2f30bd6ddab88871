// The helper's end of the pipes (see server.h).
#include "server.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>

using namespace BannerProtocol;

namespace {

// The password book has gone, or has broken the protocol: the helper ends at once.
[[noreturn]] void end(int code) { ::_exit(code); }

void writeAll(const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(STDOUT_FILENO, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            end(0);
        data += written;
        size -= std::size_t(written);
    }
}

template <typename Header>
void writeHeader(const Header& header)
{
    char bytes[sizeof header];
    store(header, bytes);
    writeAll(bytes, sizeof bytes);
}

bool isValid(const RequestHeader& request)
{
    if (request.magic != kRequestMagic)
        return false;
    if (request.kind == RequestKind::Forget)
        return request.urlLength == 0;
    return request.kind == RequestKind::Draw && request.width >= 1 && request.width <= kMaxCssWidth
           && request.height >= 1 && request.height <= kMaxCssHeight && request.scaleMilli >= kMinScaleMilli
           && request.scaleMilli <= kMaxScaleMilli
           && std::uint64_t(scaled(request.width, request.scaleMilli)) * scaled(request.height, request.scaleMilli)
                  <= kMaxPixels
           && request.urlLength >= 1 && request.urlLength <= kUrlLimit;
}

QByteArray linkRecords(const QList<BannerPage::Link>& links)
{
    QByteArray records;
    for (const BannerPage::Link& link : links) {
        const LinkHeader header{link.area.x(), link.area.y(), link.area.width(), link.area.height(),
                                std::uint32_t(link.address.size())};
        char bytes[sizeof header];
        store(header, bytes);
        records += QByteArray(bytes, sizeof bytes) + link.address;
    }
    return records;
}

}  // namespace

Server::Server(Pages pages) : pages_(pages), input_(STDIN_FILENO, QSocketNotifier::Read)
{
    connect(&input_, &QSocketNotifier::activated, this, &Server::readRequests);
}

void Server::readRequests()
{
    char buffer[16384];
    const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (got < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (got <= 0)
        end(0);
    pending_.append(buffer, got);
    while (pending_.size() >= qsizetype(sizeof(RequestHeader))) {
        const auto request = load<RequestHeader>(pending_.constData());
        if (!isValid(request))
            end(2);
        const qsizetype whole = qsizetype(sizeof request) + request.urlLength;
        if (pending_.size() < whole)
            return;
        const QByteArray url = pending_.mid(sizeof request, request.urlLength);
        pending_.remove(0, whole);
        take(request, url);
    }
}

void Server::take(const RequestHeader& request, const QByteArray& url)
{
    if (request.kind == RequestKind::Forget)
        return forget(request.view);
    View& view = viewFor(request.view);
    view.serial = request.serial;
    if (pages_ == Pages::Placeholders)
        return reply(view, ReplyStatus::Placeholder);
    const QUrl address = QUrl::fromEncoded(url, QUrl::StrictMode);
    const QSize size(int(request.width), int(request.height));
    if (!view.page || view.page->url() != address) {
        view.page = std::make_unique<BannerPage>(address, size);
        // Answered from the event loop, never from inside the page's own work.
        connect(
            view.page.get(), &BannerPage::stateChanged, this, [this, id = view.id] { answer(id); },
            Qt::QueuedConnection);
    }
    view.waiting = true;
    view.partialSent = false;
    view.size = size;
    view.pixels =
        QSize(int(scaled(request.width, request.scaleMilli)), int(scaled(request.height, request.scaleMilli)));
    answer(view.id);
}

// A view the password book has closed: a request still waiting is answered, as it is owed.
void Server::forget(std::uint32_t id)
{
    View* found = find(id);
    if (!found)
        return;
    if (found->waiting)
        reply(*found, ReplyStatus::Placeholder);
    views_.erase(views_.begin() + (found - views_.data()));
}

Server::View* Server::find(std::uint32_t id)
{
    const auto found = std::find_if(views_.begin(), views_.end(), [id](const View& view) { return view.id == id; });
    return found == views_.end() ? nullptr : &*found;
}

// The view, made the one used last; a view not seen before takes the place of the one used
// longest ago when all places are taken.
Server::View& Server::viewFor(std::uint32_t id)
{
    if (View* found = find(id)) {
        const auto at = views_.begin() + (found - views_.data());
        std::rotate(at, at + 1, views_.end());
        return views_.back();
    }
    if (views_.size() == kViewLimit) {
        if (views_.front().waiting)
            reply(views_.front(), ReplyStatus::Placeholder);
        views_.erase(views_.begin());
    }
    views_.emplace_back().id = id;
    return views_.back();
}

void Server::answer(std::uint32_t id)
{
    View* found = find(id);
    if (!found || !found->waiting)
        return;
    View& view = *found;
    BannerPage& page = *view.page;
    if (page.state() == BannerPage::State::Loading || (page.state() == BannerPage::State::Shown && view.partialSent))
        return;
    const BannerPage::Drawing drawing =
        page.state() == BannerPage::State::Failed ? BannerPage::Drawing() : page.draw(view.size, view.pixels);
    switch (page.state()) {
    case BannerPage::State::Loading:
        return;
    case BannerPage::State::Failed:
        return reply(view, ReplyStatus::Placeholder);
    case BannerPage::State::Shown:
        if (view.partialSent)
            return;
        view.partialSent = true;
        return reply(view, ReplyStatus::Partial, drawing);
    case BannerPage::State::Complete:
        return reply(view, ReplyStatus::Complete, drawing);
    }
}

void Server::reply(View& view, ReplyStatus status, const BannerPage::Drawing& drawing)
{
    const QImage& picture = drawing.picture;
    const bool drawn = status != ReplyStatus::Placeholder && picture.size() == view.pixels
                       && picture.sizeInBytes() == qsizetype(picture.width()) * picture.height() * kBytesPerPixel;
    if (!drawn)
        status = ReplyStatus::Placeholder;
    const QByteArray links = drawn ? linkRecords(drawing.links) : QByteArray();
    writeHeader(ReplyHeader{kReplyMagic, view.id, view.serial, status, drawn ? std::uint32_t(picture.width()) : 0,
                            drawn ? std::uint32_t(picture.height()) : 0,
                            drawn ? std::uint32_t(drawing.links.size()) : 0, std::uint32_t(links.size())});
    if (drawn)
        writeAll(reinterpret_cast<const char*>(picture.constBits()), std::size_t(picture.sizeInBytes()));
    writeAll(links.constData(), std::size_t(links.size()));
    view.waiting = status == ReplyStatus::Partial;
}
