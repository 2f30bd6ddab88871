// Password change dialog: checks the current login password, then replaces it with a new one.
#pragma once

#include "ui_p.h"

#include "widgets/focusdialog.h"

class TADOQuery;

class TfrmP : public FocusDialog {
    Q_OBJECT
public:
    explicit TfrmP(QWidget* owner);

    Ui::TfrmP ui;
    TADOQuery* ADOQuery1;  // the current password check
    TADOQuery* ADOQuery2;  // the password update

    void BitBtn1Click();  // save
};

extern TfrmP* frmP;
