// The reader's end of the pipe (see framewriter.h).
#include "framewriter.h"

#include <cerrno>
#include <unistd.h>

using namespace JetProtocol;

namespace {

// Written once this much is held: few writes, little memory.
constexpr std::size_t kPieceSize = 64 * 1024;

}  // namespace

template <typename Header>
void FrameWriter::append(const Header& header)
{
    const std::size_t at = pending_.size();
    pending_.resize(at + sizeof header);
    store(header, pending_.data() + at);
}

void FrameWriter::frame(const Frame& frame)
{
    append(frame);
    if (pending_.size() >= kPieceSize)
        flush();
}

void FrameWriter::table(TableId table, std::uint32_t rows) { frame(Frame{kMagic, FrameKind::Table, table, rows, 0}); }

void FrameWriter::row(TableId table, const std::vector<Field>& fields)
{
    std::uint32_t bytes = 0;
    for (const Field& field : fields)
        bytes += std::uint32_t(sizeof(FieldHeader) + field.bytes.size());
    append(Frame{kMagic, FrameKind::Row, table, std::uint32_t(fields.size()), bytes});
    for (const Field& field : fields) {
        append(FieldHeader{field.kind, std::uint32_t(field.bytes.size())});
        pending_ += field.bytes;
    }
    if (pending_.size() >= kPieceSize)
        flush();
}

void FrameWriter::end(TableId table, std::uint32_t rows) { frame(Frame{kMagic, FrameKind::End, table, rows, 0}); }

void FrameWriter::refusal(TableId table, Refusal reason, std::uint32_t row)
{
    frame(Frame{kMagic, FrameKind::Refusal, table, std::uint32_t(reason), row});
}

bool FrameWriter::flush()
{
    std::size_t written = 0;
    while (written < pending_.size()) {
        const ssize_t n = ::write(fd_, pending_.data() + written, pending_.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        written += std::size_t(n);
    }
    pending_.clear();
    return true;
}
