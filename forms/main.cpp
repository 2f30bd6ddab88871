// Main window: the account list with its query bar, record commands and printing.
#include "forms/main.h"

#include "data/connection.h"
#include "data/dateformat.h"
#include "data/dm.h"
#include "data/query.h"
#include "data/statements.h"
#include "data/unit1.h"
#include "forms/c.h"
#include "forms/p.h"
#include "platform/printservice.h"
#include "platform/website.h"
#include "product.h"
#include "widgets/accessibility.h"
#include "widgets/application.h"
#include "widgets/characterlimit.h"
#include "widgets/dialogs.h"
#include "widgets/formstyle.h"
#include "widgets/guard.h"
#include "widgets/readable.h"
#include "widgets/windowkeys.h"

#include <QCloseEvent>
#include <QMenu>
#include <QShowEvent>
#include <QStyle>
#include <QToolTip>

using namespace Qt::StringLiterals;

TfrmMain* frmMain = nullptr;

namespace {

const QString kCountCaption = u"账户数量："_s;

// The column each text of the query bar's column box stands for; the list's own title for
// the user name counts too.
QString columnForCaption(const QString& caption)
{
    using namespace Sql::Caption;
    static const QList<std::pair<QString, QString>> columns = {
        {kAccountName, u"F2"_s}, {u"用户名称"_s, u"F3"_s}, {kUserName, u"F3"_s},
        {kPassword, u"F4"_s},    {kDescription, u"F5"_s},
    };
    for (const auto& [text, column] : columns)
        if (text == caption)
            return column;
    return QString();
}

// The time of printing in the system's long time format, without the time zone.
QString printTime()
{
    const QLocale system = QLocale::system();
    return system.toString(QTime::currentTime(), withoutTimeZone(system.timeFormat(QLocale::LongFormat)));
}

}  // namespace

TfrmMain::TfrmMain(QWidget* parent)
    : QWidget(parent),
      ADOQuery1(new TADOQuery(this)),
      ADOQuery2(new TADOQuery(this)),
      DataSource1(new TDataSource(this)),
      PopupMenu1(new QMenu(this))
{
    // The form's font before its controls, so that they are laid out once, in that font.
    setFont(formFont());
    ui.setupUi(this);
    setWindowTitle(kProductName);
    placeWhenShown(this, QSize(1000, 618), Placement::ScreenCenter);
    ui.BitBtn3->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
    keepPicturesReadable(this);
    ui.Label4->setText(u"软件开发："_s + Website::homePage(true));
    ui.WebBrowser1->setAlign(TWebBrowser::Align::Right);
    fitLabelsToText({ui.Label3, ui.Label2});
    nameInputsByCaptions(this);
    createPopupMenu();
    connectHandlers();
    bindKeys();
    guarded([this] { FormCreate(); });
}

TfrmMain::~TfrmMain() = default;

void TfrmMain::createPopupMenu()
{
    PopupMenu1->setObjectName(u"PopupMenu1"_s);
    QAction* N1 = PopupMenu1->addAction(u"新增账户 &N"_s);
    QAction* N2 = PopupMenu1->addAction(u"修改账户 &M"_s);
    QAction* N3 = PopupMenu1->addAction(u"注销账户 &D"_s);
    N1->setObjectName(u"N1"_s);
    N2->setObjectName(u"N2"_s);
    N3->setObjectName(u"N3"_s);
    connect(N1, &QAction::triggered, this, guardedSlot(this, &TfrmMain::SpeedButton1Click));
    connect(N2, &QAction::triggered, this, guardedSlot(this, &TfrmMain::SpeedButton2Click));
    connect(N3, &QAction::triggered, this, guardedSlot(this, &TfrmMain::SpeedButton3Click));
    ui.DBGrid1->setPopupMenu(PopupMenu1);
}

