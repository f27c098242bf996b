// One job started and cancelled many times at random moments, then run to the end: every
// round settles on the state set last, and nothing is left behind or leaked. A short clip
// runs on one encoder; a minute-long file is split over two.
#include "reliability_support.h"

#include "../queue/queue_test_support.h"
#include "support/test_media.h"
#include "support/testtools.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QThreadPool>

using namespace tonbrook;
using namespace reliability;
using namespace Qt::StringLiterals;

namespace {

constexpr int settleTimeoutMs = 30000;

// The names of this process's threads, so a thread left running says what it is.
QStringList threadNames()
{
    QStringList names;
    const QStringList tasks =
        QDir(QStringLiteral("/proc/self/task")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    for (const QString &task : tasks) {
        QFile comm(u"/proc/self/task/"_s + task + u"/comm"_s);
        if (comm.open(QIODevice::ReadOnly))
            names << QString::fromUtf8(comm.readAll().trimmed());
    }
    names.sort();
    return names;
}

// What each open descriptor points at, so a leak names its file. A thread's event dispatcher
// holds an eventfd that comes and goes with pooled threads; threads are counted on their own.
QStringList openFiles()
{
    QStringList targets;
    const QFileInfoList fds = QDir(QStringLiteral("/proc/self/fd"))
                                  .entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot);
    for (const QFileInfo &fd : fds) {
        if (const QString target = fd.symLinkTarget(); !target.endsWith(u"[eventfd]"))
            targets << target;
    }
    targets.sort();
    return targets;
}

// Spins without running the event loop, so the worker's reports queue up meanwhile.
void spinMicroseconds(qint64 us)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.nsecsElapsed() < us * 1000)
        QThread::yieldCurrentThread();
}

bool settled(const ConversionJob *job)
{
    return QTest::qWaitFor(
        [job] {
            return !job->isExtractionRunning() && !job->status().is(JobStatus::Case::inspecting) &&
                   !job->status().is(JobStatus::Case::converting);
        },
        settleTimeoutMs);
}

} // namespace

class TestReliabilityCancelStorm : public QObject {
    Q_OBJECT

private slots:
    void stormThenComplete_data();
    void stormThenComplete();
};

void TestReliabilityCancelStorm::stormThenComplete_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<double>("seconds");
    QTest::addColumn<int>("rounds");
    QTest::newRow("2 s clip, one encoder") << queuetest::shortClip() << 2.0 << 200;
    QTest::newRow("60 s file, two encoders") << queuetest::mediumAudio() << 60.0 << 30;
}

