// The queue on generated media with the real engine: intake, selection, batches and notices.
#include "queue/conversion_queue.h"

#include "queue_test_support.h"
#include "support/testtools.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QPointer>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>

#include <memory>

using namespace tonbrook;
using queuetest::PropertyWatch;

namespace {

constexpr int longWaitMs = 120000;

struct Notices {
    int permissionRequests = 0;
    int sounds = 0;
    QList<QPair<QString, QString>> posts;
    int batchEnds() const { return sounds; }
};

class RecordingNotifier : public BatchNotifier {
public:
    explicit RecordingNotifier(Notices &notices) : m_notices(notices) {}
    void requestPermission() override { ++m_notices.permissionRequests; }
    void playCompletionSound() override { ++m_notices.sounds; }
    void postNotification(const QString &title, const QString &body) override
    {
        m_notices.posts.append({title, body});
    }

private:
    Notices &m_notices;
};

QUrl url(const QString &path)
{
    return QUrl::fromLocalFile(path);
}

QString path(const QUrl &url)
{
    return url.toLocalFile();
}

// A queue whose notices are recorded, with its job list under the model tester.
struct Fixture {
    Notices notices;
    std::unique_ptr<ConversionQueue> queue;
    std::unique_ptr<QAbstractItemModelTester> tester;

    Fixture()
        : queue(std::make_unique<ConversionQueue>(std::make_unique<RecordingNotifier>(notices)))
    {
        tester = std::make_unique<QAbstractItemModelTester>(
            queue->jobModel(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    }

    bool allInspected() const
    {
        return QTest::qWaitFor(
            [&] {
                for (const ConversionJob *job : queue->jobs()) {
                    if (job->status().is(JobStatus::Case::inspecting))
                        return false;
                }
                return true;
            },
            longWaitMs);
    }

    bool batchEnded(int count = 1) const
    {
        return QTest::qWaitFor([&] { return notices.batchEnds() >= count; }, longWaitMs);
    }

    bool extractionsEnded() const
    {
        return QTest::qWaitFor(
            [&] {
                for (const ConversionJob *job : queue->jobs()) {
                    if (job->isExtractionRunning())
                        return false;
                }
                return true;
            },
            longWaitMs);
    }

    QStringList sources() const
    {
        QStringList list;
        for (const ConversionJob *job : queue->jobs())
            list << path(job->sourceURL());
        return list;
    }
};

} // namespace

class TestConversionQueue : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void initialValuesAndSetters();
    void folderTreeTakesVideosOnly();
    void folderWalkDropsNothingSilently();
    void duplicatesAndReAdding();
    void selectionFollowsAddRemoveAndClear();
    void overallProgressAndCounts();
    void batchHonoursTheConcurrencyLimit();
    void encoderThreadsAreShared_data();
    void encoderThreadsAreShared();
    void folderChosenAfterAddingIsUsedByTheBatch();
    void cancelAllEndsTheBatchOnce();
    void outputNamesNeverCollide();
    void filesTonbrookDidNotWriteAreKept_data();
    void filesTonbrookDidNotWriteAreKept();
    void freedNamesAreNumberedAgain_data();
    void freedNamesAreNumberedAgain();
    void removedRunningJobLivesUntilItsExtractionEnds();
    void zeroLimitPollsUntilCancelled();

private:
    QString m_clip;
    QString m_medium;
    QString m_long;
};

void TestConversionQueue::initTestCase()
{
    m_clip = queuetest::shortClip();
    m_medium = queuetest::mediumAudio();
    m_long = queuetest::longAudio();
    QVERIFY(!m_clip.isEmpty() && !m_medium.isEmpty() && !m_long.isEmpty());
}

void TestConversionQueue::initialValuesAndSetters()
{
    Fixture f;
    ConversionQueue &queue = *f.queue;
    QCOMPARE(f.notices.permissionRequests, 1);
    QVERIFY(queue.jobs().isEmpty());
    QVERIFY(!queue.isProcessing());
    QVERIFY(queue.selectedJobId().isNull());
    QCOMPARE(queue.defaultSettings(), AudioExtractionSettings{});
    QCOMPARE(queue.defaultSettings().bitrate, BitrateOption::cbr320);
    QVERIFY(queue.customOutputFolder().isEmpty());
    QVERIFY(queue.useSourceDirectory());
    QVERIFY(queue.playSoundOnFinish() && queue.sendNotificationOnFinish());
    QCOMPARE(queue.concurrentLimit(), 2);
    QCOMPARE(queue.pendingCount() + queue.activeCount() + queue.completedCount(), 0);
    QCOMPARE(queue.overallProgress(), 0.0);

    PropertyWatch watch(&queue);
    AudioExtractionSettings settings;
    settings.bitrate = BitrateOption::vbr0;
    queue.setDefaultSettings(settings);
    queue.setCustomOutputFolder(url("/tmp/out"));
    queue.setUseSourceDirectory(false);
    queue.setPlaySoundOnFinish(false);
    queue.setSendNotificationOnFinish(false);
    queue.setConcurrentLimit(8);
    queue.setSelectedJobId(QUuid::createUuid());
    QStringList problems = watch.check();
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join("; ")));
    // Writing the same values again is silent.
    queue.setDefaultSettings(settings);
    queue.setConcurrentLimit(8);
    queue.setUseSourceDirectory(false);
    for (const char *name :
         {"defaultSettings", "customOutputFolder", "useSourceDirectory", "playSoundOnFinish",
          "sendNotificationOnFinish", "concurrentLimit", "selectedJobId"})
        QVERIFY2(watch.emissions(name) == 1, name);

    // A new job copies the defaults of the moment.
    QTemporaryDir dir;
    QVERIFY(queuetest::copyTo(m_clip, dir.filePath("a.mp4")));
    queue.addFiles({url(dir.filePath("a.mp4"))});
    QCOMPARE(queue.jobs().size(), 1);
    QCOMPARE(queue.jobs().first()->settings(), settings);
    QCOMPARE(queue.jobs().first()->outputURL(), url("/tmp/out/a.mp3"));
    queue.setDefaultSettings(AudioExtractionSettings{});
    QCOMPARE(queue.jobs().first()->settings(), settings);
    QVERIFY(f.allInspected());
    problems = watch.check();
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join("; ")));
}

