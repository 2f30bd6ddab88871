// What the password book and its banner helper say to each other over two pipes: requests to
// draw a page at a size, and replies of raw pixels with the page's link areas. Each header is
// a row of 32-bit numbers in the machine's own byte order (both ends run on one machine); a
// reply's sizes are checked against the request it answers before any of its bytes is kept.
#pragma once

#include "protocol/bytes.h"

#include <QUrl>
#include <cstdint>

namespace BannerProtocol {

inline constexpr std::uint32_t kRequestMagic = 0x51425a4d;  // "MZBQ"
inline constexpr std::uint32_t kReplyMagic = 0x52425a4d;    // "MZBR"

enum class RequestKind : std::uint32_t { Draw = 1, Forget = 2 };

// A page may be answered twice: once laid out while its pictures are still on their way
// (Partial), then whole (Complete); or the placeholder instead, with no pixels.
enum class ReplyStatus : std::uint32_t { Partial = 1, Complete = 2, Placeholder = 3 };

// What one picture may be: its size in CSS pixels, and its pixels once scaled.
inline constexpr std::uint32_t kMaxCssWidth = 4096;
inline constexpr std::uint32_t kMaxCssHeight = 1024;
inline constexpr std::uint32_t kMinScaleMilli = 500;
inline constexpr std::uint32_t kMaxScaleMilli = 4000;
inline constexpr std::uint32_t kMaxPixels = 4 * 1024 * 1024;
inline constexpr std::uint32_t kBytesPerPixel = 4;  // 0xffRRGGBB, rows top down, no padding

// The addresses a request and a link may carry, and how many links a picture may have.
inline constexpr std::uint32_t kUrlLimit = 2048;
inline constexpr std::uint32_t kLinkLimit = 64;

// Followed by urlLength bytes of the page's address (UTF-8); Forget carries none.
struct RequestHeader {
    std::uint32_t magic = kRequestMagic;
    RequestKind kind = RequestKind::Draw;
    std::uint32_t view = 0;
    std::uint32_t serial = 0;
    std::uint32_t width = 0;  // CSS pixels
    std::uint32_t height = 0;
    std::uint32_t scaleMilli = 1000;  // device pixels per CSS pixel, times 1000
    std::uint32_t urlLength = 0;
};

// Followed by pixelWidth * pixelHeight * kBytesPerPixel bytes of pixels, then linkCount links
// in linkBytes bytes.
struct ReplyHeader {
    std::uint32_t magic = kReplyMagic;
    std::uint32_t view = 0;
    std::uint32_t serial = 0;
    ReplyStatus status = ReplyStatus::Placeholder;
    std::uint32_t pixelWidth = 0;
    std::uint32_t pixelHeight = 0;
    std::uint32_t linkCount = 0;
    std::uint32_t linkBytes = 0;
};

// A link area in CSS pixels, followed by urlLength bytes of its absolute address.
struct LinkHeader {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint32_t urlLength = 0;
};

static_assert(sizeof(RequestHeader) == 32 && sizeof(ReplyHeader) == 32 && sizeof(LinkHeader) == 20);

inline constexpr std::uint32_t kMaxLinkBytes = kLinkLimit * (sizeof(LinkHeader) + kUrlLimit);

// An http or https address with a host: the only kind a banner's page, its files and its links
// may have ("http:/etc/passwd", "http://" and "https:" have none).
inline bool isWebAddress(const QUrl& url)
{
    return url.isValid() && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"))
           && !url.host().isEmpty();
}

// Device pixels for a length in CSS pixels, rounded up.
constexpr std::uint32_t scaled(std::uint32_t css, std::uint32_t scaleMilli)
{
    return std::uint32_t((std::uint64_t(css) * scaleMilli + 999) / 1000);
}

using Protocol::load;
using Protocol::store;

}  // namespace BannerProtocol
