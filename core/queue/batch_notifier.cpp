#include "queue/batch_notifier.h"

#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

#include <canberra.h>

namespace tonbrook {

namespace {

const QString notificationsService = QStringLiteral("org.freedesktop.Notifications");
const QString notificationsPath = QStringLiteral("/org/freedesktop/Notifications");

} // namespace

// One libcanberra context, opened on first use and kept so playback can outlive the call.
struct DesktopBatchNotifier::Sound {
    ~Sound()
    {
        if (context)
            ca_context_destroy(context);
    }

    ca_context *context = nullptr;
    bool unavailable = false;
};

DesktopBatchNotifier::DesktopBatchNotifier(QDBusConnection bus)
    : m_bus(std::move(bus)), m_sound(std::make_unique<Sound>())
{
}

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
    if (m_sound->unavailable)
        return;
    if (!m_sound->context) {
        if (ca_context_create(&m_sound->context) != CA_SUCCESS) {
            m_sound->context = nullptr;
            m_sound->unavailable = true;
            return;
        }
        ca_context_change_props(m_sound->context, CA_PROP_APPLICATION_NAME, applicationName,
                                nullptr);
    }
    // Asynchronous: libcanberra plays on its own and reports nothing we act on.
    ca_context_play(m_sound->context, 0, CA_PROP_EVENT_ID, soundEventId, CA_PROP_EVENT_DESCRIPTION,
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
