// The application as the windows see it (see application.h).
#include "widgets/application.h"

#include "data/filename.h"
#include "platform/executable.h"

#include <QApplication>
#include <QDialog>

namespace Application {

namespace {

QString title;
int terminateCount = 0;
QString exeFolderForTesting;

// A modal dialog that is open when the program ends is cancelled, as if its close box had
// been pressed, so the handler that showed it sees a cancelled dialog.
void cancelModalDialogs()
{
    QWidget* previous = nullptr;
    while (QWidget* modal = QApplication::activeModalWidget()) {
        if (modal == previous)
            break;
        previous = modal;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->hide();
    }
}

}  // namespace

QString Title() { return title; }

void setTitle(const QString& text) { title = text; }

void Terminate()
{
    ++terminateCount;
    cancelModalDialogs();
    // exit(), not quit(): quit() would first ask every window to close and so run the main
    // window's exit confirmation.
    QCoreApplication::exit(0);
}

int terminateRequests() { return terminateCount; }

// From the bytes of the executable's path: Qt reads that path as UTF-8 text and has no folder
// to give when its name is not.
QString exeFolder()
{
    if (!exeFolderForTesting.isEmpty())
        return exeFolderForTesting;
    const QByteArray folder = executableFolder();
    return folder.isEmpty() ? QCoreApplication::applicationDirPath() + QLatin1Char('/') : decodeFileName(folder);
}

void setExeFolderForTesting(const QString& folder)
{
    exeFolderForTesting = folder.isEmpty() || folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

}  // namespace Application