void TestReliabilityCancelStorm::stormThenComplete()
{
    QFETCH(QString, source);
    QFETCH(double, seconds);
    QFETCH(int, rounds);
    QVERIFY(!source.isEmpty());
    QTemporaryDir dir;
    QVERIFY(queuetest::copyTo(source, dir.filePath("storm.mp4")));
    auto queue = makeQueue();
    queue->setEncoderThreadCapacity(2);
    queue->setUseSourceDirectory(false);
    queue->setCustomOutputFolder(QUrl::fromLocalFile(dir.filePath("out")));
    queue->addFiles({QUrl::fromLocalFile(dir.filePath("storm.mp4"))});
    ConversionJob *job = queue->jobs().first();
    QVERIFY(waitInspected(job, settleTimeoutMs));
    const QString mp3 = job->outputURL().toLocalFile();

    // A first full run starts every lazily made thread and cache, and times one extraction.
    QElapsedTimer clock;
    clock.start();
    job->startExtraction();
    QVERIFY(settled(job));
    const qint64 runUs = qMax<qint64>(clock.nsecsElapsed() / 1000, 1000);
    QVERIFY(job->status().is(JobStatus::Case::completed));
    QVERIFY(QFile::remove(mp3));
    ConversionJob::inspectionPool()->waitForDone();
    const QStringList fdsBefore = openFiles();
    const QStringList threadsBefore = threadNames();

    const quint32 seed = QRandomGenerator::global()->generate();
    qInfo("seed %u, one extraction %lld us", seed, runUs);
    QRandomGenerator random(seed);
    int completedRounds = 0;
    for (int round = 0; round < rounds; ++round) {
        const int moment = round % 5;
        switch (moment) {
        case 0: // during inspection
            job->inspect();
            spinMicroseconds(random.bounded(5000));
            job->cancel();
            break;
        case 1: // before the first block
            job->startExtraction();
            job->cancel();
            break;
        case 2: // mid-stream, with progress reports flowing
            job->startExtraction();
            QTest::qWait(int(random.bounded(qMax<qint64>(runUs / 1000, 1))));
            job->cancel();
            break;
        case 3: // around the end, while the finish is being written or reported
            job->startExtraction();
            spinMicroseconds(runUs * 7 / 10 + random.bounded(runUs * 6 / 10));
            job->cancel();
            break;
        case 4: // restarted before the earlier runs have ended: the last start wins
            job->startExtraction();
            spinMicroseconds(random.bounded(runUs));
            job->cancel();
            job->startExtraction();
            job->cancel();
            job->startExtraction();
            break;
        }
        QVERIFY2(settled(job), qPrintable(QString::number(round)));
        QCoreApplication::processEvents();
        const JobStatus status = job->status();
        const QString where =
            QStringLiteral("round %1 (moment %2): %3").arg(round).arg(moment).arg(status.title());
        switch (moment) {
        case 0: // an inspection that ends after the cancel reports its result
            QVERIFY2(status.is(JobStatus::Case::ready) || status.is(JobStatus::Case::cancelled),
                     qPrintable(where));
            break;
        case 4:
            QVERIFY2(status.is(JobStatus::Case::completed), qPrintable(where));
            break;
        default:
            // A run that already finished when cancel came still counts as done.
            QVERIFY2(status.is(JobStatus::Case::cancelled) || status.is(JobStatus::Case::completed),
                     qPrintable(where));
        }
        if (status.is(JobStatus::Case::completed)) {
            ++completedRounds;
            QVERIFY2(QFile::exists(mp3), qPrintable(where));
            QVERIFY2(testtools::mp3valProblems(mp3).isEmpty(), qPrintable(where));
            QVERIFY(QFile::remove(mp3));
            // A completed job cannot be restarted; begin the next round from cancelled.
            job->cancel();
        } else if (moment == 1) {
            QVERIFY2(!QFile::exists(mp3), qPrintable(where));
        } else if (QFile::exists(mp3)) {
            // Cancel also applies to a job whose run had just completed; its file is whole.
            QVERIFY2(testtools::mp3valProblems(mp3).isEmpty(), qPrintable(where));
            QVERIFY(QFile::remove(mp3));
        }
        QVERIFY2(job->errorMessage() == std::nullopt, qPrintable(where));
        QVERIFY2(partialFilesUnder(dir.path()).isEmpty(), qPrintable(where));
    }
    qInfo("%d of %d rounds ended completed", completedRounds, rounds);

    job->startExtraction();
    QVERIFY(settled(job));
    QVERIFY(job->status().is(JobStatus::Case::completed));
    QCOMPARE(job->status().outputURL().toLocalFile(), mp3);
    QVERIFY(testtools::mp3valProblems(mp3).isEmpty());
    QVERIFY(qAbs(testmedia::formatDuration(mp3) - seconds) < 0.2);
    QCOMPARE(filesUnder(dir.filePath("out")), QStringList{"storm.mp3"});

    ConversionJob::inspectionPool()->waitForDone();
    const QStringList fdsAfter = openFiles();
    QVERIFY2(fdsAfter == fdsBefore, qPrintable(u"before: "_s + fdsBefore.join(u", ") +
                                               u"\nafter: "_s + fdsAfter.join(u", ")));
    // A joined thread can take a moment more to leave the task list on a loaded machine.
    (void)QTest::qWaitFor([&] { return threadNames().size() <= threadsBefore.size(); },
                          settleTimeoutMs);
    const QStringList threadsAfter = threadNames();
    QVERIFY2(threadsAfter.size() <= threadsBefore.size(),
             qPrintable(u"before: "_s + threadsBefore.join(u", ") + u"\nafter: "_s +
                        threadsAfter.join(u", ")));
}

QTEST_GUILESS_MAIN(TestReliabilityCancelStorm)
#include "tst_reliability_cancel_storm.moc"
