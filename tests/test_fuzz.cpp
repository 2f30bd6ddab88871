// Typed input never changes a statement. Thousands of generated hostile texts go into every
// edit whose text reaches the database, the way a user puts them there; afterwards the
// database holds exactly what the edit held, and nothing else has changed. The query bar's
// text is a LIKE pattern on purpose, so its rows are checked against a matcher of the test's own.
// The main window stays hidden: painting thousands of hostile lists would only cost time.
#include "data/dm.h"
#include "data/query.h"
#include "forms/c.h"
#include "forms/login.h"
#include "forms/main.h"
#include "forms/p.h"
#include "tests/fixture.h"
#include "tests/messageboxrecorder.h"
#include "widgets/application.h"
#include "widgets/dialogs.h"
#include "widgets/passwordedit.h"

#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTest>
#include <QTextBoundaryFinder>
#include <QTimer>
#include <algorithm>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

constexpr quint32 kSeed = 20240611;

const QString kSaved = u"恭喜！恭喜！ 账户信息 保存成功！"_s;
const QString kWrongPassword = u"密码错误，请重新录入密码！"_s;
const QString kWrongCurrent = u"原密码错误，请重新录入密码！"_s;
const QString kMismatch = u"新密码和确认密码不一致，请重新录入密码！"_s;
const QString kChanged = u"密码修改成功，请重新登录！"_s;

// text split into its characters (code points): a surrogate pair stays whole.
QStringList characters(const QString& text)
{
    QStringList list;
    for (qsizetype i = 0, width; i < text.size(); i += width) {
        width = text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate() ? 2 : 1;
        list << text.mid(i, width);
    }
    return list;
}

QString firstCharacters(const QString& text, int n) { return characters(text).mid(0, n).join(QString()); }

// What an edit limited to n characters holds once added is typed or pasted at the end of held:
// as many whole grapheme clusters of the two as n characters take.
QString appendWithin(const QString& held, const QString& added, int n)
{
    const QString text = held + added;
    QTextBoundaryFinder clusters(QTextBoundaryFinder::Grapheme, text);
    qsizetype kept = 0, count = 0;
    for (qsizetype next; (next = clusters.toNextBoundary()) > 0; kept = next) {
        count += characters(text.mid(kept, next - kept)).size();
        if (count > n)
            break;
    }
    return text.left(kept);
}

// Hostile texts from a fixed seed: quotes and statement pieces, LIKE wildcards, backslashes,
// control characters with NUL, Chinese, characters beyond the BMP, random Latin-1 and BMP
// characters, now and then an empty text or one beyond every edit's limit.
class Generator {
public:
    explicit Generator(quint32 seed) : rng_(seed) {}

    int below(int n) { return int(rng_.bounded(n)); }
    bool chance(int percent) { return below(100) < percent; }

    QString text()
    {
        if (chance(3))
            return {};
        QString text;
        for (int pieces = chance(4) ? 60 + below(40) : 1 + below(6); pieces > 0; --pieces)
            text += piece();
        return text;
    }

    // A text like original that differs from it a little, the way a wrong guess would.
    QString variant(const QString& original)
    {
        const QStringList points = characters(original);
        if (points.isEmpty())
            return text();
        const int at = below(int(points.size()));
        const QString head = points.mid(0, at).join(QString()), here = points[at];
        const QString rest = points.mid(at + 1).join(QString());
        switch (below(5)) {
        case 0:
            return head + rest;
        case 1:
            return head + u'_' + rest;
        case 2:
            return head + u'%';
        case 3:
            return u"' OR '1'='1' --"_s.left(1 + below(15)) + original;
        default: {
            const QChar c = here.size() == 1 ? here[0] : QChar();
            const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
            return head + (letter ? QChar(c.unicode() ^ 0x20) : QChar(u'\'')) + here.mid(letter ? 1 : 0) + rest;
        }
        }
    }