void TestConversionQueue::folderTreeTakesVideosOnly()
{
    QTemporaryDir dir;
    QVERIFY(queuetest::copyTo(m_clip, dir.filePath("clip.MOV")));
    QVERIFY(queuetest::copyTo(m_clip, dir.filePath(".hidden.mp4")));
    QVERIFY(queuetest::copyTo(m_clip, dir.filePath("sub/clip2.mkv")));
    QVERIFY(queuetest::copyTo(m_clip, dir.filePath(".secret/inside.mp4")));
    QVERIFY(queuetest::copyTo(m_clip, dir.filePath("sub/deeper/song.MP3")));
    QFile notes(dir.filePath("notes.txt"));
    QVERIFY(notes.open(QIODevice::WriteOnly));
    notes.close();

    Fixture f;
    PropertyWatch watch(f.queue.get());
    // The folder given with a trailing slash, plus things that must be skipped.
    f.queue->addFiles({url(dir.path() + "/"), url(dir.filePath("missing.mp4")),
                       url(dir.filePath("notes.txt")), QUrl("https://example.com/a.mp4")});
    const QStringList sources = f.sources();
    QCOMPARE(QSet<QString>(sources.begin(), sources.end()),
             (QSet<QString>{dir.filePath("clip.MOV"), dir.filePath("sub/clip2.mkv")}));
    QCOMPARE(f.queue->jobModel()->rowCount(), 2);
    QCOMPARE(watch.emissions("jobs"), 1);

    // A hidden file named directly is taken.
    f.queue->addFiles({url(dir.filePath(".hidden.mp4"))});
    QCOMPARE(f.sources().last(), dir.filePath(".hidden.mp4"));

    QVERIFY(f.allInspected());
    for (const ConversionJob *job : f.queue->jobs())
        QCOMPARE(job->status(), JobStatus::ready());
    QCOMPARE(f.queue->pendingCount(), 3);
    const QStringList problems = watch.check();
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join("; ")));
}

// A name that is not valid UTF-8 becomes a job that fails visibly; a folder named like a video
// is no job at all.
void TestConversionQueue::folderWalkDropsNothingSilently()
{
    QTemporaryDir dir;
    QVERIFY(queuetest::copyTo(m_clip, dir.filePath("good.mp4")));
    QVERIFY(QDir(dir.path()).mkpath("folder.mp4"));
    const std::string rawName = QFile::encodeName(dir.path()).toStdString() + "/bad\xff\xfe.mp4";
    std::filesystem::copy_file(QFile::encodeName(m_clip).toStdString(), rawName);

    Fixture f;
    f.queue->addFiles({url(dir.path())});
    QCOMPARE(f.queue->jobs().size(), 2);
    QVERIFY(f.allInspected());
    QStringList outcomes;
    for (const ConversionJob *job : f.queue->jobs())
        outcomes << job->status().title();
    outcomes.sort();
    QCOMPARE(outcomes, (QStringList{"Failed", "Ready"}));
}