void TfrmMain::connectHandlers()
{
    connect(ui.SpeedButton1, &QToolButton::clicked, this, guardedSlot(this, &TfrmMain::SpeedButton1Click));
    connect(ui.SpeedButton2, &QToolButton::clicked, this, guardedSlot(this, &TfrmMain::SpeedButton2Click));
    connect(ui.SpeedButton3, &QToolButton::clicked, this, guardedSlot(this, &TfrmMain::SpeedButton3Click));
    connect(ui.SpeedButton4, &QToolButton::clicked, this, guardedSlot(this, &TfrmMain::SpeedButton4Click));
    connect(ui.SpeedButton5, &QToolButton::clicked, this, guardedSlot(this, &TfrmMain::SpeedButton5Click));
    connect(ui.SpeedButton6, &QToolButton::clicked, this, guardedSlot(this, &TfrmMain::SpeedButton6Click));
    connect(ui.SpeedButton7, &QToolButton::clicked, this, guardedSlot(this, &TfrmMain::SpeedButton7Click));
    connect(ui.Label4, &LinkLabel::clicked, this, guardedSlot(this, &TfrmMain::Label4Click));
    connect(ui.BitBtn1, &QPushButton::clicked, this, guardedSlot(this, &TfrmMain::BitBtn1Click));
    connect(ui.BitBtn2, &QPushButton::clicked, this, guardedSlot(this, &TfrmMain::BitBtn2Click));
    connect(ui.BitBtn3, &QPushButton::clicked, this, &QWidget::close);
    connect(ui.DateTimePicker1, &QDateEdit::dateChanged, this, guardedSlot(this, &TfrmMain::DateTimePicker1Change));
    connect(ui.DateTimePicker2, &QDateEdit::dateChanged, this, guardedSlot(this, &TfrmMain::DateTimePicker2Change));
    connect(ui.ComboBox1, &QComboBox::editTextChanged, this, guardedSlot(this, &TfrmMain::ComboBox1Change));
    connect(ui.ComboBox1, &QComboBox::currentIndexChanged, this, guardedSlot(this, &TfrmMain::ComboBox1Change));
    connect(ui.Edit1, &QLineEdit::textChanged, this, guardedSlot(this, &TfrmMain::Edit1Change));
    connect(ui.DBGrid1, &TDBGrid::TitleClick, this,
            [this](TColumn* column) { guarded([&] { DBGrid1TitleClick(column); }); });
    connect(ui.DBGrid1, &TDBGrid::DblClick, this, guardedSlot(this, &TfrmMain::SpeedButton2Click));
    connect(ui.DBGrid1, &TDBGrid::recordDeleted, this, guardedSlot(this, &TfrmMain::DBGrid1RecordDeleted));
    connect(ADOQuery1, &TADOQuery::FetchComplete, this,
            [this](bool succeeded) { guarded([&] { listFetched(succeeded); }); });
    ui.DBGrid1->OnDrawColumnCell = [this](const QRect& rect, int dataCol, TColumn* column, GridDrawState state) {
        DBGrid1DrawColumnCell(rect, dataCol, column, state);
    };
}

// Every command of the window has a key; the README lists them.
void TfrmMain::bindKeys()
{
    auto* keys = new WindowKeys(this);
    keys->bind(PopupMenu1->findChild<QAction*>(u"N1"_s), QKeySequence(Qt::CTRL | Qt::Key_N), ui.SpeedButton1);
    keys->bind(PopupMenu1->findChild<QAction*>(u"N2"_s), QKeySequence(Qt::CTRL | Qt::Key_E), ui.SpeedButton2);
    keys->bind(PopupMenu1->findChild<QAction*>(u"N3"_s), QKeySequence(Qt::CTRL | Qt::Key_D), ui.SpeedButton3);
    keys->press(ui.SpeedButton4, QKeySequence(Qt::CTRL | Qt::Key_Up))->setAutoRepeat(true);
    keys->press(ui.SpeedButton5, QKeySequence(Qt::CTRL | Qt::Key_Down))->setAutoRepeat(true);
    keys->press(ui.SpeedButton6, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P));
    keys->press(ui.SpeedButton7, QKeySequence(Qt::Key_F1));
    keys->press(ui.BitBtn2, QKeySequence(Qt::CTRL | Qt::Key_P));
    connect(keys->add(QKeySequence(Qt::Key_F6)), &QAction::triggered, this, &TfrmMain::focusListOrBack);
}

