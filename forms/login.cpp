// Login window (see login.h).
#include "forms/login.h"

#include "data/dm.h"
#include "data/query.h"
#include "data/statements.h"
#include "data/unit1.h"
#include "forms/main.h"
#include "platform/website.h"
#include "product.h"
#include "widgets/accessibility.h"
#include "widgets/application.h"
#include "widgets/dialogs.h"
#include "widgets/formstyle.h"
#include "widgets/guard.h"
#include "widgets/readable.h"
#include "widgets/windowkeys.h"

#include <QCloseEvent>
#include <QDate>
#include <QKeyEvent>
#include <QStyle>

using namespace Qt::StringLiterals;

TfrmLogin* frmLogin = nullptr;

TfrmLogin::TfrmLogin(QWidget* parent) : QDialog(parent), ADOQuery1(new TADOQuery(this)), ADOQuery2(new TADOQuery(this))
{
    // The form's font before its controls, so that they are laid out once, in that font.
    setFont(formFont());
    ui.setupUi(this);
    ui.GroupBox1->setTitle(u"欢迎使用 "_s + kProductName);
    placeWhenShown(this, QSize(300, 280), Placement::ScreenCenter);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    ADOQuery1->setObjectName(u"ADOQuery1"_s);
    ADOQuery2->setObjectName(u"ADOQuery2"_s);
    fitLabelsToText({ui.Label2});
    nameInputsByCaptions(this);
    ui.WebBrowser1->setAlign(TWebBrowser::Align::Top);
    ui.BitBtn2->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
    keepPicturesReadable(this);
    ui.Edit1->setFocus();
    connect(ui.BitBtn1, &QPushButton::clicked, this, guardedSlot(this, &TfrmLogin::BitBtn1Click));
    connect(ui.BitBtn2, &QPushButton::clicked, this, &QWidget::close);
    connect(ui.Label3, &LinkLabel::clicked, this, guardedSlot(this, &TfrmLogin::Label3Click));
    auto* keys = new WindowKeys(this);
    connect(keys->add(QKeySequence(Qt::Key_F1), ui.Label3), &QAction::triggered, this,
            guardedSlot(this, &TfrmLogin::Label3Click));
    guarded([this] { FormCreate(); });
}

void TfrmLogin::FormCreate()
{
    ui.WebBrowser1->Navigate(Website::page(u"SoftIndex.html"_s));
    const QString lastDate = frmDM->myLDate();
    const QString count = frmDM->myLCount();
    ui.Label1->setText(u"上次登录日："_s + lastDate + u"，总登录数："_s + count);
    fitLabelsToText({ui.Label1});
}

void TfrmLogin::BitBtn1Click()
{
    // An account list the start could not read is told now rather than while the password was
    // being typed; the login goes on.
    guarded([] { frmMain->FinishRef(); });
    if (!isLoginPassword(ADOQuery1, ui.Edit1->text())) {
        Dialogs::notice(u"密码错误，请重新录入密码！"_s);
        ui.Edit1->setFocus();
        return;
    }
    stampLogin();
    // Hidden, not closed: closing this window ends the program.
    hide();
    ui.Edit1->clear();
    frmMain->show();
}

void TfrmLogin::FormClose() { Application::Terminate(); }

void TfrmLogin::Label3Click() { Website::openInBrowser(Website::homePage(false)); }

void TfrmLogin::closeEvent(QCloseEvent* event)
{
    guarded([this] { FormClose(); });
    QDialog::closeEvent(event);
}

// Esc would hide the dialog without closing it; here it does nothing.
void TfrmLogin::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TfrmLogin::stampLogin()
{
    mySql = Sql::loginStamp(QDate::currentDate());
    execSqlOnOneRow(ADOQuery2, u"登录记录"_s);
}
