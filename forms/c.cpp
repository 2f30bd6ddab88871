// Account editor dialog: types a new account or changes an existing one.
#include "forms/c.h"

#include "data/dateformat.h"
#include "data/dm.h"
#include "data/query.h"
#include "data/schema.h"
#include "data/statements.h"
#include "data/unit1.h"
#include "platform/website.h"
#include "widgets/accessibility.h"
#include "widgets/characterlimit.h"
#include "widgets/dialogs.h"
#include "widgets/formstyle.h"
#include "widgets/guard.h"
#include "widgets/readable.h"

#include <QStyle>

using namespace Qt::StringLiterals;

QPointer<TfrmC> frmC;

TfrmC::TfrmC(QWidget* owner) : FocusDialog(owner), ADOQuery1(new TADOQuery(this))
{
    // The form's font before its controls, so that they are laid out once, in that font.
    setFont(formFont());
    ui.setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    placeWhenShown(this, QSize(850, 380), Placement::OwnerCenter, owner);
    fitLabelsToText({ui.Label1, ui.Label2, ui.Label3, ui.Label4, ui.Label5, ui.Label6, ui.Label7, ui.Label17});
    nameInputsByCaptions(this);
    ui.BitBtn2->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
    keepPicturesReadable(this);
    showTextIn(ui.Label7, Qt::red);
    limitLengths();
    ui.WebBrowser1->setAlign(TWebBrowser::Align::Top);
    ui.Edit1->setFocus();
    connect(ui.BitBtn1, &QPushButton::clicked, this, guardedSlot(this, &TfrmC::BitBtn1Click));
    connect(ui.BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    guarded([this] { FormCreate(); });
}

void TfrmC::limitLengths()
{
    for (QLineEdit* edit : {ui.Edit1, ui.Edit2, ui.Edit3})
        new CharacterLimit(schema::kTextLength, edit);
    new CharacterLimit(schema::kDescriptionLength, ui.Edit4);
}

void TfrmC::FormCreate()
{
    ui.DateTimePicker1->setDate(QDate::currentDate());
    ui.WebBrowser1->Navigate(Website::page(u"Card_C.html"_s));
}

void TfrmC::BitBtn1Click()
{
    const QString date = FormatDate(kDateText, ui.DateTimePicker1->date());
    if (!isFilled(ui.Edit1, u"账户名称 不能为空！"_s) || !isFilled(ui.Edit2, u"用户名 不能为空！"_s))
        return;
    mySql = saveStatement(date);
    // A changed account another connection has deleted meanwhile is an error, not a success.
    if (isNewAccount())
        execSql(ADOQuery1);
    else
        execSqlOnOneRow(ADOQuery1, u"账户"_s);
    Dialogs::notice(u"恭喜！恭喜！ 账户信息 保存成功！"_s);
    // The closed editor is freed once this handler has returned; from here on only the window
    // that owns it acts, on the saved signal.
    accept();
    Q_EMIT saved();
}

// A required edit left empty is told with the notice and gets the focus back.
bool TfrmC::isFilled(QLineEdit* edit, const QString& notice)
{
    if (!edit->text().isEmpty())
        return true;
    Dialogs::notice(notice);
    edit->setFocus();
    return false;
}

bool TfrmC::isNewAccount() const { return ui.Lab_ID->text() == QLatin1String("0"); }

QString TfrmC::saveStatement(const QString& date) const
{
    if (!isNewAccount())
        return Sql::accountUpdate(ui.Edit1->text(), ui.Edit2->text(), ui.Edit3->text(), ui.Edit4->text(), date,
                                  ui.Lab_ID->text());
    return Sql::accountInsert(date, ui.Edit1->text(), ui.Edit2->text(), ui.Edit3->text(), ui.Edit4->text());
}
