// Reading what the banner helper sends back (see bannerreply.h).
#include "platform/bannerreply.h"

#include <algorithm>
#include <cstring>

using namespace Qt::StringLiterals;

using namespace BannerProtocol;

namespace {

constexpr qsizetype kHeaderSize = sizeof(ReplyHeader);

bool isPlaceArea(const LinkHeader& link)
{
    const auto within = [](std::int32_t value, std::uint32_t limit) {
        return value >= -std::int32_t(limit) && value <= std::int32_t(limit);
    };
    return within(link.x, kMaxCssWidth) && within(link.y, kMaxCssHeight) && link.width >= 0
           && link.width <= std::int32_t(kMaxCssWidth) && link.height >= 0
           && link.height <= std::int32_t(kMaxCssHeight);
}

}  // namespace

void BannerReplyReader::expect(quint32 view, quint32 serial, const QSize& size, const QSize& pixels, qint64 nowMs)
{
    owed_.insert(view, Owed{serial, size, pixels, nowMs + kReplyBudgetMs});
}

bool BannerReplyReader::take(const char* data, qsizetype size, qint64 nowMs, QList<Reply>& done)
{
    if (!error_.isEmpty())
        return false;
    if (isLate(nowMs))
        return fail(u"a reply later than its budget"_s);
    for (;;) {
        if (stage_ == Stage::Pixels && pixelBytes_ == reply_.picture.sizeInBytes())
            stage_ = Stage::Links;
        if (stage_ == Stage::Links && linkBytes_.size() == qsizetype(current_.linkBytes)) {
            if (!readLinks(owed_.value(current_.view)))
                return false;
            finishReply(done);
        }
        if (size == 0)
            return true;
        qsizetype used = 0;
        switch (stage_) {
        case Stage::Header:
            // A reply's time to come whole starts with its first byte.
            if (header_.isEmpty())
                transferDeadline_ = nowMs + kTransferBudgetMs;
            used = std::min(size, kHeaderSize - header_.size());
            header_.append(data, used);
            if (header_.size() == kHeaderSize && !startReply())
                return false;
            break;
        case Stage::Pixels:
            used = takePixels(data, size);
            break;
        case Stage::Links:
            used = takeLinks(data, size);
            break;
        }
        data += used;
        size -= used;
    }
}

bool BannerReplyReader::startReply()
{
    const auto header = load<ReplyHeader>(header_.constData());
    header_.clear();
    if (header.magic != kReplyMagic)
        return fail(u"not a reply"_s);
    const auto owed = owed_.constFind(header.view);
    if (owed == owed_.cend() || owed->serial != header.serial)
        return fail(u"a reply to nothing asked"_s);
    const bool pictureAsked =
        qint64(header.pixelWidth) == owed->pixels.width() && qint64(header.pixelHeight) == owed->pixels.height();
    const bool linksInBounds = header.linkCount <= kLinkLimit && header.linkBytes <= kMaxLinkBytes
                               && header.linkBytes >= header.linkCount * sizeof(LinkHeader);
    switch (header.status) {
    case ReplyStatus::Placeholder:
        if (header.pixelWidth || header.pixelHeight || header.linkCount || header.linkBytes)
            return fail(u"a placeholder with contents"_s);
        break;
    case ReplyStatus::Partial:
    case ReplyStatus::Complete:
        if (header.status == ReplyStatus::Partial && owed->partialSeen)
            return fail(u"a second partial reply"_s);
        if (!pictureAsked)
            return fail(u"a picture of a size not asked for"_s);
        if (!linksInBounds)
            return fail(u"a link list over its bounds"_s);
        break;
    default:
        return fail(u"an unknown reply"_s);
    }
    current_ = header;
    reply_ = Reply{header.view, header.serial, header.status, QImage(), {}};
    if (header.status != ReplyStatus::Placeholder) {
        reply_.picture = QImage(owed->pixels, QImage::Format_RGB32);
        if (reply_.picture.sizeInBytes() != qsizetype(header.pixelWidth) * header.pixelHeight * kBytesPerPixel)
            return fail(u"no memory for the picture"_s);
    }
    pixelBytes_ = 0;
    linkBytes_.clear();
    stage_ = Stage::Pixels;
    return true;
}

qsizetype BannerReplyReader::takePixels(const char* data, qsizetype size)
{
    const qsizetype used = std::min(size, reply_.picture.sizeInBytes() - pixelBytes_);
    std::memcpy(reply_.picture.bits() + pixelBytes_, data, std::size_t(used));
    pixelBytes_ += used;
    return used;
}

qsizetype BannerReplyReader::takeLinks(const char* data, qsizetype size)
{
    const qsizetype used = std::min(size, qsizetype(current_.linkBytes) - linkBytes_.size());
    linkBytes_.append(data, used);
    return used;
}

// Each link is a place and an address; a place outside the picture, or an address that is not
// a web address, leaves the link out.
bool BannerReplyReader::readLinks(const Owed& owed)
{
    const QRect picture(QPoint(0, 0), owed.size);
    qsizetype at = 0;
    for (quint32 i = 0; i < current_.linkCount; ++i) {
        if (linkBytes_.size() - at < qsizetype(sizeof(LinkHeader)))
            return fail(u"a broken link list"_s);
        const auto link = load<LinkHeader>(linkBytes_.constData() + at);
        at += sizeof link;
        if (link.urlLength > kUrlLimit || qsizetype(link.urlLength) > linkBytes_.size() - at || !isPlaceArea(link))
            return fail(u"a broken link list"_s);
        const QUrl address = QUrl::fromEncoded(linkBytes_.mid(at, link.urlLength), QUrl::StrictMode);
        at += link.urlLength;
        const QRect area = QRect(link.x, link.y, link.width, link.height) & picture;
        if (isWebAddress(address) && !area.isEmpty())
            reply_.links << Link{area, address};
    }
    if (at != linkBytes_.size())
        return fail(u"a broken link list"_s);
    return true;
}

void BannerReplyReader::finishReply(QList<Reply>& done)
{
    if (reply_.status == ReplyStatus::Partial)
        owed_[reply_.view].partialSeen = true;
    else
        owed_.remove(reply_.view);
    done << std::exchange(reply_, Reply());
    linkBytes_.clear();
    stage_ = Stage::Header;
}

bool BannerReplyReader::isLate(qint64 nowMs) const
{
    const qint64 next = nextDeadline();
    return next >= 0 && nowMs > next;
}

qint64 BannerReplyReader::nextDeadline() const
{
    qint64 next = -1;
    for (const Owed& owed : owed_)
        next = next < 0 ? owed.deadline : std::min(next, owed.deadline);
    const bool begun = stage_ != Stage::Header || !header_.isEmpty();
    if (begun)
        next = next < 0 ? transferDeadline_ : std::min(next, transferDeadline_);
    return next;
}

bool BannerReplyReader::fail(const QString& why)
{
    if (error_.isEmpty())
        error_ = why;
    return false;
}
