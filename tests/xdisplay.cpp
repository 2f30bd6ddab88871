// An X server of the test's own (see xdisplay.h).
#include "tests/xdisplay.h"

#include <csignal>
#include <sys/prctl.h>

using namespace Qt::StringLiterals;

void endWithThisProcess(QProcess& process)
{
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
}

VirtualDisplay::VirtualDisplay(QSize screen)
{
    const QString size = u"%1x%2x24"_s.arg(screen.width()).arg(screen.height());
    endWithThisProcess(xvfb_);
    xvfb_.start(u"Xvfb"_s, {u"-displayfd"_s, u"1"_s, u"-screen"_s, u"0"_s, size, u"-nolisten"_s, u"tcp"_s});
    // The server writes its display number once it takes connections.
    QByteArray number;
    while (!number.contains('\n') && xvfb_.waitForReadyRead(10000))
        number += xvfb_.readAllStandardOutput();
    if (!number.trimmed().isEmpty())
        name_ = QLatin1Char(':') + QString::fromLatin1(number.trimmed());
}

VirtualDisplay::~VirtualDisplay()
{
    xvfb_.terminate();
    if (!xvfb_.waitForFinished(5000))
        xvfb_.kill();
    xvfb_.waitForFinished(1000);
}

std::unique_ptr<VirtualDisplay> VirtualDisplay::forXcbWithoutDisplay()
{
    if (qgetenv("QT_QPA_PLATFORM") != "xcb" || !qEnvironmentVariableIsEmpty("DISPLAY"))
        return nullptr;
    auto display = std::make_unique<VirtualDisplay>();
    if (!display->name().isEmpty())
        qputenv("DISPLAY", display->name().toLocal8Bit());
    return display;
}