// The list is no tab stop: F6 puts the focus into it, and from it back where it was before.
void TfrmMain::focusListOrBack()
{
    if (ui.DBGrid1->hasFocus()) {
        QWidget* back = focusBeforeList_ ? focusBeforeList_.data() : ui.Edit1;
        back->setFocus(Qt::ShortcutFocusReason);
        return;
    }
    focusBeforeList_ = focusWidget();
    ui.DBGrid1->setFocus(Qt::ShortcutFocusReason);
}

void TfrmMain::FormCreate()
{
    setProgramDateFormats();
    frmDM->ADOConnection1->setConnectionString(buildConnectionString(Application::exeFolder()));
    {
        // Dates set here are the program's, not the user's: they do not switch the condition on.
        const QSignalBlocker blockFrom(ui.DateTimePicker1);
        const QSignalBlocker blockTo(ui.DateTimePicker2);
        const QDate today = QDate::currentDate();
        ui.DateTimePicker1->setDate(today.addMonths(-1));
        ui.DateTimePicker2->setDate(today);
    }
    ui.LabWhere->clear();
    // The banner comes once the list is in (FinishRef), and not after a list that fails.
    RefInBackground();
}

void TfrmMain::Ref()
{
    mySql = Sql::accountList(ui.LabWhere->text());
    openSql(ADOQuery1);
    layOutList();
}

void TfrmMain::RefInBackground()
{
    mySql = Sql::accountList(ui.LabWhere->text());
    openSqlInBackground(ADOQuery1);
}

void TfrmMain::FinishRef()
{
    if (!ADOQuery1->Fetching())
        return;
    ADOQuery1->FinishFetch();
    layOutList();
    ui.WebBrowser1->Navigate(Website::page(u"Card_M.html"_s));
}

// The first list's rows are in: the grid takes them at once. A list that could not be read is
// told only when it is needed, at the login or when the window is shown: a box now would come
// up while the password is being typed, and take its keys.
void TfrmMain::listFetched(bool succeeded)
{
    if (succeeded)
        FinishRef();
}

// Ref's steps once the list is open.
void TfrmMain::layOutList()
{
    DataSource1->setDataSet(ADOQuery1);
    ui.DBGrid1->setDataSource(DataSource1);
    showAccountCount();
    ui.DBGrid1->column(0)->setVisible(false);
    ui.DBGrid1->column(2)->setWidth(160);
    ui.DBGrid1->column(3)->setWidth(160);
    ui.DBGrid1->column(4)->setWidth(160);
    ui.DBGrid1->column(5)->setWidth(400);
}

void TfrmMain::showAccountCount() { ui.Label1->setText(kCountCaption + QString::number(ADOQuery1->RecordCount())); }

// After Ctrl+Delete in the grid the list holds one row less; the count follows it.
void TfrmMain::DBGrid1RecordDeleted() { showAccountCount(); }

void TfrmMain::DBGrid1TitleClick(TColumn* Column)
{
    for (int i = 0; i < ui.DBGrid1->columnCount(); ++i) {
        ui.DBGrid1->column(i)->setTitleColor(palette().color(QPalette::WindowText));
        ui.DBGrid1->column(i)->setTitleBold(false);
    }
    const QString ascending = Column->fieldName() + u" ASC"_s;
    if (ADOQuery1->Sort() != ascending) {
        ADOQuery1->setSort(ascending);
        Column->setTitleColor(Qt::red);
    } else {
        ADOQuery1->setSort(Column->fieldName() + u" DESC"_s);
        Column->setTitleColor(Qt::blue);
    }
    Column->setTitleBold(true);
}

