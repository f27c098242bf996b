#include "desktop_services.h"

#include <QClipboard>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeData>
#include <QVariantMap>

namespace tonbrook {

DesktopServices::DesktopServices(QObject *parent)
    : DesktopServices(QDBusConnection::sessionBus(), parent)
{
}

DesktopServices::DesktopServices(const QDBusConnection &bus, QObject *parent)
    : QObject(parent), m_bus(bus)
{
}

void DesktopServices::revealFile(const QUrl &file)
{
    if (!m_bus.isConnected()) {
        openContainingFolder(file);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{file.toString(QUrl::FullyEncoded)} << QString();
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, file](auto *w) {
        w->deleteLater();
        if (w->isError())
            openContainingFolder(file);
        else
            emit revealed(file, true);
    });
}

void DesktopServices::openContainingFolder(const QUrl &file)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(file.toLocalFile()).absolutePath()));
    emit revealed(file, false);
}

void DesktopServices::shareFile(const QUrl &file)
{
    QFile handle(file.toLocalFile());
    if (!m_bus.isConnected() || !handle.open(QIODevice::ReadOnly)) {
        copyToClipboard(file);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.portal.Desktop"),
        QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.freedesktop.portal.OpenURI"), QStringLiteral("OpenFile"));
    // The descriptor is duplicated into the message, so the file may close right after.
    call << QString() << QVariant::fromValue(QDBusUnixFileDescriptor(handle.handle()))
         << QVariantMap{{QStringLiteral("ask"), true}};
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, file](auto *w) {
        w->deleteLater();
        if (w->isError())
            copyToClipboard(file);
        else
            emit shared(file, true);
    });
}

void DesktopServices::copyToClipboard(const QUrl &file)
{
    auto *mime = new QMimeData;
    mime->setUrls({file});
    mime->setText(file.toString(QUrl::FullyEncoded));
    QGuiApplication::clipboard()->setMimeData(mime);
    emit shared(file, false);
}

} // namespace tonbrook
