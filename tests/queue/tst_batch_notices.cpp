// End-of-batch notices through a private D-Bus session bus and a stand-in notification service.
#include "queue/batch_notifier.h"
#include "queue/conversion_queue.h"

#include "queue_test_support.h"
#include "support/testtools.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace tonbrook;

namespace {

constexpr int longWaitMs = 120000;
const QString fakeConnectionName = QStringLiteral("fake-notification-service");

QUrl url(const QString &path)
{
    return QUrl::fromLocalFile(path);
}

} // namespace

// Records what Notify receives, as a desktop's notification daemon would be called.
class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Call {
        QString appName;
        uint replacesId = 0;
        QString summary;
        QString body;
        int expireTimeout = 0;
    };
    QList<Call> calls;

public slots:
    uint Notify(const QString &appName, uint replacesId, const QString &appIcon,
                const QString &summary, const QString &body, const QStringList &actions,
                const QVariantMap &hints, int expireTimeout)
    {
        Q_UNUSED(appIcon);
        Q_UNUSED(actions);
        Q_UNUSED(hints);
        calls.append({appName, replacesId, summary, body, expireTimeout});
        return uint(calls.size());
    }
};

class TestBatchNotices : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void notificationAfterRealBatches();
    void nothingPostedWhenNothingCompletedOrBothOff();
    void withoutServiceOrBusNothingFails();
    void soundIsTheThemesCompleteEvent();

private:
    // Runs one batch over the queue's jobs and waits for its end and for stray messages.
    bool runBatch(ConversionQueue &queue);

    // Holds an ALSA configuration whose default device writes what it plays to a file.
    QTemporaryDir m_soundDir;
    QString m_played;
    QProcess m_bus;
    QString m_address;
    FakeNotifications m_service;
    QString m_clip;
    QString m_videoOnly;
};

void TestBatchNotices::initTestCase()
{
    m_clip = queuetest::shortClip();
    m_videoOnly = queuetest::videoOnly();
    QVERIFY(!m_clip.isEmpty() && !m_videoOnly.isEmpty());

    // The sound goes to a file instead of a sound card, so the test can hear it.
    QVERIFY(m_soundDir.isValid());
    m_played = m_soundDir.filePath("played.raw");
    QFile alsa(m_soundDir.filePath("asound.conf"));
    QVERIFY(alsa.open(QIODevice::WriteOnly | QIODevice::Text));
    alsa.write(QStringLiteral("pcm.!default { type file slave.pcm \"sink\" file \"%1\" "
                              "format \"raw\" }\npcm.sink { type null }\n")
                   .arg(m_played)
                   .toUtf8());
    alsa.close();
    qputenv("ALSA_CONFIG_PATH", QFile::encodeName(alsa.fileName()));

    m_bus.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
    QVERIFY2(m_bus.waitForStarted(10000), "dbus-daemon did not start");
    QVERIFY(QTest::qWaitFor([&] { return m_bus.canReadLine(); }, 10000) ||
            m_bus.waitForReadyRead(10000));
    m_address = QString::fromUtf8(m_bus.readLine()).trimmed();
    QVERIFY(!m_address.isEmpty());
    // Before anything asks for the session bus, so the application's own connection uses it.
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());

    QDBusConnection service = QDBusConnection::connectToBus(m_address, fakeConnectionName);
    QVERIFY(service.isConnected());
    QVERIFY(service.registerObject("/org/freedesktop/Notifications", &m_service,
                                   QDBusConnection::ExportAllSlots));
    QVERIFY(service.registerService("org.freedesktop.Notifications"));
    QVERIFY(QDBusConnection::sessionBus().isConnected());
}

void TestBatchNotices::cleanupTestCase()
{
    QDBusConnection::disconnectFromBus(fakeConnectionName);
    m_bus.terminate();
    if (!m_bus.waitForFinished(5000))
        m_bus.kill();
}

void TestBatchNotices::init()
{
    m_service.calls.clear();
}

bool TestBatchNotices::runBatch(ConversionQueue &queue)
{
    const bool inspected = QTest::qWaitFor(
        [&] {
            for (const ConversionJob *job : queue.jobs()) {
                if (job->status().is(JobStatus::Case::inspecting))
                    return false;
            }
            return true;
        },
        longWaitMs);
    if (!inspected)
        return false;
    queue.startBatch();
    if (!QTest::qWaitFor([&] { return !queue.isProcessing(); }, longWaitMs))
        return false;
    // A notification is a message on the bus: give it time to arrive (or not).
    QTest::qWait(500);
    return true;
}