void TfrmMain::DBGrid1DrawColumnCell(const QRect& Rect, int DataCol, TColumn* Column, GridDrawState State)
{
    if (State.testFlag(gdSelected))
        return;
    GridCanvas* canvas = ui.DBGrid1->Canvas();
    if (ui.DBGrid1->drawingRecNo() % 2 == 1) {
        const QColor green(191, 255, 223);
        canvas->brush = green;
        // The green is light in every palette: its text stays dark.
        if (contrastRatio(canvas->fontColor, green) < kTextContrast)
            canvas->fontColor = Qt::black;
    } else {
        const QPalette tooltip = QToolTip::palette();
        canvas->brush = tooltip.color(QPalette::ToolTipBase);
        canvas->fontColor = readableOn(tooltip.color(QPalette::ToolTipText), tooltip.color(QPalette::ToolTipBase));
    }
    ui.DBGrid1->DefaultDrawColumnCell(Rect, DataCol, Column, State);
}

void TfrmMain::showEvent(QShowEvent* event)
{
    guarded([this] { FinishRef(); });
    QWidget::showEvent(event);
}

void TfrmMain::closeEvent(QCloseEvent* event)
{
    bool canClose = true;
    guarded([&] { FormCloseQuery(canClose); });
    event->setAccepted(canClose);
}

void TfrmMain::FormCloseQuery(bool& CanClose)
{
    const auto answer =
        Dialogs::askYesNo(u"您确认要退出 "_s + kProductName + u" 吗？  ^_^  "_s, u"确认退出"_s, Dialogs::Button::Yes);
    CanClose = answer == Dialogs::Button::Yes;
    if (CanClose)
        Application::Terminate();
}

void TfrmMain::SpeedButton4Click() { ADOQuery1->Prior(); }

void TfrmMain::SpeedButton5Click() { ADOQuery1->Next(); }

void TfrmMain::SpeedButton3Click()
{
    const QString id = ADOQuery1->FieldByName(u"ID"_s);
    if (id.isEmpty())
        return;
    const auto answer =
        Dialogs::askYesNo(u"确认要删除账户信息吗？该删除将不可恢复！"_s, u"删除账户"_s, Dialogs::Button::No);
    if (answer != Dialogs::Button::Yes)
        return;
    mySql = Sql::accountDelete(id);
    // An account deleted meanwhile from outside is gone as the user asked: no error, and the
    // list then shows the file as it is.
    execSql(ADOQuery2);
    Ref();
}

TfrmC* TfrmMain::createAccountEditor()
{
    frmC = new TfrmC(this);
    connect(frmC, &TfrmC::saved, this, guardedSlot(this, &TfrmMain::showAllAccounts));
    return frmC;
}

void TfrmMain::showAllAccounts()
{
    ui.LabWhere->clear();
    Ref();
}

void TfrmMain::SpeedButton1Click()
{
    createAccountEditor();
    frmC->setWindowTitle(u"新增 账户"_s);
    frmC->ui.Lab_ID->setText(u"0"_s);
    frmC->exec();
}

void TfrmMain::SpeedButton2Click()
{
    const QString id = ADOQuery1->FieldByName(u"ID"_s);
    if (id.isEmpty())
        return;
    // Converted before the editor exists, so a date that does not convert leaves no hidden
    // editor behind.
    const QDate registered = StrToDate(ADOQuery1->FieldByName(Sql::Caption::kRegistered));
    createAccountEditor();
    frmC->setWindowTitle(u"修改 账户"_s);
    frmC->ui.Lab_ID->setText(id);
    frmC->ui.DateTimePicker1->setDate(registered);
    // Whole, even where the file holds more than the editor lets the user type.
    CharacterLimit::setStoredText(frmC->ui.Edit1, ADOQuery1->FieldByName(Sql::Caption::kAccountName));
    CharacterLimit::setStoredText(frmC->ui.Edit2, ADOQuery1->FieldByName(Sql::Caption::kUserName));
    CharacterLimit::setStoredText(frmC->ui.Edit3, ADOQuery1->FieldByName(Sql::Caption::kPassword));
    CharacterLimit::setStoredText(frmC->ui.Edit4, ADOQuery1->FieldByName(Sql::Caption::kDescription));
    frmC->exec();
}

