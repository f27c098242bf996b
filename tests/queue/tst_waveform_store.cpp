// The background store of envelopes: what it hands out equals a direct computation, from
// memory and from disk alike; urgent files go first, and only they while background work is
// held; a forgotten file stops at once, and a queue has its inspected jobs drawn and their
// work dropped with them.
#include "model/cover_art.h"
#include "queue/conversion_queue.h"
#include "queue/waveform_store.h"
#include "support/test_media.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace tonbrook;

class TestWaveformStore : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void madeOnceKeptOnDisk();
    void urgentGoesFirst();
    void forgottenFileStops();
    void detailGoesAhead();
    void heldBackgroundWaits();
    void queueDrawsAndDropsItsJobs();

private:
    QStringList m_clips; // one second each, a tone of a different pitch each
    QString m_long;      // ten minutes
};

void TestWaveformStore::initTestCase()
{
    for (int i = 0; i < 12; ++i) {
        m_clips << testmedia::make(QStringLiteral("waveform-store-%1.mka").arg(i),
                                   {"-f", "lavfi", "-i",
                                    QStringLiteral("sine=f=%1:r=22050:d=1").arg(200 + 50 * i),
                                    "-c:a", "flac"});
        QVERIFY(!m_clips.back().isEmpty());
    }
    m_long = testmedia::make("waveform-store-long.m4a",
                             {"-f", "lavfi", "-i", "anoisesrc=r=48000:a=0.3:d=600", "-ac", "2",
                              "-c:a", "aac", "-b:a", "96k"});
    QVERIFY(!m_long.isEmpty());
}

void TestWaveformStore::cleanupTestCase()
{
    endCacheSession();
}

void TestWaveformStore::madeOnceKeptOnDisk()
{
    WaveformStore store;
    QSignalSpy ready(&store, &WaveformStore::envelopeReady);
    for (const QString &clip : std::as_const(m_clips))
        QVERIFY(!store.envelope(clip, 0, 1.0, false));
    QTRY_COMPARE_WITH_TIMEOUT(ready.size(), m_clips.size(), 20000);
    QVERIFY(store.isIdle());

    // More than stay in memory: the first ones come back from disk, equal to a direct run.
    for (const QString &clip : std::as_const(m_clips)) {
        const auto asset = openMediaAsset(clip);
        const auto direct = computeWaveform(*asset, asset->loadTracks(MediaType::audio).front(),
                                            0.0, 1.0, overviewWaveformBuckets);
        const std::optional<WaveformEnvelope> stored = store.envelope(clip, 0, 1.0, false);
        QVERIFY(stored && direct);
        QVERIFY2(*stored == *direct, qPrintable(clip));
    }
    QVERIFY(store.isIdle());
    QCOMPARE(ready.size(), m_clips.size());

    // A track the file lacks gives a flat envelope with the reason, not a wait.
    QVERIFY(!store.envelope(m_clips[0], 3, 1.0, false));
    QTRY_COMPARE(ready.size(), m_clips.size() + 1);
    const auto missing = store.envelope(m_clips[0], 3, 1.0, false);
    QVERIFY(missing && !missing->problem.isEmpty());
    // Pushed out of memory and read back from disk, it keeps its reason in both languages.
    for (const QString &clip : std::as_const(m_clips))
        QVERIFY(store.envelope(clip, 0, 1.0, false));
    QVERIFY(store.envelope(m_clips[0], 3, 1.0, false) == missing);
}

void TestWaveformStore::urgentGoesFirst()
{
    WaveformStore store;
    QSignalSpy ready(&store, &WaveformStore::envelopeReady);
    // Queued behind a long file, so that the order is the store's, not the worker's pace.
    QVERIFY(!store.envelope(m_long, 0, 600.0, false));
    for (int i = 0; i < 6; ++i)
        QVERIFY(!store.envelope(m_clips[i], 0, 1.0, false));
    QVERIFY(!store.envelope(m_clips[6], 0, 1.0, true));
    QTRY_COMPARE_WITH_TIMEOUT(ready.size(), 8, 60000);
    QStringList order;
    for (const QList<QVariant> &signal : std::as_const(ready))
        order << signal.at(0).toString();
    // The long file may or may not have started first; the urgent clip passes all the others,
    // which keep their order.
    order.removeOne(m_long);
    QCOMPARE(order, QStringList{m_clips[6]} + m_clips.mid(0, 6));
}

