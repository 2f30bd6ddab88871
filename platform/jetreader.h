// The reader of older data files as the password book sees it. A data file in the Jet 4.0 format
// ("Access 2000") is read by a program of its own (mzjetreader, beside the executable), which gets
// the file as an open descriptor on its standard input and nothing else of the password book's:
// no path, no environment, no other file. It dies with the password book, gains no privileges,
// fences itself in before it reads a byte, and is ended when it takes longer than
// JetProtocol::kTimeLimitSeconds; what it sends back is read by JetReplyReader.
#pragma once

#include "platform/jetreply.h"

#include <QByteArray>
#include <QString>
#include <functional>

// What the first bytes of a data file say it is.
enum class DataFileFormat {
    Jet4,   // "Standard Jet DB", version byte 1: "Access 2000"
    Jet3,   // "Standard Jet DB", version byte 0: "Access 97"
    Ace,    // "Standard ACE DB": "Access 2007" and later
    Other,  // ours, or anything else
};
DataFileFormat dataFileFormat(const QByteArray& path);

namespace JetReader {

struct Reading {
    bool read = false;  // both tables came whole
    JetTables tables;
    QString failure;  // why not, for the user
};

// Reads the file at path with the reader program; started, when given, runs once it has started.
Reading read(const QByteArray& path, const std::function<void()>& started = {});

// The reader program to run instead of the one beside the executable, for tests; empty restores it.
void setProgramForTesting(const QByteArray& path);

}  // namespace JetReader