void TestConversionQueue::duplicatesAndReAdding()
{
    QTemporaryDir dir;
    const QString clip = dir.filePath("clip.mp4");
    QVERIFY(queuetest::copyTo(m_clip, clip));
    Fixture f;
    ConversionQueue &queue = *f.queue;

    // Twice in one call, and once more through its folder.
    queue.addFiles({url(clip), url(clip), url(dir.path())});
    QCOMPARE(queue.jobs().size(), 1);
    QVERIFY(f.allInspected());
    queue.addFiles({url(clip)});
    QCOMPARE(queue.jobs().size(), 1);

    // Converting still blocks; completed does not.
    ConversionJob *first = queue.jobs().first();
    first->startExtraction();
    queue.addFiles({url(clip)});
    QCOMPARE(queue.jobs().size(), 1);
    QVERIFY(f.extractionsEnded());
    QCOMPARE(first->status().caseValue(), JobStatus::Case::completed);
    queue.addFiles({url(clip)});
    QCOMPARE(queue.jobs().size(), 2);

    // Cancelled and failed jobs do not block either.
    QVERIFY(f.allInspected());
    queue.jobs().last()->cancel();
    queue.addFiles({url(clip)});
    QCOMPARE(queue.jobs().size(), 3);
    QVERIFY(f.allInspected());
    ConversionJob *third = queue.jobs().last();
    third->setOutputURL(url(dir.filePath("clip.mp4/cannot.mp3")));
    third->startExtraction();
    QVERIFY(f.extractionsEnded());
    QCOMPARE(third->status().caseValue(), JobStatus::Case::failed);
    queue.addFiles({url(clip)});
    QCOMPARE(queue.jobs().size(), 4);
    for (const ConversionJob *job : queue.jobs())
        QCOMPARE(job->sourceURL(), url(clip));
    QVERIFY(f.allInspected());
}

void TestConversionQueue::selectionFollowsAddRemoveAndClear()
{
    QTemporaryDir dir;
    for (const char *name : {"a.mp4", "b.mp4", "c.mp4", "d.mp4"})
        QVERIFY(queuetest::copyTo(m_clip, dir.filePath(name)));
    Fixture f;
    ConversionQueue &queue = *f.queue;
    QSignalSpy selection(&queue, &ConversionQueue::selectedJobIdChanged);

    queue.addFiles({url(dir.filePath("a.mp4")), url(dir.filePath("b.mp4"))});
    QCOMPARE(queue.selectedJobId(), queue.jobs().at(0)->id());
    queue.setSelectedJobId(queue.jobs().at(1)->id());
    queue.addFiles({url(dir.filePath("c.mp4")), url(dir.filePath("d.mp4"))});
    QCOMPARE(queue.selectedJobId(), queue.jobs().at(1)->id());
    QCOMPARE(selection.count(), 2);
    QVERIFY(f.allInspected());

    // a completed, b (selected) completed, c failed, d cancelled.
    ConversionJob *a = queue.jobs().at(0);
    ConversionJob *b = queue.jobs().at(1);
    ConversionJob *c = queue.jobs().at(2);
    ConversionJob *d = queue.jobs().at(3);
    a->startExtraction();
    b->startExtraction();
    c->setOutputURL(url(dir.filePath("a.mp4/x.mp3")));
    c->startExtraction();
    d->cancel();
    QVERIFY(f.extractionsEnded());
    QCOMPARE(queue.completedCount(), 2);

    const QPointer<ConversionJob> gone(a);
    queue.clearCompleted();
    QCOMPARE(queue.jobs(), (QList<ConversionJob *>{c, d}));
    QCOMPARE(queue.selectedJobId(), c->id());
    QTRY_VERIFY(gone.isNull());

    // Removing an unselected job keeps the selection; the last one empties it.
    queue.removeJob(d);
    QCOMPARE(queue.selectedJobId(), c->id());
    queue.removeJob(c);
    QVERIFY(queue.jobs().isEmpty());
    QVERIFY(queue.selectedJobId().isNull());
    QCOMPARE(queue.jobModel()->rowCount(), 0);
}