void TestWaveformStore::forgottenFileStops()
{
    WaveformStore store;
    QSignalSpy ready(&store, &WaveformStore::envelopeReady);
    // How long the whole envelope takes, then the same file forgotten a moment in.
    QElapsedTimer whole;
    whole.start();
    QVERIFY(!store.envelope(m_long, 0, 600.0, false));
    QTRY_COMPARE_WITH_TIMEOUT(ready.size(), 1, 60000);
    const qint64 wholeMs = whole.elapsed();
    store.forget(m_long);
    QVERIFY(!store.envelope(m_long, 0, 600.0, false)); // forgotten: made again

    // A moment in, well before it could be done even on a quiet machine.
    QTest::qWait(20);
    QElapsedTimer stopping;
    stopping.start();
    store.forget(m_long);
    QTRY_VERIFY_WITH_TIMEOUT(store.isIdle(), 60000);
    QVERIFY2(
        stopping.elapsed() < wholeMs / 2,
        qPrintable(
            QStringLiteral("%1 ms to stop, %2 ms for all").arg(stopping.elapsed()).arg(wholeMs)));
    QTest::qWait(50);
    QCOMPARE(ready.size(), 1);
}

void TestWaveformStore::heldBackgroundWaits()
{
    WaveformStore store;
    QSignalSpy ready(&store, &WaveformStore::envelopeReady);
    store.holdBackground(std::chrono::hours(1));
    QVERIFY(!store.envelope(m_clips[0], 0, 1.0, false));
    QVERIFY(!store.envelope(m_clips[1], 0, 1.0, false));
    QVERIFY(!store.envelope(m_clips[2], 0, 1.0, true));
    // Asked for urgently later, a held one goes at once too.
    QTRY_COMPARE_WITH_TIMEOUT(ready.size(), 1, 20000);
    QVERIFY(!store.envelope(m_clips[1], 0, 1.0, true));
    QTRY_COMPARE_WITH_TIMEOUT(ready.size(), 2, 20000);
    QTest::qWait(200);
    QCOMPARE(ready.size(), 2);
    QCOMPARE(ready.at(0).at(0).toString(), m_clips[2]);
    QCOMPARE(ready.at(1).at(0).toString(), m_clips[1]);

    // The hold over, the rest follows.
    store.holdBackground(std::chrono::milliseconds(0));
    QTRY_COMPARE_WITH_TIMEOUT(ready.size(), 3, 20000);
    QCOMPARE(ready.at(2).at(0).toString(), m_clips[0]);
}

void TestWaveformStore::detailGoesAhead()
{
    WaveformStore store;
    QSignalSpy ready(&store, &WaveformStore::envelopeReady);
    QSignalSpy detailed(&store, &WaveformStore::detailReady);
    QVERIFY(!store.envelope(m_long, 0, 600.0, false));
    QTest::qWait(100);
    // A zoomed view's stretch passes the long overview under way, which then starts again.
    QVERIFY(!store.detail(m_clips[11], 0, 0.25, 0.75, 500));
    QTRY_COMPARE_WITH_TIMEOUT(detailed.size(), 1, 30000);
    QCOMPARE(ready.size(), 0);
    const auto asset = openMediaAsset(m_clips[11]);
    const auto direct =
        computeWaveform(*asset, asset->loadTracks(MediaType::audio).front(), 0.25, 0.75, 500);
    const std::optional<WaveformEnvelope> detail = store.detail(m_clips[11], 0, 0.25, 0.75, 500);
    QVERIFY(detail && direct);
    QVERIFY(*detail == *direct);
    QTRY_COMPARE_WITH_TIMEOUT(ready.size(), 1, 60000);
    QVERIFY(store.envelope(m_long, 0, 600.0, false));
}

void TestWaveformStore::queueDrawsAndDropsItsJobs()
{
    // The queue takes video files; the same audio in Matroska.
    const auto remux = [](const QString &from, const QString &name) {
        return testmedia::make(name, {"-i", from, "-c", "copy"});
    };
    const QString clip = remux(m_clips[0], "waveform-store-clip.mkv");
    const QString longFile = remux(m_long, "waveform-store-long.mkv");
    QVERIFY(!clip.isEmpty() && !longFile.isEmpty());

    WaveformStore store;
    ConversionQueue queue(nullptr);
    queue.setWaveformStore(&store);
    QSignalSpy ready(&store, &WaveformStore::envelopeReady);
    // Each inspected job is drawn without being asked for.
    queue.addFiles({QUrl::fromLocalFile(clip)});
    QTRY_COMPARE_WITH_TIMEOUT(ready.size(), 1, 30000);
    QCOMPARE(ready.at(0).at(0).toString(), clip);
    // The long one is inspected in a moment and takes a while to draw.
    queue.addFiles({QUrl::fromLocalFile(longFile)});
    ConversionJob *longJob = queue.jobs().at(1);
    QTRY_VERIFY_WITH_TIMEOUT(longJob->fileInfo().has_value(), 30000);
    QVERIFY(!store.isIdle());

    // Removed while its envelope is being made: the work stops and nothing arrives.
    queue.removeJob(longJob);
    QTRY_VERIFY_WITH_TIMEOUT(store.isIdle(), 5000);
    QTest::qWait(100);
    for (const QList<QVariant> &signal : std::as_const(ready))
        QCOMPARE_NE(signal.at(0).toString(), longFile);
}

QTEST_GUILESS_MAIN(TestWaveformStore)
#include "tst_waveform_store.moc"