    // A search text that often matches: a piece of value with characters swapped for _ or
    // split by %, and ASCII letters in the other case.
    QString patternFrom(const QString& value)
    {
        const QStringList points = characters(value);
        const int from = below(int(points.size()) + 1);
        const int length = below(int(points.size()) - from + 1);
        QString pattern;
        for (const QString& c : points.mid(from, length)) {
            switch (below(12)) {
            case 0:
                pattern += u'_';
                break;
            case 1:
                pattern += u'%' + c;
                break;
            case 2:
                pattern += c.toUpper();
                break;
            default:
                pattern += c;
            }
        }
        return pattern;
    }

    // Over the query edit's 32767 units; ASCII only, as SQLite takes LIKE patterns of up to
    // 50,000 bytes.
    QString longAscii()
    {
        QString text;
        while (text.size() < 33000)
            text += QString(1 + below(40), QLatin1Char(char('!' + below(94)))).replace(u'%', u'\'');
        return text;
    }

private:
    QString piece()
    {
        static const QStringList statements = {u"'"_s,
                                               u"\""_s,
                                               u"''"_s,
                                               u"'--"_s,
                                               u"'; DROP TABLE U_P; --"_s,
                                               u"' OR '1'='1"_s,
                                               u"\" OR \"\"=\""_s,
                                               u"');"_s,
                                               u"'||'"_s,
                                               u"/*"_s,
                                               u"*/"_s,
                                               u";"_s,
                                               u"') OR ('1'='1"_s,
                                               u"'; UPDATE S_U SET F1='x'; --"_s,
                                               u"' UNION SELECT F1,F1,F1,F1,F1,F1 FROM S_U --"_s,
                                               u"SELECT"_s,
                                               u"DELETE FROM U_P"_s,
                                               u" WHERE "_s,
                                               u"NULL"_s,
                                               u" LIKE "_s,
                                               u"ESCAPE '\\'"_s,
                                               u"PRAGMA key=''"_s,
                                               u"char(0)"_s,
                                               u"X'00'"_s,
                                               u"admin"_s};
        static const QStringList wildcards = {u"%"_s,    u"_"_s,   u"%%"_s,  u"_%"_s,    u"\\"_s, u"\\'"_s,
                                              u"\\\\"_s, u"\\%"_s, u"\\_"_s, u"[a-z]"_s, u"*"_s,  u"?"_s};
        static const QStringList controls = {u"\t"_s,   u"\n"_s,   u"\r"_s,     u"\r\n"_s,        u"\x01"_s,
                                             u"\x1b"_s, u"\x7f"_s, u"\u0085"_s, QString(QChar(0))};
        static const QStringList astral = {u"😀"_s,  u"👍🏽"_s, u"🔑"_s, u"🇨🇳"_s, u"👨‍👩‍👧"_s,
                                           u"𠀀"_s, u"𝄞"_s};
        QString piece;
        switch (below(8)) {
        case 0:
        case 1:
            return statements[below(int(statements.size()))];
        case 2:
            return wildcards[below(int(wildcards.size()))];
        case 3:
            return controls[below(int(controls.size()))];
        case 4:
            for (int n = 1 + below(4); n > 0; --n)
                piece += QChar(0x4E00 + below(0x51A6));
            return piece;
        case 5:
            if (chance(50))
                return astral[below(int(astral.size()))];
            {
                const char32_t point = char32_t(0x10000 + below(0x100000));
                return QString::fromUcs4(&point, 1);
            }
        case 6:
            for (int n = 1 + below(8); n > 0; --n) {
                const int c = below(0x5F + 0x60);
                piece += QChar(c < 0x5F ? 0x20 + c : 0xA0 + c - 0x5F);
            }
            return piece;
        default: {
            int c = 0x80 + below(0xFF80 - 0x800);
            return QString(QChar(c < 0xD800 ? c : c + 0x800));
        }
        }
    }

    QRandomGenerator rng_;
};

bool typedByKeys(QChar c) { return c.unicode() <= 0xFF && c.isPrint(); }

