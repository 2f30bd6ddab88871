// The password book's reader of what its reader of older data files sends back. A file made to
// take that reader over may make it send anything, so nothing is taken on trust: the frames must
// come in their one order (the accounts, then the login record), each table with as many rows as
// it said it holds and at most JetProtocol::kRowLimit, each row with its table's fields, each
// field of a known kind and its length (text in well-formed UTF-8, a date a real day, an ID a
// number), the whole within JetProtocol::kReplyLimit. Anything out of line breaks it for good.
#pragma once

#include "protocol/jet.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>
#include <optional>

// The rows of the two tables, each value a QString, a qint64, a QDate, or null.
struct JetTables {
    QList<QVariantList> accounts;
    QList<QVariantList> login;
};

class JetReplyReader {
public:
    // Takes bytes as they arrive. False, for good, once anything is out of line.
    bool take(const char* data, qsizetype size);
    // Whether both tables came whole, and nothing after them.
    bool isComplete() const { return stage_ == Stage::Done && pending_.isEmpty(); }
    // The reader's own refusal, when it sent one (then nothing more may come).
    const std::optional<JetProtocol::Frame>& refusal() const { return refusal_; }
    // What was out of line; empty while nothing was.
    QString error() const { return error_; }
    JetTables takeTables() { return std::exchange(tables_, JetTables()); }

private:
    enum class Stage { Table, Rows, Done };

    bool fail(const QString& why);
    bool takeFrame(const JetProtocol::Frame& frame);
    bool takeTableStart(const JetProtocol::Frame& frame);
    bool takeEnd(const JetProtocol::Frame& frame);
    bool takeRow(const char* data, qsizetype size);
    std::optional<QVariant> value(int column, JetProtocol::FieldKind kind, QByteArrayView bytes);
    QList<QVariantList>& rows();

    Stage stage_ = Stage::Table;
    JetProtocol::TableId table_ = JetProtocol::TableId::Accounts;
    std::uint32_t declared_ = 0;
    std::optional<JetProtocol::Frame> row_;  // a row frame whose fields are still coming
    QByteArray pending_;
    quint64 received_ = 0;
    JetTables tables_;
    std::optional<JetProtocol::Frame> refusal_;
    QString error_;
};
