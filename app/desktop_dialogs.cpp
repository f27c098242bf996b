#include "desktop_dialogs.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QStringList>
#include <QtGlobal>

namespace tonbrook {

namespace {

const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
// Each question to the bus waits at most this long, so a stuck bus costs start-up little.
constexpr int kBusTimeoutMs = 250;

bool themePluginInstalled(const QString &name)
{
    QStringList folders = qEnvironmentVariable("QT_PLUGIN_PATH").split(QDir::listSeparator(),
                                                                      Qt::SkipEmptyParts);
    folders << QLibraryInfo::path(QLibraryInfo::PluginsPath);
    for (const QString &folder : folders) {
        if (QFileInfo::exists(folder + QStringLiteral("/platformthemes/libq") + name +
                              QStringLiteral(".so")))
            return true;
    }
    return false;
}

// Only a bus the environment names or the per-user bus socket: libdbus would otherwise try to
// autolaunch one through X11.
bool sessionBusConfigured()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"));
}

QVariant askBus(const QDBusConnection &bus, const QString &method, const QVariantList &arguments)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), method);
    call.setArguments(arguments);
    const QDBusMessage reply = bus.call(call, QDBus::Block, kBusTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return reply.arguments().constFirst();
}

bool portalOnSessionBus()
{
    if (!sessionBusConfigured())
        return false;
    // A private connection: the shared one would be made before the application object.
    const QString connectionName = QStringLiteral("tonbrook_portal_probe");
    bool found = false;
    {
        const QDBusConnection bus =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName);
        if (bus.isConnected()) {
            found = askBus(bus, QStringLiteral("NameHasOwner"), {kPortalService}).toBool() ||
                    askBus(bus, QStringLiteral("ListActivatableNames"), {})
                        .toStringList()
                        .contains(kPortalService);
        }
    }
    QDBusConnection::disconnectFromBus(connectionName);
    return found;
}

} // namespace

void chooseDesktopDialogs()
{
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORMTHEME"))
        return;
    // Only the windowing platforms that show dialogs (QT_QPA_PLATFORM may list several).
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith("xcb") && !platform.startsWith("wayland"))
        return;
    if (themePluginInstalled(QStringLiteral("xdgdesktopportal")) && portalOnSessionBus())
        qputenv("QT_QPA_PLATFORMTHEME", "xdgdesktopportal");
    else if (themePluginInstalled(QStringLiteral("gtk3")))
        qputenv("QT_QPA_PLATFORMTHEME", "gtk3");
}

} // namespace tonbrook
