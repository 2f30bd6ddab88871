// The clipboard for secrets (see secretclipboard.h).
#include "widgets/secretclipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QPointer>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace SecretClipboard {

namespace {

constexpr std::chrono::milliseconds kLifetime = std::chrono::seconds(15);

std::chrono::milliseconds lifetimeForTesting{0};

// The clipboard owns the data; it deletes it once something else is copied.
QPointer<QMimeData> held;
QPointer<QTimer> expiry;

void startExpiry()
{
    if (!expiry) {
        expiry = new QTimer(qApp);
        expiry->setSingleShot(true);
        QObject::connect(expiry, &QTimer::timeout, &forget);
    }
    expiry->start(lifetime());
}

}  // namespace

void copy(const QString& text)
{
    auto* data = new QMimeData;
    data->setText(text);
    data->setData(u"x-kde-passwordManagerHint"_s, QByteArrayLiteral("secret"));
    QGuiApplication::clipboard()->setMimeData(data);
    held = data;
    startExpiry();
}

void forget()
{
    if (expiry)
        expiry->stop();
    if (held && QGuiApplication::clipboard()->mimeData() == held)
        QGuiApplication::clipboard()->clear();
    held = nullptr;
}

std::chrono::milliseconds lifetime() { return lifetimeForTesting.count() > 0 ? lifetimeForTesting : kLifetime; }

void setLifetimeForTesting(std::chrono::milliseconds lifetime) { lifetimeForTesting = lifetime; }

}  // namespace SecretClipboard
