// Bringing an older data file across (see olderfile.h).
#include "app/olderfile.h"

#include "data/exception.h"
#include "data/filename.h"
#include "data/movedfile.h"
#include "data/schema.h"
#include "platform/jetreader.h"
#include "widgets/application.h"
#include "widgets/dialogs.h"

#include <QDate>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

std::function<void(OlderFileMove::Step)>& stepHook()
{
    static std::function<void(OlderFileMove::Step)> hook;
    return hook;
}

void reached(OlderFileMove::Step step)
{
    if (stepHook())
        stepHook()(step);
}

QString shown(const QByteArray& path) { return decodeFileName(path); }

// A table of the reply as the new file takes it: its values point into the reply's texts.
MovedFile::Rows rowsOf(const JetTable& table)
{
    return MovedFile::Rows{table.rows(), table.columns, [&table](qsizetype row, int column) {
                               using Kind = MovedFile::Value::Kind;
                               const JetField& field = table.field(row, column);
                               switch (field.kind) {
                               case JetProtocol::FieldKind::Text:
                                   return MovedFile::Value{Kind::Text, table.text(field), 0, QDate()};
                               case JetProtocol::FieldKind::Integer:
                                   return MovedFile::Value{Kind::Number, {}, field.value, QDate()};
                               case JetProtocol::FieldKind::Date:
                                   return MovedFile::Value{Kind::Day, {}, 0, field.date()};
                               default:
                                   return MovedFile::Value{Kind::None, {}, 0, QDate()};
                               }
                           }};
}

bool sameFile(const QByteArray& a, const QByteArray& b)
{
    struct stat first, second;
    return ::stat(a.constData(), &first) == 0 && ::stat(b.constData(), &second) == 0 && first.st_dev == second.st_dev
           && first.st_ino == second.st_ino;
}

}  // namespace

OlderFileMove::OlderFileMove(const QByteArray& dataFile)
    : dataFile_(dataFile), newFile_(dataFile + ".new"), newFileLock_(newFile_)
{}

void OlderFileMove::run() { tell(bringAcross()); }

OlderFileMove::Outcome OlderFileMove::bringAcross()
{
    switch (dataFileFormat(dataFile_)) {
    case DataFileFormat::Other:
        return Outcome();
    case DataFileFormat::Jet3:
        return refused(u"它是 Access 97（Jet 3）格式的文件，本程序不能读取"_s);
    case DataFileFormat::Ace:
        return refused(u"它是 Access 2007（ACE）格式的文件，本程序不能读取"_s);
    case DataFileFormat::Jet4:
        break;
    }
    // What a move cut short left behind; the older file is still in place, so it starts again.
    MovedFile::discard(newFile_);
    // The new file's key is derived while the reader reads.
    key_.emplace(schema::kDatabasePassword);
    JetReader::Reading reading = JetReader::read(dataFile_, [] { reached(Step::Reading); });
    if (!reading.read)
        return refused(reading.failure);
    try {
        return moveRows(reading.tables);
    } catch (const Exception& e) {
        undo();
        return refused(e.message());
    }
}

OlderFileMove::Outcome OlderFileMove::moveRows(const JetTables& tables)
{
    // Without a salt of its own the file is made and read with the passphrase, deriving each time.
    const RawKey making = key_->withSalt();
    const RawKey opening = key_->alone();
    const std::string_view passphrase = schema::kDatabasePassword;
    MovedFile::write(newFile_, making.empty() ? passphrase : making.text(), rowsOf(tables.accounts),
                     rowsOf(tables.login), [] { reached(Step::Writing); });
    reached(Step::Written);
    const MovedFile::Counts expected{tables.accounts.rows(), tables.login.rows()};
    if (MovedFile::count(newFile_, opening.empty() ? passphrase : opening.text()) != expected)
        throw EDatabaseError(u"新的数据文件读回的行数与写入的不符"_s);
    reached(Step::Checked);
    backup_ = MovedFile::keepBackup(dataFile_, QDate::currentDate());
    reached(Step::BackupKept);
    MovedFile::syncFolder(dataFile_);
    reached(Step::BackupSynced);
    if (!newFileLock_.tryAcquire())
        throw EDatabaseError(u"新的数据文件正被另一个程序使用"_s);
    MovedFile::replace(newFile_, dataFile_);
    reached(Step::Replaced);
    try {
        MovedFile::syncFolder(dataFile_);
    } catch (const EDatabaseError&) {
        // The move is done. Without the sync a power cut may undo the last step and leave the
        // older file in place, which the next start then brings across again.
    }
    reached(Step::FolderSynced);
    moved_ = true;
    return Outcome{Outcome::Kind::Moved, tables.accounts.rows(), backup_, QString()};
}

// The older file is still at the data file's name: the new file goes, and so does the backup
// name given to it, which is only a second name of the same file.
void OlderFileMove::undo()
{
    MovedFile::discard(newFile_);
    if (!backup_.isEmpty() && sameFile(backup_, dataFile_))
        ::unlink(backup_.constData());
}

OlderFileMove::Outcome OlderFileMove::refused(const QString& why) const
{
    return Outcome{Outcome::Kind::Refused, 0, QByteArray(),
                   u"无法转入旧版数据文件 %1：%2。数据文件没有任何改动。"_s.arg(shown(dataFile_), why)};
}

void OlderFileMove::tell(const Outcome& outcome)
{
    switch (outcome.kind) {
    case Outcome::Kind::NotOlder:
        break;
    case Outcome::Kind::Moved:
        Dialogs::notice(
            u"旧版数据文件中的 %1 个账户已全部转入新的数据文件。原来的文件保存为 %2。请用原来的登录密码登录。"_s
                .arg(outcome.accounts)
                .arg(shown(outcome.backup)));
        break;
    case Outcome::Kind::Refused:
        Dialogs::show({outcome.message, Application::Title(), Dialogs::Icon::Stop, {Dialogs::Button::OK}});
        break;
    }
}

void OlderFileMove::setStepHookForTesting(std::function<void(Step)> hook) { stepHook() = std::move(hook); }
