// The two tables of a Jet 4.0 file, read through libmdb from the file's bytes mapped into memory,
// never from a path: the reader opens no file once it is fenced in. libmdb is not made for
// damaged files, so every value it points at is checked to lie within its page, long values are
// followed only within their bounds, and the rows read must be as many as the table says it
// holds. Text is taken from the stored bytes, not from libmdb's conversion, which loses the
// characters outside the Basic Multilingual Plane and cuts long Memo values.
#pragma once

#include "framewriter.h"
#include "protocol/jet.h"

// <glib.h> comes before <mdbtools.h>, which includes it inside extern "C", where C++ does not take it.
#include <cstddef>
#include <cstdint>
#include <glib.h>
#include <mdbtools.h>

// Why the file cannot be read, and where.
struct Refused {
    JetProtocol::Refusal reason;
    JetProtocol::TableId table = JetProtocol::TableId::Accounts;
    std::uint32_t row = 0;  // from 1; 0 for the table or the file as a whole
};

class JetFile {
public:
    // Maps the file open at fd. Throws Refused when it is no Jet 4.0 file, is larger than
    // JetProtocol::kFileLimit or its catalogue cannot be read.
    explicit JetFile(int fd);
    ~JetFile();
    JetFile(const JetFile&) = delete;
    JetFile& operator=(const JetFile&) = delete;

    // Writes the table's frames: its header, every row, its end. Throws Refused.
    void send(JetProtocol::TableId table, FrameWriter& out);

private:
    static std::size_t sizeOf(int fd);
    void release();

    std::size_t size_;
    void* bytes_;
    MdbHandle* mdb_ = nullptr;
};
