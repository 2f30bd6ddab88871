// The web proxy the helper fetches banners through, as its environment names it: http_proxy,
// with no_proxy naming the hosts reached directly. Banners are plain HTTP, so no other
// variable applies.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>

namespace WebProxy {

struct Address {
    QString host;
    std::uint16_t port = 0;
};

// The proxy named in http_proxy, if any; one named without a port is reached on 8080.
std::optional<Address> configured();

// The proxy for a host: none when there is none, or when no_proxy names the host, a domain it
// is in, or "*".
std::optional<Address> forHost(const QString& host);

}  // namespace WebProxy
