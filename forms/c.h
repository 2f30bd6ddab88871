// Account editor dialog: types a new account or changes an existing one.
#pragma once

#include "ui_c.h"

#include "widgets/focusdialog.h"

#include <QPointer>

class TADOQuery;

class TfrmC : public FocusDialog {
    Q_OBJECT
public:
    // The editor frees itself when it closes.
    explicit TfrmC(QWidget* owner);

    Ui::TfrmC ui;  // Lab_ID holds "0" for a new account, else the ID of the account changed
    TADOQuery* ADOQuery1;

    void FormCreate();
    void BitBtn1Click();  // save

Q_SIGNALS:
    // The account was saved and the editor has closed.
    void saved();

private:
    void limitLengths();
    bool isFilled(QLineEdit* edit, const QString& notice);
    bool isNewAccount() const;
    QString saveStatement(const QString& date) const;
};

extern QPointer<TfrmC> frmC;
