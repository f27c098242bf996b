#pragma once

#include <QDBusConnection>
#include <QString>

#include <memory>

namespace tonbrook {

// Where the queue's end-of-batch notices go. Called on the main thread; fire and forget.
class BatchNotifier {
public:
    virtual ~BatchNotifier() = default;

    // Once, when the queue is created; the answer is not used.
    virtual void requestPermission() = 0;
    // The alert sound of a finished batch.
    virtual void playCompletionSound() = 0;
    // A desktop notification delivered at once.
    virtual void postNotification(const QString &title, const QString &body) = 0;
};

// The desktop's services: org.freedesktop.Notifications on the session bus and the sound
// theme's "complete" event. Without a bus, a notification service or a sound device, nothing
// is shown or heard and nothing fails.
class DesktopBatchNotifier : public BatchNotifier {
public:
    static constexpr const char *applicationName = "Tonbrook";
    static constexpr const char *soundEventId = "complete";

    explicit DesktopBatchNotifier(QDBusConnection bus = QDBusConnection::sessionBus());
    ~DesktopBatchNotifier() override;

    void requestPermission() override;
    void playCompletionSound() override;
    void postNotification(const QString &title, const QString &body) override;

private:
    QDBusConnection m_bus;
};

} // namespace tonbrook
