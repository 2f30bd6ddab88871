// Login window: the first window of the program; asks for the login password before the main window opens.
#pragma once

#include "ui_login.h"

#include <QDialog>

class TADOQuery;

class TfrmLogin : public QDialog {
    Q_OBJECT
public:
    explicit TfrmLogin(QWidget* parent = nullptr);

    Ui::TfrmLogin ui;
    TADOQuery* ADOQuery1;  // the password check
    TADOQuery* ADOQuery2;  // the login stamp

    void FormCreate();
    void BitBtn1Click();  // open: the login attempt
    void FormClose();
    void Label3Click();  // forgotten password: the maker's home page

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void stampLogin();
};

extern TfrmLogin* frmLogin;
