// Remote hands for end-to-end tests and the start-up benchmark. Preloaded into the real program
// (LD_PRELOAD), it connects to the local socket named by MZ_DRIVER_SOCKET as soon as the
// application object exists and carries out one command per line: it presses keys and clicks
// on the program's own widgets, answers message boxes and reads texts back, the way a user at
// the keyboard would, without calling any of the program's handlers.
//
// A line is a command and its arguments, each percent-encoded and separated by one space; the
// answer is "ok" or "err" followed by its values the same way. A command that acts (a key, a
// click) is answered before it is carried out, since the action may open a modal box that the
// test then has to read and answer; pressing a box's button is answered once the box is gone.
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTimeEdit>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QLocalSocket>
#include <QMessageBox>
#include <QPointer>
#include <QTableView>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

using Fields = QList<QByteArray>;

QWidget* findWindow(const QString& name)
{
    QWidget* hidden = nullptr;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->objectName() != name)
            continue;
        if (window->isVisible())
            return window;
        hidden = window;
    }
    return hidden;
}

// "frmMain/SpeedButton1": a window by its name, then a widget inside it by its name.
QWidget* findWidget(const QString& path)
{
    const QStringList parts = path.split(QLatin1Char('/'));
    QWidget* widget = findWindow(parts.first());
    for (qsizetype i = 1; widget && i < parts.size(); ++i)
        widget = widget->findChild<QWidget*>(parts[i]);
    return widget;
}

QString textOf(const QWidget* widget)
{
    if (auto edit = qobject_cast<const QLineEdit*>(widget))
        return edit->text();
    if (auto label = qobject_cast<const QLabel*>(widget))
        return label->text();
    if (auto button = qobject_cast<const QAbstractButton*>(widget))
        return button->text();
    if (auto combo = qobject_cast<const QComboBox*>(widget))
        return combo->currentText();
    if (auto dateEdit = qobject_cast<const QDateTimeEdit*>(widget))
        return dateEdit->text();
    return widget->windowTitle();
}

// A character a keyboard sends as a key; anything else (Chinese, emoji, control characters)
// arrives the way an input method commits it.
bool isKeyboardCharacter(QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0x7f; }

void typeInto(QWidget* target, const QString& text)
{
    qsizetype i = 0;
    while (i < text.size()) {
        if (isKeyboardCharacter(text[i])) {
            QTest::keyClick(target, text[i].toLatin1());
            ++i;
            continue;
        }
        qsizetype end = i;
        while (end < text.size() && !isKeyboardCharacter(text[end]))
            ++end;
        QInputMethodEvent commit;
        commit.setCommitString(text.mid(i, end - i));
        QCoreApplication::sendEvent(target, &commit);
        i = end;
    }
}

// A click on a window that is not the active one makes it active first, as a window manager does.
void activateFor(QWidget* target)
{
    QWidget* window = target->window();
    if (QApplication::activeWindow() != window) {
        window->activateWindow();
        // A window that cannot be made active still takes the click, as it would on screen.
        [[maybe_unused]] const bool active = QTest::qWaitForWindowActive(window, 1000);
    }
}

// Where a key goes: the widget with the keyboard focus. An open popup menu takes every key, as it
// grabs the keyboard. While a modal window is open the keys reach only that window, even before it
// has been made active. Without a window manager no window may be active; the key then goes to the
// focus of the open dialog, or of a shown window.
QWidget* keyTarget()
{
    if (QWidget* popup = QApplication::activePopupWidget())
        return popup->focusWidget() ? popup->focusWidget() : popup;
    QWidget* focus = QApplication::focusWidget();
    QWidget* dialog = QApplication::activeModalWidget();
    if (focus && (!dialog || focus->window() == dialog))
        return focus;
    if (dialog)
        return dialog->focusWidget() ? dialog->focusWidget() : dialog;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->isVisible() && window->focusWidget())
            return window->focusWidget();
    return nullptr;
}

QMessageBox* activeBox() { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); }

QAbstractItemView* findView(const QString& path) { return qobject_cast<QAbstractItemView*>(findWidget(path)); }

class Driver : public QObject {
public:
    explicit Driver(const QString& socketName)
    {
        connect(&socket_, &QLocalSocket::readyRead, this, &Driver::readCommands);
        connect(&socket_, &QLocalSocket::disconnected, this, [] { ::_exit(3); });
        socket_.connectToServer(socketName);
        if (!socket_.waitForConnected(5000))
            qFatal("driver: cannot reach %s", qPrintable(socketName));
    }

private:
    void readCommands()
    {
        while (socket_.canReadLine()) {
            Fields fields;
            for (const QByteArray& field : socket_.readLine().trimmed().split(' '))
                fields << QByteArray::fromPercentEncoding(field);
            run(fields);
        }
    }

    void reply(const QStringList& values, const char* status = "ok")
    {
        QByteArray line = status;
        for (const QString& value : values)
            line += ' ' + value.toUtf8().toPercentEncoding();
        socket_.write(line + '\n');
        socket_.flush();
    }

    void fail(const QString& message) { reply({message}, "err"); }

    // Answers at once, then acts from the event loop.
    void later(const std::function<void()>& action)
    {
        reply({});
        QTimer::singleShot(0, this, action);
    }

    QWidget* widgetOrFail(const QString& path)
    {
        QWidget* widget = findWidget(path);
        if (!widget)
            fail(u"no widget "_s + path);
        return widget;
    }

