// Shared test fixtures (see fixture.h).
#include "tests/fixture.h"

#include "data/connection.h"
#include "data/dm.h"
#include "data/query.h"
#include "data/schema.h"
#include "data/statements.h"
#include "forms/main.h"
#include "platform/webbrowser.h"
#include "platform/website.h"
#include "widgets/application.h"

#include <QAbstractItemModelTester>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QInputMethodEvent>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <sqlite3.h>

using namespace Qt::StringLiterals;

TestDatabase::TestDatabase()
{
    QDir(dir_.path()).mkpath(u"Data"_s);
    schema::createDatabase(path().toStdString(), schema::kDatabasePassword, schema::kInitialLoginPassword);
    sqlite3_open_v2(path().toUtf8().constData(), &db_, SQLITE_OPEN_READWRITE, nullptr);
    schema::applyKey(db_, schema::kDatabasePassword);
    // A main window just made may still be reading its list in the background: the test's
    // writes wait for that read to end.
    sqlite3_busy_timeout(db_, 10000);
    Application::setExeFolderForTesting(folder());
    if (!frmDM)
        frmDM = new TfrmDM;
    frmDM->ADOConnection1->setConnectionString(buildConnectionString(folder()));
}

TestDatabase::~TestDatabase()
{
    if (frmDM)
        frmDM->ADOConnection1->Close();
    sqlite3_close_v2(db_);
    Application::setExeFolderForTesting(QString());
}

QString TestDatabase::folder() const { return dir_.path() + QLatin1Char('/'); }

QString TestDatabase::path() const { return folder() + u"Data/db.mzx"_s; }

void TestDatabase::exec(const QString& sql) { schema::exec(db_, sql.toStdString()); }

QList<QStringList> TestDatabase::rows(const QString& sql) { return fetchRows(db_, sql); }

QList<QStringList> fetchRows(sqlite3* db, const QString& sql)
{
    sqlite3_stmt* stmt = nullptr;
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(db, text.constData(), int(text.size()), &stmt, nullptr) != SQLITE_OK)
        qFatal("%s: %s", text.constData(), sqlite3_errmsg(db));
    QList<QStringList> result;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        QStringList row;
        for (int c = 0; c < sqlite3_column_count(stmt); ++c)
            row << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, c)),
                                     sqlite3_column_bytes(stmt, c));
        result << row;
    }
    sqlite3_finalize(stmt);
    return result;
}

QString jetFixture(const QString& fileName) { return QString::fromUtf8(MZ_JET_FIXTURES "/") + fileName; }

namespace {

QList<QStringList> jsonRows(const QJsonArray& rows)
{
    QList<QStringList> texts;
    for (const QJsonValue& row : rows) {
        QStringList fields;
        for (const QJsonValue& value : row.toArray())
            fields << value.toString();
        texts << fields;
    }
    std::sort(texts.begin(), texts.end(), [](const QStringList& a, const QStringList& b) {
        return a.value(0).toLongLong() < b.value(0).toLongLong();
    });
    return texts;
}

}  // namespace

JetRows expectedJetRows(const QString& name, bool dateTimes)
{
    QFile file(jetFixture(name + u".expected.json"_s));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("no %s", qPrintable(file.fileName()));
    const QJsonObject tables = QJsonDocument::fromJson(file.readAll()).object();
    JetRows rows{jsonRows(tables.value(u"U_P"_s).toArray()), jsonRows(tables.value(u"S_U"_s).toArray())};
    if (dateTimes)
        for (QStringList& login : rows.login)
            login[2] = Sql::loginStampDate(QDate::fromString(login[2], u"yyyy-MM-dd"_s));
    return rows;
}

JetRows storedJetRows(const QString& path)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    schema::applyKey(db, schema::kDatabasePassword);
    JetRows rows{fetchRows(db, u"select ID,F1,F2,F3,F4,F5 from U_P order by ID"_s),
                 fetchRows(db, u"select ID,F1,F2,F3 from S_U order by ID"_s)};
    sqlite3_close(db);
    return rows;
}

