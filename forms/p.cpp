// Password change dialog (see p.h).
#include "forms/p.h"

#include "data/dm.h"
#include "data/query.h"
#include "data/statements.h"
#include "data/unit1.h"
#include "widgets/accessibility.h"
#include "widgets/application.h"
#include "widgets/dialogs.h"
#include "widgets/formstyle.h"
#include "widgets/guard.h"
#include "widgets/readable.h"

#include <QStyle>

using namespace Qt::StringLiterals;

TfrmP* frmP = nullptr;

TfrmP::TfrmP(QWidget* owner) : FocusDialog(owner), ADOQuery1(new TADOQuery(this)), ADOQuery2(new TADOQuery(this))
{
    // The form's font before its controls, so that they are laid out once, in that font.
    setFont(formFont());
    ui.setupUi(this);
    placeWhenShown(this, QSize(290, 210), Placement::OwnerCenter, owner);
    ADOQuery1->setObjectName(u"ADOQuery1"_s);
    ADOQuery2->setObjectName(u"ADOQuery2"_s);
    fitLabelsToText({ui.Label1, ui.Label2, ui.Label3});
    nameInputsByCaptions(this);
    ui.BitBtn2->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
    keepPicturesReadable(this);
    ui.Edit1->setFocus();
    connect(ui.BitBtn1, &QPushButton::clicked, this, guardedSlot(this, &TfrmP::BitBtn1Click));
    connect(ui.BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
}

void TfrmP::BitBtn1Click()
{
    const QString current = ui.Edit1->text();
    const QString newPassword = ui.Edit2->text();
    const QString confirmation = ui.Edit3->text();
    if (!isLoginPassword(ADOQuery1, current)) {
        Dialogs::notice(u"原密码错误，请重新录入密码！"_s);
        ui.Edit1->setFocus();
        return;
    }
    if (newPassword != confirmation) {
        Dialogs::notice(u"新密码和确认密码不一致，请重新录入密码！"_s);
        ui.Edit2->setFocus();
        return;
    }
    mySql = Sql::passwordUpdate(newPassword);
    execSqlOnOneRow(ADOQuery2, u"登录记录"_s);
    Dialogs::notice(u"密码修改成功，请重新登录！"_s);
    Application::Terminate();
}