// Presses the key of a printable Latin-1 character; QTest's key clicks know ASCII only.
void pressKey(QLineEdit* edit, QChar c)
{
    if (c.unicode() < 0x80)
        QTest::keyClick(edit, char(c.unicode()));
    else
        QTest::sendKeyEvent(QTest::Click, edit, Qt::Key(c.unicode()), QString(c), Qt::NoModifier);
}

void paste(QLineEdit* edit, const QString& text)
{
    QGuiApplication::clipboard()->setText(text);
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
}

// Replaces what the edit holds with text as a user would: printable Latin-1 by keys, the rest
// through the input method or, where that is off (password edits), by pasting; long texts
// pasted whole. Returns what the edit then ought to hold: each key, commit or paste cut to the
// limit in whole characters as the user sees them, or for the query edit to its plain length
// limit (its long texts are ASCII).
QString enter(QLineEdit* edit, QString text, Generator& gen, int characterLimit = 0)
{
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QString expected;
    const auto added = [&](const QString& piece) {
        expected =
            characterLimit ? appendWithin(expected, piece, characterLimit) : (expected + piece).left(edit->maxLength());
    };
    if (text.size() > 1000) {
        paste(edit, text);
        added(text);
        return expected;
    }
    for (qsizetype i = 0, end; i < text.size(); i = end) {
        const bool keys = typedByKeys(text[i]);
        for (end = i + 1; end < text.size() && typedByKeys(text[end]) == keys;)
            ++end;
        const QString run = text.mid(i, end - i);
        if (keys) {
            for (QChar c : run) {
                pressKey(edit, c);
                added(c);
            }
            continue;
        }
        if (edit->testAttribute(Qt::WA_InputMethodEnabled) && gen.chance(50))
            typeText(edit, run);
        else
            paste(edit, run);
        added(run);
    }
    return expected;
}

// The text as a literal that owes nothing to the program's quoting.
QString hexText(const QString& text)
{
    return u"CAST(X'%1' AS TEXT)"_s.arg(QString::fromLatin1(text.toUtf8().toHex()));
}

// SQLite's LIKE without ESCAPE: % any run, _ any one character, ASCII letters in either case,
// everything else exact. SQLite reads both as C strings, so each ends at a NUL.
bool like(const QString& value, const QString& pattern)
{
    const QList<uint> v = value.left(value.indexOf(QChar(0))).toUcs4();
    const QList<uint> p = pattern.left(pattern.indexOf(QChar(0))).toUcs4();
    const auto fold = [](uint c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
    qsizetype i = 0, j = 0, star = -1, resume = 0;
    while (i < v.size()) {
        if (j < p.size() && p[j] == '%') {
            star = j++;
            resume = i;
        } else if (j < p.size() && (p[j] == '_' || fold(p[j]) == fold(v[i]))) {
            ++i;
            ++j;
        } else if (star >= 0) {
            j = star + 1;
            i = ++resume;
        } else {
            return false;
        }
    }
    while (j < p.size() && p[j] == '%')
        ++j;
    return j == p.size();
}

// Everything the database holds.
struct State {
    QList<QStringList> schema, login, accounts;
};

State state(TestDatabase& db)
{
    return {db.rows(u"select type,name,tbl_name,sql from sqlite_master order by name"_s),
            db.rows(u"select * from S_U"_s), db.rows(u"select ID,F1,F2,F3,F4,F5 from U_P order by ID"_s)};
}

void addHostileAccounts(TestDatabase& db, Generator& gen, int n)
{
    db.exec(u"BEGIN"_s);
    for (int i = 0; i < n; ++i)
        db.exec(u"insert into U_P(F1,F2,F3,F4,F5) values('%1',%2,%3,%4,%5)"_s.arg(
            QDate(2000, 1, 1).addDays(gen.below(9000)).toString(u"yyyy-MM-dd"_s), hexText(gen.text()),
            hexText(gen.text()), hexText(gen.text()), hexText(gen.text())));
    db.exec(u"COMMIT"_s);
}

// Tells the seed, the case and its texts when the test has failed by the end of its scope.
struct FailureNote {
    quint32 seed;
    int n = 0;
    QStringList texts = {};
    ~FailureNote()
    {
        if (!QTest::currentTestFailed())
            return;
        QStringList shown;
        for (const QString& text : texts)
            shown << (text.size() > 200 ? text.left(200) + u"… (%1 units)"_s.arg(text.size()) : text);
        qWarning() << "seed" << seed << "case" << n << "texts" << shown;
    }
};

}  // namespace