void TestConversionQueue::overallProgressAndCounts()
{
    QTemporaryDir dir;
    QVERIFY(queuetest::copyTo(m_clip, dir.filePath("a.mp4")));
    QVERIFY(queuetest::copyTo(m_clip, dir.filePath("b.mp4")));
    Fixture f;
    ConversionQueue &queue = *f.queue;
    PropertyWatch watch(&queue);

    queue.addFiles({url(dir.filePath("a.mp4"))});
    QCOMPARE(queue.pendingCount(), 0); // inspecting counts nowhere
    QVERIFY(f.allInspected());
    QCOMPARE(queue.pendingCount(), 1);
    queue.jobs().first()->startExtraction();
    QCOMPARE(queue.activeCount(), 1);
    QCOMPARE(queue.pendingCount(), 0);
    QStringList problems = watch.check();
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join("; ")));
    QVERIFY(f.extractionsEnded());
    QCOMPARE(queue.completedCount(), 1);
    QCOMPARE(queue.overallProgress(), 1.0);

    queue.addFiles({url(dir.filePath("b.mp4"))});
    QVERIFY(f.allInspected());
    QCOMPARE(queue.overallProgress(), 0.5);
    QCOMPARE(queue.pendingCount(), 1);
    QCOMPARE(queue.activeCount(), 0);
    problems = watch.check();
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join("; ")));
    for (const char *name : {"pendingCount", "activeCount", "overallProgress"})
        QVERIFY2(watch.emissions(name) >= 2, name);
    QCOMPARE(watch.emissions("completedCount"), 1);
}

void TestConversionQueue::encoderThreadsAreShared_data()
{
    QTest::addColumn<int>("capacity");
    QTest::addColumn<int>("limit");
    QTest::addColumn<int>("files");
    QTest::addColumn<bool>("fromTheRow");
    QTest::addColumn<QList<int>>("threads");
    QTest::newRow("one file takes every thread") << 4 << 2 << 1 << false << QList<int>{4};
    QTest::newRow("two files split them") << 4 << 2 << 2 << false << QList<int>{2, 2};
    // The third starts when a slot frees: what it gets depends on the other's timing.
    QTest::newRow("more files than slots run whole") << 2 << 2 << 3 << false << QList<int>{1, 1};
    QTest::newRow("never fewer than one") << 1 << 2 << 2 << false << QList<int>{1, 1};
    QTest::newRow("a row's own start") << 4 << 2 << 1 << true << QList<int>{4};
}

// The queue grants encoder threads as extractions start: running ones never hold more than
// the capacity between them (each has at least one).
void TestConversionQueue::encoderThreadsAreShared()
{
    QFETCH(int, capacity);
    QFETCH(int, limit);
    QFETCH(int, files);
    QFETCH(bool, fromTheRow);
    QFETCH(QList<int>, threads); // as the first starts are granted
    QTemporaryDir dir;
    QList<QUrl> urls;
    for (int i = 1; i <= files; ++i) {
        const QString name = dir.filePath(QString("part%1.mkv").arg(i));
        QVERIFY(queuetest::copyTo(m_medium, name));
        urls << url(name);
    }
    Fixture f;
    ConversionQueue &queue = *f.queue;
    queue.setEncoderThreadCapacity(capacity);
    queue.setConcurrentLimit(limit);
    queue.addFiles(urls);
    QVERIFY(f.allInspected());

    QList<int> granted;
    int converting = 0;
    int held = 0;
    for (ConversionJob *job : queue.jobs()) {
        auto wasConverting = std::make_shared<bool>(false);
        connect(job, &ConversionJob::statusChanged, this, [&, job, wasConverting] {
            const bool now = job->status().is(JobStatus::Case::converting);
            if (now && !*wasConverting) {
                granted << job->encoderThreads();
                ++converting;
                held += job->encoderThreads();
                QVERIFY2(held <= std::max(capacity, converting), "threads over capacity");
            } else if (!now && *wasConverting) {
                --converting;
                held -= job->encoderThreads();
            }
            *wasConverting = now;
        });
    }
    if (fromTheRow) {
        queue.jobs().first()->startExtraction();
        QVERIFY(f.extractionsEnded());
    } else {
        queue.startBatch();
        QVERIFY(f.batchEnded());
    }
    QCOMPARE(granted.size(), files);
    QCOMPARE(granted.first(threads.size()), threads);
}