void TfrmMain::SpeedButton6Click()
{
    frmP = new TfrmP(this);
    frmP->exec();
}

void TfrmMain::SpeedButton7Click() { Website::openInBrowser(Website::homePage(false)); }

void TfrmMain::Label4Click() { Website::openInBrowser(Website::homePage(true)); }

void TfrmMain::BitBtn1Click()
{
    const QString fromDate = FormatDate(kDateText, ui.DateTimePicker1->date());
    const QString toDate = FormatDate(kDateText, ui.DateTimePicker2->date());
    QString suffix;
    if (ui.CheckBox1->isChecked())
        suffix += Sql::dateRangeCondition(fromDate, toDate);
    // A text that names no column leaves the text condition out rather than sending a
    // statement without a column.
    const QString column = columnForCaption(ui.ComboBox1->currentText());
    if (ui.CheckBox2->isChecked() && !column.isEmpty())
        suffix += Sql::containsCondition(column, ui.Edit1->text());
    ui.LabWhere->setText(suffix);
    Ref();
}

void TfrmMain::BitBtn2Click()
{
    if (ADOQuery1->FieldByName(u"ID"_s).isEmpty())
        return;
    const auto job = PrintJob::start();
    LinePrinter& printer = job->printer();
    printer.setFont(QFont(u"黑体"_s));
    printer.setFontSize(18);
    printer.writeLine(QString());
    printer.writeLine(u"        "_s + kProductName);
    printer.setFontSize(12);
    ADOQuery1->First();
    for (int n = 1; !ADOQuery1->Eof(); ++n) {
        printAccount(printer, n);
        ADOQuery1->Next();
    }
    printer.writeLine(u"    "_s + QString(37, QLatin1Char('-')));
    printer.writeLine(u"    软件开发："_s + Website::homePage(true));
    printer.writeLine(u"    打印时间："_s + FormatDate(kDateText, QDate::currentDate()) + QLatin1Char(' ')
                      + printTime());
    printer.writeLine(QString());
    if (!job->finish())
        Dialogs::notice(u"打印文件已保存："_s + job->pdfFile());
}

void TfrmMain::printAccount(LinePrinter& printer, int number)
{
    printer.writeLine(u"    "_s + QString::number(number) + QString(35, QLatin1Char('-')));
    printer.writeLine(u"    注册日期："_s + ADOQuery1->FieldByName(Sql::Caption::kRegistered));
    printer.writeLine(u"    账户名称："_s + ADOQuery1->FieldByName(Sql::Caption::kAccountName));
    printer.writeLine(u"    用 户 名："_s + ADOQuery1->FieldByName(Sql::Caption::kUserName));
    printer.writeLine(u"    密    码："_s + ADOQuery1->FieldByName(Sql::Caption::kPassword));
    printer.writeLine(u"    描    述："_s + ADOQuery1->FieldByName(Sql::Caption::kDescription));
}

void TfrmMain::DateTimePicker1Change() { ui.CheckBox1->setChecked(true); }

void TfrmMain::DateTimePicker2Change() { ui.CheckBox1->setChecked(true); }

void TfrmMain::ComboBox1Change() { ui.CheckBox2->setChecked(true); }

void TfrmMain::Edit1Change() { ui.CheckBox2->setChecked(true); }
