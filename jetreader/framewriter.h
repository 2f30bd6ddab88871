// The reader's end of the pipe: the frames of the two tables, written in large pieces.
#pragma once

#include "protocol/jet.h"

#include <cstdint>
#include <string>
#include <vector>

// One field of a row, as it goes into the pipe.
struct Field {
    JetProtocol::FieldKind kind = JetProtocol::FieldKind::Null;
    std::string bytes;
};

class FrameWriter {
public:
    explicit FrameWriter(int fd) : fd_(fd) {}

    void table(JetProtocol::TableId table, std::uint32_t rows);
    void row(JetProtocol::TableId table, const std::vector<Field>& fields);
    void end(JetProtocol::TableId table, std::uint32_t rows);
    void refusal(JetProtocol::TableId table, JetProtocol::Refusal reason, std::uint32_t row);
    // Writes what is still held; false when the pipe takes no more.
    bool flush();

private:
    void frame(const JetProtocol::Frame& frame);
    template <typename Header>
    void append(const Header& header);

    int fd_;
    std::string pending_;
};