void TestBatchNotices::notificationAfterRealBatches()
{
    QTemporaryDir dir;
    QVERIFY(queuetest::copyTo(m_clip, dir.filePath("a.mp4")));
    QVERIFY(queuetest::copyTo(m_clip, dir.filePath("b.mp4")));
    QVERIFY(queuetest::copyTo(m_clip, dir.filePath("c.mp4")));

    ConversionQueue queue; // the desktop notifier on the session bus
    queue.addFiles({url(dir.filePath("a.mp4"))});
    QVERIFY(runBatch(queue));
    QCOMPARE(queue.completedCount(), 1);
    QCOMPARE(m_service.calls.size(), 1);
    const FakeNotifications::Call first = m_service.calls.first();
    QCOMPARE(first.appName, QString("Tonbrook"));
    QCOMPARE(first.summary, QString("Audio Extraction Complete"));
    QCOMPARE(first.body, QString("Successfully extracted 1 audio file to MP3."));
    QCOMPARE(first.replacesId, 0u);
    QCOMPARE(first.expireTimeout, -1);

    // A second batch counts the first batch's job too.
    queue.addFiles({url(dir.filePath("b.mp4")), url(dir.filePath("c.mp4"))});
    QVERIFY(runBatch(queue));
    QCOMPARE(m_service.calls.size(), 2);
    QCOMPARE(m_service.calls.last().body, QString("Successfully extracted 3 audio files to MP3."));
}

void TestBatchNotices::nothingPostedWhenNothingCompletedOrBothOff()
{
    QTemporaryDir dir;
    QVERIFY(queuetest::copyTo(m_videoOnly, dir.filePath("silent.mp4")));
    QVERIFY(queuetest::copyTo(m_clip, dir.filePath("a.mp4")));

    ConversionQueue queue;
    // Only a failing job: no notification.
    queue.addFiles({url(dir.filePath("silent.mp4"))});
    QVERIFY(runBatch(queue));
    QCOMPARE(queue.jobs().first()->status().caseValue(), JobStatus::Case::failed);
    QCOMPARE(m_service.calls.size(), 0);

    // Both preferences off: a completed job and still nothing.
    queue.setPlaySoundOnFinish(false);
    queue.setSendNotificationOnFinish(false);
    queue.addFiles({url(dir.filePath("a.mp4"))});
    QVERIFY(runBatch(queue));
    QCOMPARE(queue.completedCount(), 1);
    QCOMPARE(m_service.calls.size(), 0);
}

void TestBatchNotices::withoutServiceOrBusNothingFails()
{
    // The service gone from the bus: the post fails quietly.
    QDBusConnection service(fakeConnectionName);
    QVERIFY(service.unregisterService("org.freedesktop.Notifications"));
    DesktopBatchNotifier onBus;
    onBus.requestPermission();
    onBus.postNotification("Audio Extraction Complete", "x");
    onBus.playCompletionSound();

    // No bus at all.
    DesktopBatchNotifier offBus(QDBusConnection(QStringLiteral("never-connected")));
    offBus.requestPermission();
    offBus.postNotification("Audio Extraction Complete", "x");
    offBus.playCompletionSound();
    offBus.playCompletionSound();
    QTest::qWait(300);
    QCOMPARE(m_service.calls.size(), 0);
    QVERIFY(service.registerService("org.freedesktop.Notifications"));
}

void TestBatchNotices::soundIsTheThemesCompleteEvent()
{
    const QString theme = "/usr/share/sounds/freedesktop/stereo/complete.oga";
    if (!QFileInfo::exists(theme))
        QSKIP("sound-theme-freedesktop is not installed");
    const qsizetype expected =
        testtools::run(testtools::ffmpegPath(), {"-v", "error", "-i", theme, "-f", "s16le", "-"})
            .out.size();
    QVERIFY(expected > 0);

    // An empty batch ends at its first pass and still plays the sound.
    ConversionQueue queue;
    queue.setSendNotificationOnFinish(false);
    QFile::remove(m_played);
    queue.startBatch();
    QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(m_played).size(), qint64(expected), 10000);
    QCOMPARE(m_service.calls.size(), 0);

    QFile::remove(m_played);
    queue.setPlaySoundOnFinish(false);
    queue.startBatch();
    QTRY_VERIFY(!queue.isProcessing());
    QTest::qWait(1500);
    QVERIFY(!QFileInfo::exists(m_played));
}

QTEST_GUILESS_MAIN(TestBatchNotices)
#include "tst_batch_notices.moc"