void TestConversionQueue::batchHonoursTheConcurrencyLimit()
{
    QTemporaryDir dir;
    QList<QUrl> files;
    for (int i = 1; i <= 5; ++i) {
        const QString name = dir.filePath(QString("part%1.mkv").arg(i));
        QVERIFY(queuetest::copyTo(m_medium, name));
        files << url(name);
    }
    Fixture f;
    ConversionQueue &queue = *f.queue;
    queue.addFiles(files);
    QVERIFY(f.allInspected());
    QCOMPARE(queue.pendingCount(), 5);

    PropertyWatch queueWatch(&queue);
    std::vector<std::unique_ptr<PropertyWatch>> jobWatches;
    int converting = 0;
    int most = 0;
    QList<int> startOrder;
    for (int i = 0; i < 5; ++i) {
        ConversionJob *job = queue.jobs().at(i);
        jobWatches.push_back(std::make_unique<PropertyWatch>(job));
        auto wasConverting = std::make_shared<bool>(false);
        connect(job, &ConversionJob::statusChanged, this, [&, job, i, wasConverting] {
            const bool now = job->status().is(JobStatus::Case::converting);
            if (now && !*wasConverting) {
                startOrder << i;
                most = std::max(most, ++converting);
            } else if (!now && *wasConverting) {
                --converting;
            }
            *wasConverting = now;
        });
    }
    QSignalSpy processing(&queue, &ConversionQueue::isProcessingChanged);

    queue.startBatch();
    QVERIFY(queue.isProcessing());
    queue.startBatch(); // no second loop
    QVERIFY(f.batchEnded());
    QTest::qWait(3 * ConversionQueue::batchPassIntervalMs);

    QCOMPARE(processing.count(), 2);
    QVERIFY(!queue.isProcessing());
    QCOMPARE(most, 2);
    QCOMPARE(startOrder, (QList<int>{0, 1, 2, 3, 4}));
    QCOMPARE(queue.completedCount(), 5);
    QCOMPARE(f.notices.sounds, 1);
    QCOMPARE(f.notices.posts,
             (QList<QPair<QString, QString>>{
                 {"Audio Extraction Complete", "Successfully extracted 5 audio files to MP3."}}));
    for (const ConversionJob *job : queue.jobs()) {
        QCOMPARE(job->status().caseValue(), JobStatus::Case::completed);
        QCOMPARE(testtools::mp3valProblems(path(job->outputURL())), QStringList());
    }
    QStringList problems = queueWatch.check();
    for (auto &watch : jobWatches)
        problems += watch->check();
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join("; ")));
}

void TestConversionQueue::folderChosenAfterAddingIsUsedByTheBatch()
{
    QTemporaryDir dir;
    const QString out = dir.filePath("chosen later");
    QVERIFY(queuetest::copyTo(m_clip, dir.filePath("src/a.mp4")));
    QVERIFY(queuetest::copyTo(m_clip, dir.filePath("src/b.mp4")));
    Fixture f;
    ConversionQueue &queue = *f.queue;
    queue.addFiles({url(dir.filePath("src/a.mp4")), url(dir.filePath("src/b.mp4"))});
    QVERIFY(f.allInspected());
    QCOMPARE(queue.jobs().at(0)->outputURL(), url(dir.filePath("src/a.mp3")));

    // b is started from its row first: it keeps the output it was created with.
    ConversionJob *b = queue.jobs().at(1);
    b->startExtraction();
    queue.setUseSourceDirectory(false);
    queue.setCustomOutputFolder(url(out));
    queue.startBatch();
    QVERIFY(f.batchEnded());

    QCOMPARE(queue.jobs().at(0)->status().outputURL(), url(out + "/a.mp3"));
    QVERIFY(QFileInfo(out + "/a.mp3").size() > 0);
    QVERIFY(!QFileInfo::exists(dir.filePath("src/a.mp3")));
    QCOMPARE(b->status().outputURL(), url(dir.filePath("src/b.mp3")));
    QVERIFY(QFileInfo(dir.filePath("src/b.mp3")).size() > 0);
    QVERIFY(!QFileInfo::exists(out + "/b.mp3"));
}

