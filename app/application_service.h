#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

#include <chrono>
#include <functional>

class QWindow;

namespace tonbrook {

// One Tonbrook per desktop session. The first process owns io.github.tonbrook.Tonbrook on the
// session bus and serves org.freedesktop.Application at /io/github/tonbrook/Tonbrook, which is
// also how desktops start it (DBusActivatable=true in the desktop entry). A later launch hands
// its files to that process and ends. Without a session bus every process runs alone.
class ApplicationService : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    // How this process goes on after claim().
    enum class Role {
        Primary,   // owns the name and serves requests
        Alone,     // no bus, or the owner did not answer: runs on its own as it always could
        Forwarded, // the owner took the request: this process ends
    };

    static const QString serviceName; // io.github.tonbrook.Tonbrook
    static const QString objectPath;  // /io/github/tonbrook/Tonbrook
    // The bus starts the program with this flag (the installed D-Bus service file): no window
    // until a request asks for one.
    static const QString serviceFlag; // --dbus-service
    // How long start-up waits for the bus to give the name, and a second launch for the
    // owner's answer, before running alone.
    static constexpr std::chrono::milliseconds claimTimeout{3000};
    static constexpr std::chrono::milliseconds forwardTimeout{10000};

    explicit ApplicationService(QObject *parent = nullptr);
    // For tests: another bus, such as a private one.
    explicit ApplicationService(const QDBusConnection &bus, QObject *parent = nullptr);

    // Removes the service flag from the arguments; whether it was there.
    static bool takeServiceFlag(QStringList &arguments);

    // Tries to own the name (without queueing for it). When another process owns it, calls
    // Open on it with the arguments as file URIs, or Activate without arguments, and waits
    // for the answer within forwardTimeout.
    Role claim(const QStringList &fileArguments);

    // Every request first asks the provider for the main window; the provider creates it on
    // first use. A null window (it could not be created) leaves the request unserved.
    void setWindowProvider(std::function<QWindow *()> provider);
    // Started by the bus as a service: quits if nothing asked for the window in that time,
    // as when the bus was only asked whether the name exists.
    void quitUnlessRequestedWithin(std::chrono::milliseconds wait);

public slots:
    // org.freedesktop.Application: a launch without files raises the window.
    Q_SCRIPTABLE void Activate(const QVariantMap &platformData);
    // Queues the files in the order given, as files on the command line are, and raises the
    // window. URIs other than local files are left to the queue, which skips them.
    Q_SCRIPTABLE void Open(const QStringList &uris, const QVariantMap &platformData);
    // "open-videos" shows the Open Videos picker; "quit" closes the window as File > Quit
    // does. Any other name is an InvalidArgs error.
    Q_SCRIPTABLE void ActivateAction(const QString &actionName, const QVariantList &parameter,
                                     const QVariantMap &platformData);

private:
    // The window, created if needed, shown, raised and asked for input focus.
    QWindow *presentWindow(const QVariantMap &platformData);
    // Calls Open or Activate on the owner of the name; whether it answered.
    bool forward(const QStringList &fileArguments);

    QDBusConnection m_bus;
    bool m_requested = false;
    std::function<QWindow *()> m_windowProvider;
    QPointer<QWindow> m_window;
};

} // namespace tonbrook
