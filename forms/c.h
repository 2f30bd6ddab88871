// Account editor dialog: types a new account or changes an existing one.
#pragma once

#include "ui_c.h"

#include <QDialog>
#include <QPointer>

class TADOQuery;

class TfrmC : public QDialog {
    Q_OBJECT
public:
    // The editor frees itself when it closes.
    explicit TfrmC(QWidget* owner);
    ~TfrmC() override;

    Ui::TfrmC ui;  // Lab_ID holds "0" for a new account, else the ID of the account changed
    TADOQuery* ADOQuery1;

    void FormCreate();
    void BitBtn1Click();  // save

    void setVisible(bool visible) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void limitLengths();
    void keepDefaultOnFocusedButton();
    bool isFilled(QLineEdit* edit, const QString& notice);
    QString saveStatement(const QString& date) const;
};

extern QPointer<TfrmC> frmC;
