// A protocol's headers to and from the bytes of a pipe: copied whole, in the machine's own byte
// order (both ends of every pipe run on one machine), never read in place, where the bytes need
// not be aligned for them.
#pragma once

#include <cstring>

namespace Protocol {

template <typename Header>
void store(const Header& header, char* to)
{
    std::memcpy(to, &header, sizeof header);
}

template <typename Header>
Header load(const char* from)
{
    Header header;
    std::memcpy(&header, from, sizeof header);
    return header;
}

}  // namespace Protocol