    void run(const Fields& fields)
    {
        const QByteArray command = fields.value(0);
        const QString arg = QString::fromUtf8(fields.value(1));
        if (command == "visible") {
            QWidget* widget = findWidget(arg);
            return reply({widget && widget->isVisible() ? u"1"_s : u"0"_s});
        }
        if (command == "box") {
            QMessageBox* box = activeBox();
            return box ? reply({box->windowTitle(), box->text()}) : reply({});
        }
        if (command == "answer")
            return answer(arg);
        if (command == "keys")
            return later([text = arg] {
                if (QWidget* target = keyTarget())
                    typeInto(target, text);
            });
        if (command == "key")
            return pressKey(arg);
        if (command == "rows")
            return rows(arg);
        if (command == "cell")
            return cell(arg, fields.value(2).toInt(), fields.value(3).toInt());
        if (command == "column")
            return column(arg, fields.value(2).toInt());
        QWidget* widget = widgetOrFail(arg);
        if (!widget)
            return;
        if (command == "text")
            return reply({textOf(widget)});
        if (command == "checked") {
            const auto* button = qobject_cast<const QAbstractButton*>(widget);
            return reply({button && button->isChecked() ? u"1"_s : u"0"_s});
        }
        if (command == "outer-size")
            return reply(
                {QString::number(widget->frameGeometry().width()), QString::number(widget->frameGeometry().height())});
        if (command == "click")
            return later([target = QPointer<QWidget>(widget)] {
                if (!target)
                    return;
                activateFor(target);
                QTest::mouseClick(target, Qt::LeftButton);
            });
        if (command == "title-click")
            return titleClick(widget, fields.value(2).toInt());
        if (command == "row-click")
            return rowClick(widget, fields.value(2).toInt());
        fail(u"unknown command "_s + QString::fromUtf8(command));
    }

    // Answered once the box is gone: its handler has then gone on to its end, or to the next
    // box or window it opens.
    void answer(const QString& buttonText)
    {
        QMessageBox* box = activeBox();
        if (!box)
            return fail(u"no message box"_s);
        for (QAbstractButton* button : box->buttons()) {
            if (button->text().remove(QLatin1Char('&')) != buttonText)
                continue;
            QTimer::singleShot(0, this, [target = QPointer<QAbstractButton>(button)] {
                if (target)
                    QTest::mouseClick(target, Qt::LeftButton);
            });
            replyWhen([answered = QPointer<QMessageBox>(box)] { return answered.isNull(); });
            return;
        }
        fail(u"no button "_s + buttonText);
    }

    void replyWhen(const std::function<bool()>& done)
    {
        auto* poll = new QTimer(this);
        auto finish = [this, poll] {
            poll->disconnect();
            poll->deleteLater();
            reply({});
        };
        connect(poll, &QTimer::timeout, poll, [done, finish] {
            if (done())
                finish();
        });
        // The end of the program answers too.
        connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, poll, finish);
        connect(QCoreApplication::instance(), &QObject::destroyed, poll, finish);
        poll->start(1);
    }

    // "Return", "Ctrl+Delete", "Tab": sent to the widget with the keyboard focus.
    void pressKey(const QString& name)
    {
        const QKeyCombination combination = QKeySequence::fromString(name)[0];
        later([combination] {
            if (QWidget* target = keyTarget())
                QTest::keyClick(target, combination.key(), combination.keyboardModifiers());
        });
    }

    void rows(const QString& path)
    {
        QAbstractItemView* view = findView(path);
        if (!view || !view->model())
            return fail(u"no grid "_s + path);
        reply({QString::number(view->model()->rowCount()), QString::number(view->currentIndex().row())});
    }

    void cell(const QString& path, int row, int column)
    {
        QAbstractItemView* view = findView(path);
        if (!view || !view->model())
            return fail(u"no grid "_s + path);
        reply({view->model()->index(row, column).data().toString()});
    }

    // Every row's text in one column, each after a "=", so that no text is an empty field.
    void column(const QString& path, int column)
    {
        QAbstractItemView* view = findView(path);
        if (!view || !view->model())
            return fail(u"no grid "_s + path);
        QStringList texts;
        for (int row = 0; row < view->model()->rowCount(); ++row)
            texts << QLatin1Char('=') + view->model()->index(row, column).data().toString();
        reply(texts);
    }

    void titleClick(QWidget* widget, int column)
    {
        auto view = qobject_cast<QTableView*>(widget);
        if (!view)
            return fail(u"not a table"_s);
        QHeaderView* header = view->horizontalHeader();
        const QPoint centre(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                            header->height() / 2);
        later([target = QPointer<QWidget>(header->viewport()), centre] {
            if (!target)
                return;
            activateFor(target);
            QTest::mouseClick(target, Qt::LeftButton, {}, centre);
        });
    }

    void rowClick(QWidget* widget, int row)
    {
        auto view = qobject_cast<QAbstractItemView*>(widget);
        if (!view || !view->model())
            return fail(u"not a grid"_s);
        int column = 0;
        if (auto table = qobject_cast<QTableView*>(view))
            while (table->isColumnHidden(column))
                ++column;
        const QModelIndex index = view->model()->index(row, column);
        view->scrollTo(index);
        const QPoint centre = view->visualRect(index).center();
        later([target = QPointer<QWidget>(view->viewport()), centre] {
            if (!target)
                return;
            activateFor(target);
            QTest::mouseClick(target, Qt::LeftButton, {}, centre);
        });
    }

    QLocalSocket socket_;
};

void startDriver()
{
    const QString socketName = qEnvironmentVariable("MZ_DRIVER_SOCKET");
    if (socketName.isEmpty())
        return;
    // The program makes its windows before its event loop runs; the driver joins once it does
    // or once a box of the start-up runs its own loop.
    QTimer::singleShot(0, QCoreApplication::instance(), [socketName] { new Driver(socketName); });
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(startDriver)