class TestFuzz : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        Application::setTitle(u"墨柘密码本"_s);
        initTestResources();
        // What keys cannot type is pasted, so the clipboard must carry any text unchanged.
        const QString sample = u"a\t\n\r\x01\x7f"_s + QChar(0) + u"中😀'"_s;
        QGuiApplication::clipboard()->setText(sample);
        QCOMPARE(QGuiApplication::clipboard()->text(), sample);
    }

    // New accounts through the add button and changes through the modify button: the row
    // saved holds the edits' texts and the chosen date, and no other row changes.
    void accountEditorStoresExactlyWhatItsEditsHold()
    {
        constexpr int kSaves = 750;
        const int limits[] = {50, 50, 50, 200};
        TestProgram db;
        Generator gen(kSeed + 1);
        FailureNote note{kSeed + 1};
        addHostileAccounts(db, gen, 5);
        TestProgram::makeMainWindow();
        TADOQuery* list = frmMain->ADOQuery1;
        MessageBoxRecorder boxes;
        for (; note.n < kSaves; ++note.n) {
            const State before = state(db);
            const bool modify = gen.chance(50);
            const QDate date = QDate(1990, 1, 1).addDays(gen.below(15000));
            note.texts = QStringList{gen.text(), gen.text(), gen.text(), gen.text()};
            QString id = u"0"_s;
            if (modify) {
                list->moveTo(gen.below(list->RecordCount()));
                id = list->FieldByName(u"ID"_s);
            }
            QStringList held, expected;
            QDate heldDate;
            QTimer::singleShot(0, frmMain, [&] {
                if (!frmC || !frmC->isVisible())
                    return;
                TfrmC* editor = frmC;
                editor->ui.DateTimePicker1->setDate(date);
                heldDate = editor->ui.DateTimePicker1->date();
                QLineEdit* edits[] = {editor->ui.Edit1, editor->ui.Edit2, editor->ui.Edit3, editor->ui.Edit4};
                for (int f = 0; f < 4; ++f) {
                    expected << enter(edits[f], note.texts[f], gen, limits[f]);
                    held << edits[f]->text();
                }
                boxes.clear();
                QTest::mouseClick(editor->ui.BitBtn1, Qt::LeftButton);
                if (editor->isVisible())
                    QTest::mouseClick(editor->ui.BitBtn2, Qt::LeftButton);
            });
            QTest::mouseClick(modify ? frmMain->ui.SpeedButton2 : frmMain->ui.SpeedButton1, Qt::LeftButton);
            freeClosedEditors();
            QCOMPARE(held.size(), 4);
            QCOMPARE(held, expected);
            QCOMPARE(heldDate, date);

            const State after = state(db);
            QCOMPARE(after.schema, before.schema);
            QCOMPARE(after.login, before.login);
            if (held[0].isEmpty() || held[1].isEmpty()) {
                QCOMPARE(boxes.texts(),
                         QStringList{held[0].isEmpty() ? u"账户名称 不能为空！"_s : u"用户名 不能为空！"_s});
                QCOMPARE(after.accounts, before.accounts);
                continue;
            }
            QCOMPARE(boxes.texts(), QStringList{kSaved});
            auto accounts = before.accounts;
            if (modify) {
                const auto row =
                    std::find_if(accounts.begin(), accounts.end(), [&](const QStringList& r) { return r[0] == id; });
                QVERIFY(row != accounts.end());
                *row = QStringList{id, date.toString(u"yyyy-MM-dd"_s)} + held;
            } else {
                QCOMPARE(after.accounts.size(), accounts.size() + 1);
                id = after.accounts.last()[0];
                QVERIFY(id.toLongLong() > accounts.last()[0].toLongLong());
                accounts << QStringList{id, date.toString(u"yyyy-MM-dd"_s)} + held;
            }
            QCOMPARE(after.accounts, accounts);
        }
    }

    // Hostile passwords, near misses of the stored one among them, are refused without a
    // trace; a hostile password stored in the database opens the program when typed.
    void loginAcceptsExactlyTheStoredPassword()
    {
        constexpr int kRounds = 200, kGuesses = 15;
        TestProgram db;
        Generator gen(kSeed + 2);
        FailureNote note{kSeed + 2};
        addHostileAccounts(db, gen, 5);
        frmMain = new TfrmMain;
        frmLogin = new TfrmLogin;
        const auto closeLogin = qScopeGuard([] {
            delete frmLogin;
            frmLogin = nullptr;
        });
        frmLogin->show();
        QLineEdit* edit = frmLogin->ui.Edit1;
        MessageBoxRecorder boxes;
        for (; note.n < kRounds * (kGuesses + 1); ++note.n) {
            if (note.n % (kGuesses + 1) == 0)
                db.exec(u"update S_U set F1="_s + hexText(firstCharacters(gen.text(), PasswordEdit::kMaxCharacters)));
            const State before = state(db);
            const QString stored = before.login[0][1];
            const int guess = note.n % (kGuesses + 1);
            note.texts = QStringList{guess == kGuesses ? stored : guess % 2 ? gen.text() : gen.variant(stored), stored};
            const QString expected = enter(edit, note.texts[0], gen, PasswordEdit::kMaxCharacters);
            QCOMPARE(edit->text(), expected);
            boxes.clear();
            QTest::mouseClick(frmLogin->ui.BitBtn1, Qt::LeftButton);

            const State after = state(db);
            QCOMPARE(after.schema, before.schema);
            QCOMPARE(after.accounts, before.accounts);
            if (expected != stored) {
                QCOMPARE(boxes.texts(), QStringList{kWrongPassword});
                QVERIFY(frmLogin->isVisible() && !frmMain->isVisible());
                QCOMPARE(after.login, before.login);
                continue;
            }
            QCOMPARE(boxes.texts(), QStringList{});
            QVERIFY(!frmLogin->isVisible() && frmMain->isVisible());
            QStringList stamped = before.login[0];
            stamped[2] = QDate::currentDate().toString(u"yyyy-M-d"_s);
            stamped[3] = QString::number(stamped[3].toInt() + 1);
            QCOMPARE(after.login, QList<QStringList>{stamped});
            frmMain->hide();
            frmLogin->show();
        }
    }

    // A hostile new password, typed twice under the right current one, is stored exactly and
    // opens the program from then on; a wrong current password or a confirmation that differs
    // changes nothing.
    void passwordChangeStoresExactlyTheNewPassword()
    {
        constexpr int kRounds = 600, kAttempts = 5;
        WebRecorder web;
        TestDatabase db;
        Generator gen(kSeed + 3);
        FailureNote note{kSeed + 3};
        addHostileAccounts(db, gen, 5);
        MessageBoxRecorder boxes;
        QWidget owner;
        TADOQuery check;
        QString newPassword;
        for (; note.n < kRounds * kAttempts; ++note.n) {
            const State before = state(db);
            const QString current = before.login[0][1];
            switch (note.n % kAttempts) {
            case 0:
                newPassword = gen.text();
                note.texts = QStringList{gen.variant(current), newPassword, newPassword};
                break;
            case 1:
                note.texts = QStringList{gen.text(), newPassword, newPassword};
                break;
            case 2:
                note.texts = QStringList{current, newPassword, gen.variant(newPassword)};
                break;
            case 3:
                note.texts = QStringList{current, newPassword, gen.text()};
                break;
            default:
                note.texts = QStringList{current, newPassword, newPassword};
            }
            const auto dialog = std::make_unique<TfrmP>(&owner);
            frmP = dialog.get();
            const auto forget = qScopeGuard([] { frmP = nullptr; });
            QLineEdit* edits[] = {dialog->ui.Edit1, dialog->ui.Edit2, dialog->ui.Edit3};
            QStringList held;
            for (int f = 0; f < 3; ++f) {
                const QString expected = enter(edits[f], note.texts[f], gen, PasswordEdit::kMaxCharacters);
                QCOMPARE(edits[f]->text(), expected);
                held << expected;
            }
            boxes.clear();
            const auto save = [&] { QTest::mouseClick(dialog->ui.BitBtn1, Qt::LeftButton); };
            const bool changes = held[0] == current && held[1] == held[2];
            if (changes)
                QVERIFY(endsEventLoop(save));
            else
                save();

            const State after = state(db);
            QCOMPARE(after.schema, before.schema);
            QCOMPARE(after.accounts, before.accounts);
            if (!changes) {
                QCOMPARE(boxes.texts(), QStringList{held[0] != current ? kWrongCurrent : kMismatch});
                QCOMPARE(after.login, before.login);
                continue;
            }
            QCOMPARE(boxes.texts(), QStringList{kChanged});
            QStringList changed = before.login[0];
            changed[1] = held[1];
            QCOMPARE(after.login, QList<QStringList>{changed});
            QVERIFY(isLoginPassword(&check, held[1]));
            const QString nearMiss = gen.variant(held[1]);
            QCOMPARE(isLoginPassword(&check, nearMiss), nearMiss == held[1]);
        }
    }

    // Each column of the query bar over a table of hostile rows: the rows listed are those the
    // test's own LIKE picks, and the database is left as it was.
    void queryBarListsWhatLikeMatches()
    {
        constexpr int kRows = 150, kQueries = 3000;
        TestProgram db;
        Generator gen(kSeed + 4);
        FailureNote note{kSeed + 4};
        addHostileAccounts(db, gen, kRows);
        const State before = state(db);
        frmMain = new TfrmMain;
        Ui::TfrmMain& ui = frmMain->ui;
        QTest::mouseClick(ui.CheckBox2, Qt::LeftButton);
        QVERIFY(ui.CheckBox2->isChecked());
        QVERIFY(!ui.CheckBox1->isChecked());
        MessageBoxRecorder boxes;
        for (; note.n < kQueries; ++note.n) {
            const int column = gen.below(4);  // 账户名称 F2, 用户名称 F3, 密码 F4, 描述 F5
            for (int key = 0; key < 4 && ui.ComboBox1->currentIndex() != column; ++key)
                QTest::keyClick(ui.ComboBox1, ui.ComboBox1->currentIndex() < column ? Qt::Key_Down : Qt::Key_Up);
            QCOMPARE(ui.ComboBox1->currentIndex(), column);
            const int kind = gen.below(100);
            note.texts = QStringList{kind < 50   ? gen.patternFrom(before.accounts[gen.below(kRows)][column + 2])
                                     : kind < 99 ? gen.text()
                                                 : gen.longAscii()};
            const QString expected = enter(ui.Edit1, note.texts[0], gen);
            QCOMPARE(ui.Edit1->text(), expected);
            QTest::mouseClick(ui.BitBtn1, Qt::LeftButton);

            QVERIFY2(boxes.texts().isEmpty(), qPrintable(boxes.texts().join(u'\n')));
            QStringList matching;
            for (const QStringList& row : before.accounts)
                if (like(row[column + 2], u'%' + expected + u'%'))
                    matching << row[0];
            QStringList listed = columnTexts(*frmMain->ADOQuery1, 0);
            listed.sort();
            matching.sort();
            QCOMPARE(listed, matching);
            const State after = state(db);
            QCOMPARE(after.schema, before.schema);
            QCOMPARE(after.login, before.login);
            QCOMPARE(after.accounts, before.accounts);
        }
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // Every save waits for the disk; a thousand or two are much quicker in a memory-backed
    // temporary folder, where there is one. The program does the same either way.
    if (QFileInfo(u"/dev/shm"_s).isWritable())
        qputenv("TMPDIR", "/dev/shm");
    TestFuzz test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_fuzz.moc"
