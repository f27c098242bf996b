#include "queue/batch_notifier.h"

#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

#include <canberra.h>

namespace tonbrook {

namespace {

const QString notificationsService = QStringLiteral("org.freedesktop.Notifications");
const QString notificationsPath = QStringLiteral("/org/freedesktop/Notifications");

// One libcanberra context for the whole process, opened on first use and never destroyed:
// playback runs on libcanberra's own threads and may outlive any notifier, and destroying the
// context under a playing sound unloads the backend beneath that thread.
ca_context *sharedSoundContext(const char *applicationName)
{
    static ca_context *const shared = [applicationName] {
        ca_context *created = nullptr;
        if (ca_context_create(&created) != CA_SUCCESS)
            return static_cast<ca_context *>(nullptr);
        ca_context_change_props(created, CA_PROP_APPLICATION_NAME, applicationName, nullptr);
        return created;
    }();
    return shared;
}

} // namespace

DesktopBatchNotifier::DesktopBatchNotifier(QDBusConnection bus) : m_bus(std::move(bus)) {}

DesktopBatchNotifier::~DesktopBatchNotifier() = default;

void DesktopBatchNotifier::requestPermission()
{
    // Linux asks no permission; the nearest thing is learning whether a service is there.
    if (!m_bus.isConnected())
        return;
    QDBusMessage query = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    query << notificationsService;
    m_bus.send(query);
}

void DesktopBatchNotifier::playCompletionSound()
{
    ca_context *context = sharedSoundContext(applicationName);
    if (!context)
        return;
    // Asynchronous: libcanberra plays on its own and reports nothing we act on.
    ca_context_play(context, 0, CA_PROP_EVENT_ID, soundEventId, CA_PROP_EVENT_DESCRIPTION,
                    "Audio extraction complete", nullptr);
}

void DesktopBatchNotifier::postNotification(const QString &title, const QString &body)
{
    if (!m_bus.isConnected())
        return;
    QDBusMessage notify = QDBusMessage::createMethodCall(
        notificationsService, notificationsPath, notificationsService, QStringLiteral("Notify"));
    // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout
    notify << QString::fromLatin1(applicationName) << uint(0) << QString() << title << body
           << QStringList() << QVariantMap() << int(-1);
    // The reply (the notification's number) is of no use; a failure is ignored.
    m_bus.send(notify);
}

} // namespace tonbrook
