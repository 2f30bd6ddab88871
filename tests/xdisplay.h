// An X server of the test's own (Xvfb), for tests that need a real display: window managers,
// desktop themes, a nested Wayland compositor.
#pragma once

#include <QProcess>
#include <QSize>
#include <QString>
#include <memory>

// Makes the process, when started, end with the test even when the test is killed or aborts.
void endWithThisProcess(QProcess& process);

class VirtualDisplay {
public:
    // Starts Xvfb on a display number it picks itself, with one screen of this size.
    explicit VirtualDisplay(QSize screen = QSize(1280, 1024));
    ~VirtualDisplay();
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    // ":N", or empty when the server could not be started.
    QString name() const { return name_; }

    // A test asked to run on the xcb platform where there is no display (CI) gets a server of its
    // own, named in DISPLAY; null when it needs none. Call before the application object exists.
    static std::unique_ptr<VirtualDisplay> forXcbWithoutDisplay();

private:
    QProcess xvfb_;
    QString name_;
};
