#include "application_service.h"

#include "shell_notices.h"

#include <QCoreApplication>
#include <QDBusError>
#include <QDBusMessage>
#include <QDir>
#include <QGuiApplication>
#include <QTimer>
#include <QUrl>
#include <QWindow>

namespace tonbrook {

namespace {

const QString applicationInterface = QStringLiteral("org.freedesktop.Application");

// RequestName's flag and answers (org.freedesktop.DBus).
constexpr uint doNotQueue = 0x4;
constexpr uint primaryOwner = 1;
constexpr uint alreadyOwner = 4;

} // namespace

const QString ApplicationService::serviceName = QStringLiteral("io.github.tonbrook.Tonbrook");
const QString ApplicationService::objectPath = QStringLiteral("/io/github/tonbrook/Tonbrook");
const QString ApplicationService::serviceFlag = QStringLiteral("--dbus-service");

ApplicationService::ApplicationService(QObject *parent)
    : ApplicationService(QDBusConnection::sessionBus(), parent)
{
}

ApplicationService::ApplicationService(const QDBusConnection &bus, QObject *parent)
    : QObject(parent), m_bus(bus)
{
}

bool ApplicationService::takeServiceFlag(QStringList &arguments)
{
    return arguments.removeAll(serviceFlag) > 0;
}

ApplicationService::Role ApplicationService::claim(const QStringList &fileArguments)
{
    if (!m_bus.isConnected())
        return Role::Alone;
    // Exported before the name is ours, so that a request sent the moment the name shows up
    // finds the object; it is served once the event loop runs, after the window exists.
    if (!m_bus.registerObject(objectPath, this, QDBusConnection::ExportScriptableSlots)) {
        qWarning("tonbrook: cannot export %s on the session bus", qPrintable(objectPath));
        return Role::Alone;
    }
    // RequestName itself rather than QDBusConnectionInterface::registerService, whose wait for
    // an unresponsive bus is not bounded by us.
    QDBusMessage request = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("RequestName"));
    request << serviceName << doNotQueue;
    const QDBusMessage reply = m_bus.call(request, QDBus::Block, int(claimTimeout.count()));
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
        const uint answer = reply.arguments().constFirst().toUInt();
        if (answer == primaryOwner || answer == alreadyOwner)
            return Role::Primary;
    } else {
        qWarning("tonbrook: the session bus did not give %s: %s", qPrintable(serviceName),
                 qPrintable(reply.errorMessage()));
    }
    m_bus.unregisterObject(objectPath);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return Role::Alone;
    if (forward(fileArguments))
        return Role::Forwarded;
    return Role::Alone;
}

bool ApplicationService::forward(const QStringList &fileArguments)
{
    // The launch's activation token lets the running window take the focus on Wayland. (Qt
    // consumes an X11 startup id when the application starts, so there is none to pass on.)
    QVariantMap platformData;
    const QString token = qEnvironmentVariable("XDG_ACTIVATION_TOKEN");
    if (!token.isEmpty())
        platformData.insert(QStringLiteral("activation-token"), token);

    QDBusMessage call;
    if (fileArguments.isEmpty()) {
        call = QDBusMessage::createMethodCall(serviceName, objectPath, applicationInterface,
                                              QStringLiteral("Activate"));
        call << platformData;
    } else {
        QStringList uris;
        for (const QUrl &file : ShellNotices::fileUrlsFromArguments(fileArguments))
            uris << file.toString(QUrl::FullyEncoded);
        call = QDBusMessage::createMethodCall(serviceName, objectPath, applicationInterface,
                                              QStringLiteral("Open"));
        call << uris << platformData;
    }
    const QDBusMessage reply = m_bus.call(call, QDBus::Block, int(forwardTimeout.count()));
    if (reply.type() == QDBusMessage::ReplyMessage)
        return true;
    qWarning("tonbrook: the running Tonbrook did not take the request (%s); starting another",
             qPrintable(reply.errorMessage()));
    return false;
}

void ApplicationService::setWindowProvider(std::function<QWindow *()> provider)
{
    m_windowProvider = std::move(provider);
}

void ApplicationService::quitUnlessRequestedWithin(std::chrono::milliseconds wait)
{
    QTimer::singleShot(wait, this, [this] {
        if (!m_requested)
            QCoreApplication::quit();
    });
}

void ApplicationService::Activate(const QVariantMap &platformData)
{
    presentWindow(platformData);
}

void ApplicationService::Open(const QStringList &uris, const QVariantMap &platformData)
{
    QList<QUrl> files;
    for (const QString &uri : uris) {
        QUrl file(uri);
        // Some launchers pass plain absolute paths.
        if (file.isRelative() && QDir::isAbsolutePath(uri))
            file = QUrl::fromLocalFile(uri);
        files << file;
    }
    // The window listens for the notice, so it exists first.
    if (presentWindow(platformData) && !files.isEmpty())
        ShellNotices::instance()->postOpenFiles(files);
}

void ApplicationService::ActivateAction(const QString &actionName, const QVariantList &,
                                        const QVariantMap &platformData)
{
    if (actionName == QLatin1String("open-videos")) {
        if (presentWindow(platformData))
            ShellNotices::instance()->postOpenVideoFiles();
    } else if (actionName == QLatin1String("quit")) {
        m_requested = true;
        // After this call's reply has gone; closing the window is what File > Quit does.
        QTimer::singleShot(0, this, [this] {
            if (m_window)
                m_window->close();
            else
                QCoreApplication::quit();
        });
    } else if (calledFromDBus()) {
        sendErrorReply(QDBusError::InvalidArgs,
                       QStringLiteral("Tonbrook has no action \"%1\"").arg(actionName));
    }
}

QWindow *ApplicationService::presentWindow(const QVariantMap &platformData)
{
    m_requested = true;
    if (!m_window && m_windowProvider)
        m_window = m_windowProvider();
    if (!m_window)
        return nullptr;
    const QString token = platformData.value(QStringLiteral("activation-token")).toString();
    // Qt's Wayland plugin activates with the token it finds in the environment.
    if (!token.isEmpty() && QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
    // Not show(), which would take a maximized window back to its normal size.
    m_window->setWindowStates(m_window->windowStates() & ~Qt::WindowMinimized);
    m_window->setVisible(true);
    m_window->raise();
    m_window->requestActivate();
    return m_window;
}

} // namespace tonbrook