QString TestDatabase::value(const QString& sql)
{
    const auto result = rows(sql);
    return result.isEmpty() || result.first().isEmpty() ? QString() : result.first().first();
}

int TestDatabase::count(const QString& table) { return value(u"select count(*) from "_s + table).toInt(); }

qint64 TestDatabase::addAccount(const QString& date, const QString& name, const QString& user, const QString& password,
                                const QString& description)
{
    exec(Sql::accountInsert(date, name, user, password, description));
    return sqlite3_last_insert_rowid(db_);
}

void TestDatabase::addAccounts(int n)
{
    exec(u"BEGIN"_s);
    for (int i = 0; i < n; ++i) {
        const QDate date = QDate(2000, 1, 1).addDays(i % 9000);
        addAccount(date.toString(u"yyyy-MM-dd"_s), u"site%1.example"_s.arg(i), u"user%1"_s.arg(i),
                   u"hint%1"_s.arg(i % 97), u"description of account %1"_s.arg(i));
    }
    exec(u"COMMIT"_s);
}

void initTestResources() { Q_INIT_RESOURCE(resources); }

QList<QUrl> WebRecorder::navigations;
QList<QUrl> WebRecorder::opened;

namespace {

class RecordingWebView : public WebView {
public:
    using WebView::WebView;
    void navigate(const QUrl& url) override { WebRecorder::navigations << url; }
};

}  // namespace

WebRecorder::WebRecorder()
{
    navigations.clear();
    opened.clear();
    TWebBrowser::setFactory([](QWidget* parent) -> WebView* { return new RecordingWebView(parent); });
    Website::setBrowserOpenerForTesting([](const QUrl& url) { opened << url; });
}

WebRecorder::~WebRecorder() { Website::setBrowserOpenerForTesting({}); }

bool endsEventLoop(const std::function<void()>& action)
{
    bool timedOut = false;
    QTimer::singleShot(0, qApp, action);
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, qApp, [&timedOut] {
        timedOut = true;
        QCoreApplication::exit(1);
    });
    limit.start(5000);
    return QCoreApplication::exec() == 0 && !timedOut;
}

TestProgram::~TestProgram()
{
    delete frmMain;
    frmMain = nullptr;
    freeClosedEditors();
}

void freeClosedEditors() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

void TestProgram::showMainWindow(bool active)
{
    frmMain = new TfrmMain;
    // Ends the test program at the first change the grid's model reports against Qt's rules.
    QAbstractItemModel* model = frmMain->ui.DBGrid1->model();
    new QAbstractItemModelTester(model, QAbstractItemModelTester::FailureReportingMode::Fatal, model);
    frmMain->show();
    QVERIFY(QTest::qWaitForWindowExposed(frmMain));
    if (active) {
        frmMain->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(frmMain));
    }
}

void TestProgram::makeMainWindow()
{
    frmMain = new TfrmMain;
    frmMain->FinishRef();
}

void doubleClick(QWidget* target, const QPoint& pos)
{
    QTest::mousePress(target, Qt::LeftButton, {}, pos);
    QTest::mouseRelease(target, Qt::LeftButton, {}, pos);
    QTest::mouseDClick(target, Qt::LeftButton, {}, pos);
    QTest::mouseRelease(target, Qt::LeftButton, {}, pos);
}

QStringList columnTexts(const TADOQuery& query, int column)
{
    QStringList texts;
    for (int row = 0; row < query.RecordCount(); ++row)
        texts << query.text(row, column);
    return texts;
}

void typeText(QWidget* edit, const QString& text)
{
    QInputMethodEvent commit;
    commit.setCommitString(text);
    QCoreApplication::sendEvent(edit, &commit);
}

TemporaryHome::TemporaryHome()
{
    qputenv("HOME", QFile::encodeName(dir_.path()));
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"})
        qunsetenv(name);
}

QByteArray pngOf(QSize size, QColor colour, QImage::Format format)
{
    QImage image(size, format);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}
