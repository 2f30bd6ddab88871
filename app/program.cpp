// The program block (see program.h).
#include "app/program.h"

#include "app/olderfile.h"
#include "data/connection.h"
#include "data/dm.h"
#include "data/earlykey.h"
#include "data/filename.h"
#include "data/schema.h"
#include "data/unit1.h"
#include "forms/login.h"
#include "forms/main.h"
#include "platform/coredumps.h"
#include "platform/datafilelock.h"
#include "platform/sessionbus.h"
#include "platform/singleinstance.h"
#include "product.h"
#include "widgets/application.h"
#include "widgets/dialogs.h"
#include "widgets/formstyle.h"
#include "widgets/secretclipboard.h"

#include <QApplication>
#include <QIcon>

using namespace Qt::StringLiterals;

// The pictures live in the forms' library; a static library's resources are loaded by hand,
// from outside any namespace.
static void loadResources() { Q_INIT_RESOURCE(resources); }

namespace {

QIcon programIcon()
{
    QIcon icon(u":/icons/app.png"_s);
    icon.addFile(u":/icons/app-256.png"_s);
    return icon;
}

// The data module first: the main window's creation connects it and runs the first list,
// and the login window's creation then reads the last login through it.
void createWindows(EarlyKey& earlyKey)
{
    frmDM = new TfrmDM;
    frmDM->ADOConnection1->setEarlyKey(&earlyKey);
    frmMain = new TfrmMain;
    frmLogin = new TfrmLogin;
}

void destroyWindows()
{
    delete frmLogin;
    frmLogin = nullptr;
    delete frmMain;
    frmMain = nullptr;
    delete frmDM;
    frmDM = nullptr;
}

bool warnAlreadyOpen()
{
    Dialogs::warning(kProductName + u" 已经打开了！"_s, u"警告"_s);
    return false;
}

}  // namespace

bool takeSingleInstanceLock(SingleInstanceLock& lock) { return lock.tryAcquire() || warnAlreadyOpen(); }

bool takeDataFileLock(DataFileLock& lock) { return lock.tryAcquire() || warnAlreadyOpen(); }

int runProgram(int& argc, char** argv)
{
    // Before the toolkit first asks for the bus: nothing of the program may outlive it.
    keepSessionBusFromBeingLaunched();
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"mzpwdbook"_s);
    // Before the data file is opened: its key and every account it holds stay out of crash dumps.
    disableCoreDumps();
    // The per-user lock keeps one copy per login session; the data file's lock keeps one
    // copy per file, whatever session or runtime folder a second copy has.
    const QByteArray dataFile = encodeFileName(dataFilePath(Application::exeFolder()));
    SingleInstanceLock lock(u"MzPwdBook"_s);
    DataFileLock fileLock(dataFile);
    if (!takeSingleInstanceLock(lock) || !takeDataFileLock(fileLock))
        return 0;

    loadResources();
    installFontSubstitutes();
    Application::setTitle(kProductName);
    QApplication::setWindowIcon(programIcon());
    // The program ends only when it is told to, not when its last window hides.
    QApplication::setQuitOnLastWindowClosed(false);

    // An older data file is brought across before anything opens it, under the data file's lock.
    OlderFileMove olderFile(dataFile);
    olderFile.run();
    // The data file's key is derived on a thread of its own while the windows are made; a file
    // just brought across comes with its key.
    EarlyKey earlyKey(dataFile, schema::kDatabasePassword, olderFile.keyOfNewFile());
    createWindows(earlyKey);
    frmLogin->show();
    const int result = Application::terminateRequests() > 0 ? 0 : QApplication::exec();
    destroyWindows();
    mySql.clear();
    // A secret still on the clipboard goes now, before the clipboard is handed to a clipboard
    // manager that would keep it after the end.
    SecretClipboard::forget();
    return result;
}
