// Reading what the reader of older data files sends back (see jetreply.h).
#include "platform/jetreply.h"

#include <QDate>

using namespace Qt::StringLiterals;

using namespace JetProtocol;

namespace {

constexpr qsizetype kFrameSize = sizeof(Frame);
constexpr quint64 kRowByteLimit = 6 * (sizeof(FieldHeader) + quint64(kFieldLimit));

}  // namespace

bool JetReplyReader::fail(const QString& why)
{
    if (error_.isEmpty())
        error_ = why;
    return false;
}

JetTable& JetReplyReader::rows() { return table_ == TableId::Accounts ? tables_.accounts : tables_.login; }

bool JetReplyReader::take(const char* data, qsizetype size)
{
    if (!error_.isEmpty())
        return false;
    received_ += quint64(size);
    if (received_ > kReplyLimit)
        return fail(u"a reply over its bound"_s);
    pending_.append(data, size);
    qsizetype at = 0;
    for (;;) {
        const qsizetype left = pending_.size() - at;
        if (row_) {
            if (left < qsizetype(row_->bytes))
                break;
            if (!takeRow(pending_.constData() + at, row_->bytes))
                return false;
            at += row_->bytes;
            row_.reset();
        } else {
            if (left < kFrameSize)
                break;
            if (!takeFrame(load<Frame>(pending_.constData() + at)))
                return false;
            at += kFrameSize;
        }
    }
    pending_.remove(0, at);
    if (refusal_ && !pending_.isEmpty())
        return fail(u"bytes after a refusal"_s);
    return true;
}

bool JetReplyReader::takeFrame(const Frame& frame)
{
    if (frame.magic != kMagic)
        return fail(u"not a frame"_s);
    if (refusal_)
        return fail(u"bytes after a refusal"_s);
    if (frame.kind == FrameKind::Refusal) {
        refusal_ = frame;
        return true;
    }
    if (stage_ == Stage::Table && frame.kind == FrameKind::Table)
        return takeTableStart(frame);
    if (stage_ == Stage::Rows && frame.kind == FrameKind::End)
        return takeEnd(frame);
    if (stage_ == Stage::Rows && frame.kind == FrameKind::Row) {
        if (frame.table != table_ || frame.count != columnCount(table_) || frame.bytes > kRowByteLimit)
            return fail(u"a row out of shape"_s);
        if (quint64(rows().rows()) >= declared_)
            return fail(u"more rows than the table holds"_s);
        row_ = frame;
        return true;
    }
    return fail(u"a frame out of order"_s);
}

bool JetReplyReader::takeTableStart(const Frame& frame)
{
    if (frame.table != table_ || frame.count > kRowLimit)
        return fail(u"a table out of order or over its bound"_s);
    declared_ = frame.count;
    rows().fields.reserve(std::size_t(declared_) * std::size_t(rows().columns));
    stage_ = Stage::Rows;
    return true;
}

bool JetReplyReader::takeEnd(const Frame& frame)
{
    if (frame.table != table_ || frame.count != declared_ || quint64(rows().rows()) != declared_)
        return fail(u"a table that ends short"_s);
    if (table_ == TableId::Login) {
        stage_ = Stage::Done;
        return true;
    }
    table_ = TableId::Login;
    stage_ = Stage::Table;
    return true;
}

bool JetReplyReader::takeRow(const char* data, qsizetype size)
{
    qsizetype at = 0;
    for (int column = 0; column < rows().columns; ++column) {
        if (size - at < qsizetype(sizeof(FieldHeader)))
            return fail(u"a row out of shape"_s);
        const auto field = load<FieldHeader>(data + at);
        at += sizeof(FieldHeader);
        if (field.length > kFieldLimit || qsizetype(field.length) > size - at)
            return fail(u"a field over its bound"_s);
        if (!takeField(column, field.kind, QByteArrayView(data + at, field.length)))
            return fail(u"a field out of shape"_s);
        at += field.length;
    }
    return at == size || fail(u"a row out of shape"_s);
}

// Column 0 is the ID, a number always; the others may hold any kind of value.
bool JetReplyReader::takeField(int column, FieldKind kind, QByteArrayView bytes)
{
    if (column == 0 && kind != FieldKind::Integer)
        return false;
    JetField field{kind, 0, 0};
    switch (kind) {
    case FieldKind::Null:
        if (!bytes.isEmpty())
            return false;
        break;
    case FieldKind::Integer:
        if (bytes.size() != sizeof(qint64))
            return false;
        field.value = load<qint64>(bytes.data());
        break;
    case FieldKind::Date: {
        if (bytes.size() != sizeof(Date))
            return false;
        const auto day = load<Date>(bytes.data());
        const QDate date(int(day.year), int(day.month), int(day.day));
        if (!date.isValid() || day.year > 9999)
            return false;
        field.value = date.toJulianDay();
        break;
    }
    case FieldKind::Text:
        if (!bytes.isValidUtf8())
            return false;
        field.value = rows().texts.size();
        field.textSize = std::uint32_t(bytes.size());
        rows().texts.append(bytes);
        break;
    default:
        return false;
    }
    rows().fields.push_back(field);
    return true;
}