void TestConversionQueue::cancelAllEndsTheBatchOnce()
{
    QTemporaryDir dir;
    QVERIFY(queuetest::copyTo(m_clip, dir.filePath("done.mp4")));
    QList<QUrl> longOnes;
    for (int i = 1; i <= 4; ++i) {
        const QString name = dir.filePath(QString("long%1.mkv").arg(i));
        QVERIFY(queuetest::copyTo(m_long, name));
        longOnes << url(name);
    }
    Fixture f;
    ConversionQueue &queue = *f.queue;
    PropertyWatch watch(&queue);

    // A job completed earlier stays in the list and is counted by the notice.
    queue.addFiles({url(dir.filePath("done.mp4"))});
    QVERIFY(f.allInspected());
    queue.startBatch();
    QVERIFY(f.batchEnded(1));
    QCOMPARE(f.notices.posts.size(), 1);
    QCOMPARE(f.notices.posts.last().second, QString("Successfully extracted 1 audio file to MP3."));

    queue.addFiles(longOnes);
    QVERIFY(f.allInspected());
    queue.startBatch();
    QTRY_VERIFY_WITH_TIMEOUT(queue.activeCount() == 2 && queue.jobs().at(1)->progress() > 0,
                             longWaitMs);
    queue.cancelAll();
    QVERIFY(!queue.isProcessing());
    for (const ConversionJob *job : queue.jobs().mid(1))
        QCOMPARE(job->status(), JobStatus::cancelled());
    QCOMPARE(queue.jobs().first()->status().caseValue(), JobStatus::Case::completed);
    QCOMPARE(queue.activeCount(), 0);
    QCOMPARE(queue.pendingCount(), 0);

    QVERIFY(f.batchEnded(2));
    QVERIFY(f.extractionsEnded());
    QTest::qWait(3 * ConversionQueue::batchPassIntervalMs);
    QCOMPARE(f.notices.sounds, 2);
    QCOMPARE(f.notices.posts.size(), 2);
    QCOMPARE(f.notices.posts.last().second, QString("Successfully extracted 1 audio file to MP3."));
    for (const ConversionJob *job : queue.jobs().mid(1)) {
        QCOMPARE(job->status(), JobStatus::cancelled());
        QVERIFY(!QFileInfo::exists(path(job->outputURL())));
    }

    // Idle: cancelAll still cancels, and with nothing completed no notification is posted.
    queue.clearCompleted();
    queue.jobs().first()->startExtraction();
    queue.cancelAll();
    QCOMPARE(queue.jobs().first()->status(), JobStatus::cancelled());
    queue.startBatch();
    QVERIFY(f.batchEnded(3));
    QCOMPARE(f.notices.posts.size(), 2);
    QVERIFY(f.extractionsEnded());
    const QStringList problems = watch.check();
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join("; ")));
}

void TestConversionQueue::outputNamesNeverCollide()
{
    QTemporaryDir dir;
    // Same base name in one folder; and a clip.mp4 from another folder, 60 s long.
    QVERIFY(queuetest::copyTo(m_clip, dir.filePath("one/clip.mov")));
    QVERIFY(queuetest::copyTo(m_clip, dir.filePath("one/clip.mp4")));
    QVERIFY(queuetest::copyTo(m_medium, dir.filePath("two/clip.mkv")));
    Fixture f;
    ConversionQueue &queue = *f.queue;

    queue.addFiles({url(dir.filePath("one/clip.mov")), url(dir.filePath("one/clip.mp4"))});
    QCOMPARE(queue.jobs().at(0)->outputURL(), url(dir.filePath("one/clip.mp3")));
    QCOMPARE(queue.jobs().at(1)->outputURL(), url(dir.filePath("one/clip (2).mp3")));

    // Sent to one folder chosen later: the batch renumbers against the other jobs.
    queue.addFiles({url(dir.filePath("two/clip.mkv"))});
    QCOMPARE(queue.jobs().at(2)->outputURL(), url(dir.filePath("two/clip.mp3")));
    QVERIFY(f.allInspected());
    const QString out = dir.filePath("out");
    queue.setUseSourceDirectory(false);
    queue.setCustomOutputFolder(url(out));
    queue.setConcurrentLimit(3);
    queue.startBatch();
    QVERIFY(f.batchEnded());

    const QStringList expected{out + "/clip.mp3", out + "/clip (2).mp3", out + "/clip (3).mp3"};
    for (int i = 0; i < 3; ++i) {
        const ConversionJob *job = queue.jobs().at(i);
        QCOMPARE(job->status().caseValue(), JobStatus::Case::completed);
        QCOMPARE(job->status().outputURL(), url(expected[i]));
        QCOMPARE(testtools::mp3valProblems(expected[i]), QStringList());
        // Each file holds its own source's audio.
        const double seconds =
            testtools::ffprobe(expected[i])["format"].toObject()["duration"].toString().toDouble();
        QVERIFY2(qAbs(seconds - (i == 2 ? 60.0 : 2.0)) < 0.2, qPrintable(expected[i]));
    }

    // Completed jobs keep their names; cancelled and failed ones give theirs up.
    queue.addFiles({url(dir.filePath("two/clip.mkv"))});
    QCOMPARE(queue.jobs().at(3)->outputURL(), url(out + "/clip (4).mp3"));
    queue.clearCompleted();
    queue.addFiles({url(dir.filePath("one/clip.mov"))});
    QCOMPARE(queue.jobs().at(1)->outputURL(), url(out + "/clip.mp3"));
    queue.jobs().at(1)->cancel();
    queue.addFiles({url(dir.filePath("one/clip.mov"))});
    QCOMPARE(queue.jobs().at(2)->outputURL(), url(out + "/clip.mp3"));
    QVERIFY(f.allInspected());

    // A retried job takes a free name again: its old one went to a job added meanwhile.
    ConversionJob *retried = queue.jobs().at(1);
    retried->startExtraction();
    QCOMPARE(retried->outputURL(), url(out + "/clip (2).mp3"));
    QCOMPARE(queue.jobs().at(2)->outputURL(), url(out + "/clip.mp3"));
    retried->cancel();
}

