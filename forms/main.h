// Main window: the account list with its query bar, record commands and printing.
#pragma once

#include "ui_main.h"

#include "widgets/dbgrid.h"

#include <QPointer>
#include <QWidget>

class TADOQuery;
class TfrmC;
class TDataSource;
class QMenu;
class LinePrinter;

class TfrmMain : public QWidget {
    Q_OBJECT
public:
    explicit TfrmMain(QWidget* parent = nullptr);
    ~TfrmMain() override;

    Ui::TfrmMain ui;
    TADOQuery* ADOQuery1;  // the account list
    TADOQuery* ADOQuery2;  // the delete statement
    TDataSource* DataSource1;
    QMenu* PopupMenu1;

    // Re-runs the account list with the conditions in LabWhere and lays out the grid.
    void Ref();
    // Ref as the start runs it: the list is opened at once, and its rows are fetched while the
    // login window shows, since no one sees them before logging in; FinishRef lays the grid
    // out with them once they are in, and at the latest at the login or when the window is shown.
    void RefInBackground();
    // Waits for the rows RefInBackground asked for, lays the grid out with them and then points
    // the banner at its page, the start's last step; nothing when no rows are coming. Throws
    // the engine's error when they could not be read.
    void FinishRef();
    // A new account editor owned by this window, stored in frmC; once it has saved, the list
    // shows all accounts again.
    TfrmC* createAccountEditor();

    void FormCreate();
    void FormCloseQuery(bool& CanClose);
    void DBGrid1TitleClick(TColumn* Column);
    void DBGrid1DrawColumnCell(const QRect& Rect, int DataCol, TColumn* Column, GridDrawState State);
    void DBGrid1RecordDeleted();

    void SpeedButton1Click();  // add an account
    void SpeedButton2Click();  // modify the current account
    void SpeedButton3Click();  // delete the current account
    void SpeedButton4Click();  // previous account
    void SpeedButton5Click();  // next account
    void SpeedButton6Click();  // change the login password
    void SpeedButton7Click();  // about us: the maker's home page
    void Label4Click();

    void BitBtn1Click();  // query
    void BitBtn2Click();  // print
    void DateTimePicker1Change();
    void DateTimePicker2Change();
    void ComboBox1Change();
    void Edit1Change();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void layOutList();
    void listFetched(bool succeeded);
    void createPopupMenu();
    void connectHandlers();
    void bindKeys();
    void focusListOrBack();
    void showAccountCount();
    void showAllAccounts();
    void printAccount(LinePrinter& printer, int number);

    QPointer<QWidget> focusBeforeList_;  // where F6 takes the focus back to from the list
};

extern TfrmMain* frmMain;
