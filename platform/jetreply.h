// The password book's reader of what its reader of older data files sends back. A file made to
// take that reader over may make it send anything, so nothing is taken on trust: the frames must
// come in their one order (the accounts, then the login record), each table with as many rows as
// it said it holds and at most JetProtocol::kRowLimit, each row with its table's fields, each
// field of a known kind and its length (text in well-formed UTF-8, a date a real day, an ID a
// number), the whole within JetProtocol::kReplyLimit. Anything out of line breaks it for good.
#pragma once

#include "protocol/jet.h"

#include <QByteArray>
#include <QDate>
#include <QString>
#include <optional>
#include <vector>

// One field of a row, checked, in sixteen bytes. Its text, when it has one, lies in its table's
// texts.
struct JetField {
    JetProtocol::FieldKind kind = JetProtocol::FieldKind::Null;
    std::uint32_t textSize = 0;
    // Integer: the number. Date: the day's Julian day number. Text: where the text begins.
    qint64 value = 0;

    QDate date() const { return QDate::fromJulianDay(value); }
};

// A table's rows, their fields one after the other, and the texts of all of them in one piece:
// nothing allocated for each field, so that many thousands of rows come in quickly.
struct JetTable {
    int columns = 0;
    std::vector<JetField> fields;
    QByteArray texts;

    qsizetype rows() const { return columns ? qsizetype(fields.size()) / columns : 0; }
    const JetField& field(qsizetype row, int column) const { return fields[std::size_t(row * columns + column)]; }
    QByteArrayView text(const JetField& field) const
    {
        return QByteArrayView(texts).sliced(field.value, field.textSize);
    }
};

struct JetTables {
    JetTable accounts{int(JetProtocol::columnCount(JetProtocol::TableId::Accounts)), {}, {}};
    JetTable login{int(JetProtocol::columnCount(JetProtocol::TableId::Login)), {}, {}};
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
    bool takeField(int column, JetProtocol::FieldKind kind, QByteArrayView bytes);
    JetTable& rows();

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