namespace {
QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

void TestConversionQueue::filesTonbrookDidNotWriteAreKept_data()
{
    QTest::addColumn<bool>("own");
    QTest::addColumn<bool>("appearsAfterAdding");
    QTest::addColumn<QString>("written");
    QTest::newRow("own earlier output") << true << false << QString("tälk.mp3");
    QTest::newRow("foreign file") << false << false << QString("tälk (2).mp3");
    QTest::newRow("foreign file appearing after adding")
        << false << true << QString("tälk (2).mp3");
}

// Tonbrook's own earlier output is replaced in place; a file someone else made stays as it is
// and the new one is numbered past it, which the row shows before and after the run.
void TestConversionQueue::filesTonbrookDidNotWriteAreKept()
{
    QFETCH(bool, own);
    QFETCH(bool, appearsAfterAdding);
    QFETCH(QString, written);
    QTemporaryDir dir;
    const QString source = dir.filePath("tälk.mp4");
    QVERIFY(queuetest::copyTo(m_clip, source));
    const QString wanted = dir.filePath("tälk.mp3");
    const QStringList foreign{"-f", "lavfi", "-i", "sine=d=1", "-metadata", "title=Mine", wanted};
    if (own) {
        Fixture first;
        AudioExtractionSettings settings;
        settings.bitrate = BitrateOption::cbr128;
        first.queue->setDefaultSettings(settings);
        first.queue->addFiles({url(source)});
        QVERIFY(first.allInspected());
        first.queue->startBatch();
        QVERIFY(first.batchEnded());
        QCOMPARE(first.queue->jobs().first()->status().outputURL(), url(wanted));
    } else if (!appearsAfterAdding) {
        QVERIFY(testtools::ffmpeg(foreign));
    }

    Fixture f;
    f.queue->addFiles({url(source)});
    ConversionJob *job = f.queue->jobs().first();
    if (appearsAfterAdding) {
        QCOMPARE(job->outputURL(), url(wanted));
        QVERIFY(testtools::ffmpeg(foreign));
    } else {
        QCOMPARE(job->outputURL(), url(dir.filePath(written)));
    }
    const QByteArray before = fileBytes(wanted);
    QVERIFY(f.allInspected());
    f.queue->startBatch();
    QVERIFY(f.batchEnded());

    QCOMPARE(job->status().caseValue(), JobStatus::Case::completed);
    QCOMPARE(job->outputURL(), url(dir.filePath(written)));
    QCOMPARE(job->status().outputURL(), url(dir.filePath(written)));
    if (!own)
        QCOMPARE(fileBytes(wanted), before);
    // A new file at the default 320k (the earlier own one was 128k), marked as Tonbrook's.
    const QString path = dir.filePath(written);
    QCOMPARE(testtools::ffprobe(path)["streams"].toArray().at(0).toObject()["bit_rate"].toString(),
             QString("320000"));
    QCOMPARE(testtools::id3(path)["frames"]
                 .toObject()["TXXX:TONBROOK_SOURCE"]
                 .toObject()["text"]
                 .toString(),
             QString("tälk.mp4"));
}

void TestConversionQueue::freedNamesAreNumberedAgain_data()
{
    // Steps: "+SOURCE=OUTPUT" adds a new file named SOURCE and expects its output name;
    // "-OUTPUT" removes and "xOUTPUT" cancels the job with that output.
    QTest::addColumn<QStringList>("steps");
    QTest::newRow("a removed job's number is given again, then the next one")
        << QStringList{"+clip.mp4=clip.mp3", "+clip.mov=clip (2).mp3", "+clip.mkv=clip (3).mp3",
                       "-clip (2).mp3",      "+clip.avi=clip (2).mp3", "+clip.ts=clip (4).mp3"};
    QTest::newRow("cancelled jobs give theirs up, lowest first") << QStringList{
        "+clip.mp4=clip.mp3",     "+clip.mov=clip (2).mp3", "+clip.mkv=clip (3).mp3",
        "+clip.avi=clip (4).mp3", "xclip (3).mp3",          "xclip (2).mp3",
        "+clip.ts=clip (2).mp3",  "+clip.flv=clip (3).mp3", "+clip.wmv=clip (5).mp3"};
    QTest::newRow("a source named like a numbered name")
        << QStringList{"+clip (2).mp4=clip (2).mp3", "+clip.mp4=clip.mp3",
                       "+clip.mov=clip (3).mp3",     "-clip (2).mp3",
                       "+clip.mkv=clip (2).mp3",     "+clip (2).mov=clip (2) (2).mp3",
                       "+clip.avi=clip (4).mp3"};
    QTest::newRow("the wanted name itself freed")
        << QStringList{"+clip.mp4=clip.mp3", "+clip.mov=clip (2).mp3", "-clip.mp3",
                       "+clip.mkv=clip.mp3", "+clip.avi=clip (3).mp3"};
}

void TestConversionQueue::freedNamesAreNumberedAgain()
{
    QFETCH(QStringList, steps);
    QTemporaryDir dir;
    const QString out = dir.filePath("out");
    Fixture f;
    ConversionQueue &queue = *f.queue;
    queue.setUseSourceDirectory(false);
    queue.setCustomOutputFolder(url(out));
    const auto jobWithOutput = [&](const QString &name) -> ConversionJob * {
        for (ConversionJob *job : queue.jobs()) {
            if (job->outputURL() == url(out + "/" + name))
                return job;
        }
        return nullptr;
    };
    for (qsizetype i = 0; i < steps.size(); ++i) {
        const QString step = steps.at(i);
        if (step.startsWith(u'+')) {
            const QStringList parts = step.mid(1).split(u'=');
            // Each source in a folder of its own, so none is queued twice.
            const QString source = dir.filePath(QStringLiteral("s%1/").arg(i) + parts.at(0));
            QVERIFY(queuetest::copyTo(m_clip, source));
            queue.addFiles({url(source)});
            QCOMPARE(queue.jobs().last()->sourceURL(), url(source));
            QCOMPARE(queue.jobs().last()->outputURL(), url(out + "/" + parts.at(1)));
        } else {
            ConversionJob *job = jobWithOutput(step.mid(1));
            QVERIFY2(job, qPrintable(step));
            // Cancelled while inspecting, a job would turn ready again when its inspection ends.
            QVERIFY(f.allInspected());
            if (step.startsWith(u'-'))
                queue.removeJob(job);
            else
                job->cancel();
        }
    }
    QVERIFY(f.allInspected());
}

void TestConversionQueue::removedRunningJobLivesUntilItsExtractionEnds()
{
    QTemporaryDir dir;
    QVERIFY(queuetest::copyTo(m_long, dir.filePath("long.mkv")));
    Fixture f;
    ConversionQueue &queue = *f.queue;
    queue.addFiles({url(dir.filePath("long.mkv"))});
    QVERIFY(f.allInspected());
    const QPointer<ConversionJob> job(queue.jobs().first());
    job->startExtraction();
    QTRY_VERIFY_WITH_TIMEOUT(job->progress() > 0, longWaitMs);
    QSignalSpy ended(job.data(), &ConversionJob::extractionEnded);

    queue.removeJob(job);
    QVERIFY(queue.jobs().isEmpty());
    QVERIFY(!job.isNull());
    QCOMPARE(job->status(), JobStatus::cancelled());
    QTRY_VERIFY_WITH_TIMEOUT(job.isNull(), longWaitMs);
    QCOMPARE(ended.count(), 1);
    QCOMPARE(queue.activeCount(), 0);
    QVERIFY(!QFileInfo::exists(dir.filePath("long.mp3")));
}

void TestConversionQueue::zeroLimitPollsUntilCancelled()
{
    QTemporaryDir dir;
    QVERIFY(queuetest::copyTo(m_clip, dir.filePath("a.mp4")));
    Fixture f;
    ConversionQueue &queue = *f.queue;
    queue.setPlaySoundOnFinish(false);
    queue.setConcurrentLimit(0);
    queue.addFiles({url(dir.filePath("a.mp4"))});
    QVERIFY(f.allInspected());
    QSignalSpy processing(&queue, &ConversionQueue::isProcessingChanged);
    queue.startBatch();
    QTest::qWait(4 * ConversionQueue::batchPassIntervalMs);
    QVERIFY(queue.isProcessing());
    QCOMPARE(queue.jobs().first()->status(), JobStatus::ready());

    queue.cancelAll();
    QTest::qWait(2 * ConversionQueue::batchPassIntervalMs);
    QCOMPARE(processing.count(), 2);
    QCOMPARE(queue.jobs().first()->status(), JobStatus::cancelled());
    // Both preferences off: the end of the batch has no effect at all.
    queue.setSendNotificationOnFinish(false);
    queue.startBatch();
    QTest::qWait(2 * ConversionQueue::batchPassIntervalMs);
    QVERIFY(!queue.isProcessing());
    QCOMPARE(f.notices.sounds, 0);
    QVERIFY(f.notices.posts.isEmpty());
}

QTEST_GUILESS_MAIN(TestConversionQueue)
#include "tst_conversion_queue.moc"
