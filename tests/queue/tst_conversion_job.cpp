// One job through inspection and extraction on generated media with the real engine.
#include "queue/conversion_job.h"

#include "engine/extraction_progress.h"
#include "queue_test_support.h"
#include "support/testtools.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace tonbrook;
using queuetest::PropertyWatch;

namespace {

constexpr int longWaitMs = 60000;

QUrl url(const QString &path)
{
    return QUrl::fromLocalFile(path);
}

// A job on source, writing into folder, already inspected.
std::unique_ptr<ConversionJob> readyJob(const QString &source, const QString &folder)
{
    auto job = std::make_unique<ConversionJob>(url(source), url(folder), AudioExtractionSettings{});
    job->inspect();
    if (!QTest::qWaitFor([&] { return !job->status().is(JobStatus::Case::inspecting); },
                         longWaitMs))
        return nullptr;
    return job;
}

bool waitForEnd(ConversionJob &job)
{
    return QTest::qWaitFor([&] { return !job.isExtractionRunning(); }, longWaitMs);
}

bool waitForProgress(ConversionJob &job)
{
    return QTest::qWaitFor([&] { return job.progress() > 0.0; }, longWaitMs);
}

QStringList partialFiles(const QString &folder)
{
    return QDir(folder).entryList({"*.part"}, QDir::Files | QDir::Hidden);
}

} // namespace

class TestConversionJob : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void creationPaths_data();
    void creationPaths();
    void creationTagsAndSettings();
    void inspectionFillsDescriptionAndTags();
    void inspectionFailureBecomesFailed();
    void startGuardInEveryState();
    void completionRecordsOutputAndProgressTexts();
    void failureTextsAndRetry();
    void cancelInEveryIdleState();
    void inspectionEndingDuringExtractionLeavesTheStatus();
    void cancelDuringExtractionDropsLateReports();
    void restartAfterCancelIgnoresTheEarlierExtraction();
    void retryAfterCancelCompletes();
    void destroyingARunningJobStopsItsExtraction();

private:
    QString m_clip;
    QString m_medium;
    QString m_long;
    QString m_videoOnly;
};

void TestConversionJob::initTestCase()
{
    m_clip = queuetest::shortClip();
    m_medium = queuetest::mediumAudio();
    m_long = queuetest::longAudio();
    m_videoOnly = queuetest::videoOnly();
    QVERIFY(!m_clip.isEmpty() && !m_medium.isEmpty() && !m_long.isEmpty() &&
            !m_videoOnly.isEmpty());
}

void TestConversionJob::creationPaths_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("title");

    QTest::newRow("next to the source") << "/a/b/clip.MOV"
                                        << ""
                                        << "/a/b/clip.mp3"
                                        << "clip";
    QTest::newRow("output folder") << "/a/b/clip.MOV"
                                   << "/x"
                                   << "/x/clip.mp3"
                                   << "clip";
    QTest::newRow("no extension") << "/a/b/clip"
                                  << ""
                                  << "/a/b/clip.mp3"
                                  << "clip";
    QTest::newRow("last extension only") << "/a/talk.final.mov"
                                         << ""
                                         << "/a/talk.final.mp3"
                                         << "talk.final";
    QTest::newRow("spaces and accents") << "/a/Été à Paris.mkv"
                                        << "/out dir"
                                        << "/out dir/Été à Paris.mp3"
                                        << "Été à Paris";
}

void TestConversionJob::creationPaths()
{
    QFETCH(QString, source);
    QFETCH(QString, folder);
    QFETCH(QString, output);
    QFETCH(QString, title);

    const std::optional<QUrl> directory =
        folder.isEmpty() ? std::nullopt : std::optional<QUrl>(url(folder));
    ConversionJob job(url(source), directory, AudioExtractionSettings{});
    QCOMPARE(job.outputURL(), url(output));
    QCOMPARE(job.metadata().title, title);
    QCOMPARE(job.sourceURL(), url(source));
}

void TestConversionJob::creationTagsAndSettings()
{
    AudioExtractionSettings defaults;
    defaults.bitrate = BitrateOption::vbr2;
    defaults.fadeInDuration = 1.5;
    ConversionJob job(url("/a/b/clip.mov"), std::nullopt, defaults);
    ConversionJob other(url("/a/b/clip.mov"), std::nullopt, defaults);

    QCOMPARE(job.status(), JobStatus::pending());
    QCOMPARE(job.settings(), defaults);
    QCOMPARE(job.metadata(), MediaMetadata("clip", "", "", "", "Soundtrack",
                                           "Extracted with Tonbrook", std::nullopt));
    QCOMPARE(job.progress(), 0.0);
    QVERIFY(job.speedString().isEmpty() && job.etaString().isEmpty());
    QVERIFY(!job.errorMessage() && !job.fileInfo() && !job.hasActiveTask());
    QVERIFY(!job.id().isNull());
    QVERIFY(job.id() != other.id());

    // Writable properties signal real changes only.
    PropertyWatch watch(&job);
    job.setOutputURL(job.outputURL());
    job.setSettings(defaults);
    job.setMetadata(job.metadata());
    QCOMPARE(watch.emissions("outputURL") + watch.emissions("settings") +
                 watch.emissions("metadata"),
             0);
    job.setOutputURL(url("/elsewhere/x.mp3"));
    defaults.bitrate = BitrateOption::cbr128;
    job.setSettings(defaults);
    MediaMetadata tags = job.metadata();
    tags.artist = "Someone";
    job.setMetadata(tags);
    const QStringList problems = watch.check();
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join("; ")));
    QCOMPARE(watch.emissions("outputURL"), 1);
    QCOMPARE(watch.emissions("settings"), 1);
    QCOMPARE(watch.emissions("metadata"), 1);
}

void TestConversionJob::inspectionFillsDescriptionAndTags()
{
    ConversionJob job(url(m_clip), std::nullopt, AudioExtractionSettings{});
    PropertyWatch watch(&job);
    QSignalSpy fileInfoSpy(&job, &ConversionJob::fileInfoChanged);
    QList<JobStatus> statuses;
    connect(&job, &ConversionJob::statusChanged, this, [&] { statuses << job.status(); });

    job.inspect();
    QCOMPARE(job.status(), JobStatus::inspecting());
    QTRY_VERIFY_WITH_TIMEOUT(job.status() == JobStatus::ready(), longWaitMs);

    QCOMPARE(statuses, (QList<JobStatus>{JobStatus::inspecting(), JobStatus::ready()}));
    QCOMPARE(fileInfoSpy.count(), 1);
    QVERIFY(job.fileInfo());
    QCOMPARE(job.fileInfo()->fileURL, url(m_clip));
    QVERIFY(qAbs(job.fileInfo()->duration - 2.0) < 0.1);
    // Replaced as a whole by the inspected tags.
    QCOMPARE(job.metadata(), job.fileInfo()->metadata);
    QCOMPARE(job.metadata().title, QString("Harbour Lights"));
    QVERIFY(!job.errorMessage());
    const QStringList problems = watch.check();
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join("; ")));
}

void TestConversionJob::inspectionFailureBecomesFailed()
{
    QTemporaryDir dir;
    const QString broken = dir.filePath("broken.mp4");
    QFile file(broken);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'x'));
    file.close();

    QString expected;
    try {
        VideoFileInfo::inspect(url(broken));
    } catch (const std::exception &error) {
        expected = QString::fromUtf8(error.what());
    }
    QVERIFY(!expected.isEmpty());

    ConversionJob job(url(broken), std::nullopt, AudioExtractionSettings{});
    PropertyWatch watch(&job);
    job.inspect();
    QTRY_VERIFY_WITH_TIMEOUT(job.status().is(JobStatus::Case::failed), longWaitMs);
    QCOMPARE(job.status(), JobStatus::failed(expected));
    QCOMPARE(job.errorMessage(), std::optional<QString>(expected));
    QVERIFY(!job.fileInfo());
    const QStringList problems = watch.check();
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join("; ")));
}

void TestConversionJob::startGuardInEveryState()
{
    QTemporaryDir dir;

    // inspecting: nothing happens.
    {
        ConversionJob job(url(m_clip), url(dir.path()), AudioExtractionSettings{});
        job.inspect();
        QSignalSpy statusSpy(&job, &ConversionJob::statusChanged);
        job.startExtraction();
        QCOMPARE(job.status(), JobStatus::inspecting());
        QCOMPARE(statusSpy.count(), 0);
        QVERIFY(!job.hasActiveTask() && !job.isExtractionRunning());
        QTRY_VERIFY_WITH_TIMEOUT(job.status() == JobStatus::ready(), longWaitMs);
    }

    // pending (never inspected): starts and completes.
    ConversionJob job(url(m_clip), url(dir.path()), AudioExtractionSettings{});
    job.startExtraction();
    QCOMPARE(job.status(), JobStatus::converting(0.0, QString(), QString()));
    QVERIFY(job.hasActiveTask());

    // converting: a second start changes nothing.
    QSignalSpy statusSpy(&job, &ConversionJob::statusChanged);
    QSignalSpy progressSpy(&job, &ConversionJob::progressChanged);
    job.startExtraction();
    QCOMPARE(statusSpy.count(), 0);
    QCOMPARE(progressSpy.count(), 0);

    QVERIFY(waitForEnd(job));
    QCOMPARE(job.status().caseValue(), JobStatus::Case::completed);

    // completed: nothing happens, the file stays.
    const JobStatus completed = job.status();
    statusSpy.clear();
    job.startExtraction();
    QCOMPARE(job.status(), completed);
    QCOMPARE(statusSpy.count(), 0);
    QVERIFY(!job.hasActiveTask() && !job.isExtractionRunning());
}

void TestConversionJob::completionRecordsOutputAndProgressTexts()
{
    QTemporaryDir dir;
    auto job = readyJob(m_medium, dir.path());
    QVERIFY(job && job->status() == JobStatus::ready());
    const QString output = dir.filePath(QFileInfo(m_medium).completeBaseName() + ".mp3");
    QCOMPARE(job->outputURL(), url(output));

    PropertyWatch watch(job.get());
    QList<JobStatus> converting;
    QList<QString> speedAtStatus;
    connect(job.get(), &ConversionJob::statusChanged, this, [&] {
        if (job->status().is(JobStatus::Case::converting)) {
            converting << job->status();
            speedAtStatus << job->speedString();
            QCOMPARE(job->progress(), job->status().progress());
            QCOMPARE(job->etaString(), job->status().eta());
        }
    });

    job->startExtraction();
    QVERIFY(waitForEnd(*job));

    // Reports: the job's own "%.1fx" and the record's ETA text, mirrored in the status.
    QVERIFY(converting.size() >= 2);
    QCOMPARE(converting.first(), JobStatus::converting(0.0, QString(), QString()));
    const QRegularExpression speed("^\\d+\\.\\dx$");
    const QRegularExpression eta("^(\\d+m \\d\\ds remaining|\\d+s remaining|Finishing\\.\\.\\.)$");
    double last = 0.0;
    for (qsizetype i = 1; i < converting.size(); ++i) {
        QVERIFY2(speed.match(converting[i].speed()).hasMatch(), qPrintable(converting[i].speed()));
        QVERIFY2(eta.match(converting[i].eta()).hasMatch(), qPrintable(converting[i].eta()));
        QCOMPARE(speedAtStatus[i], converting[i].speed());
        QVERIFY(converting[i].progress() >= last);
        last = converting[i].progress();
    }
    QCOMPARE(converting.last().eta(), QString("Finishing..."));
    QCOMPARE(converting.last().progress(), 1.0);

    // Completed with the file's real size and the MP3's own duration.
    const JobStatus status = job->status();
    QCOMPARE(status.caseValue(), JobStatus::Case::completed);
    QCOMPARE(status.outputURL(), url(output));
    QCOMPARE(status.outputSize(), QFileInfo(output).size());
    QVERIFY(status.outputSize() > 1000000);
    QCOMPARE(status.duration(), VideoFileInfo::inspect(url(output)).duration);
    const double probed =
        testtools::ffprobe(output)["format"].toObject()["duration"].toString().toDouble();
    QVERIFY2(qAbs(status.duration() - probed) < 0.1,
             qPrintable(QString("%1 vs %2").arg(status.duration()).arg(probed)));
    QVERIFY(qAbs(status.duration() - 60.0) < 0.2);
    QCOMPARE(testtools::ffprobe(output)["streams"].toArray().first()["codec_name"].toString(),
             QString("mp3"));
    QCOMPARE(testtools::mp3valProblems(output), QStringList());
    QCOMPARE(job->progress(), 1.0);
    QVERIFY(!job->speedString().isEmpty() && job->etaString() == "Finishing...");
    QVERIFY(!job->errorMessage() && !job->hasActiveTask());
    QVERIFY(partialFiles(dir.path()).isEmpty());
    const QStringList problems = watch.check();
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join("; ")));
    QVERIFY(watch.emissions("speedString") > 0 && watch.emissions("etaString") > 0);

    // The speed text is printf's, whatever the locale.
    QCOMPARE(formatFixed(12.345, 1) + 'x', QString("12.3x"));
    QCOMPARE(formatFixed(2.5, 1) + 'x', QString("2.5x"));
}

void TestConversionJob::failureTextsAndRetry()
{
    QTemporaryDir dir;

    // No audio: the engine's own description.
    auto silent = readyJob(m_videoOnly, dir.path());
    QVERIFY(silent && silent->status() == JobStatus::ready());
    silent->startExtraction();
    QVERIFY(waitForEnd(*silent));
    const QString noAudio = QString::fromUtf8(AudioExtractionError::noAudioTrackFound().what());
    QCOMPARE(silent->status(), JobStatus::failed(noAudio));
    QCOMPARE(silent->errorMessage(), std::optional<QString>(noAudio));

    // An output folder that cannot exist: failed, then retried into a good folder.
    QFile blocker(dir.filePath("not-a-folder"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    auto job = readyJob(m_clip, dir.path());
    QVERIFY(job);
    job->setOutputURL(url(dir.filePath("not-a-folder/clip.mp3")));
    PropertyWatch watch(job.get());
    job->startExtraction();
    QVERIFY(waitForEnd(*job));
    QCOMPARE(job->status().caseValue(), JobStatus::Case::failed);
    QVERIFY(!job->status().error().isEmpty());
    QCOMPARE(job->errorMessage(), std::optional<QString>(job->status().error()));

    job->setOutputURL(url(dir.filePath("good/clip.mp3")));
    job->startExtraction();
    QCOMPARE(job->status(), JobStatus::converting(0.0, QString(), QString()));
    QVERIFY(!job->errorMessage());
    QVERIFY(waitForEnd(*job));
    QCOMPARE(job->status().caseValue(), JobStatus::Case::completed);
    QVERIFY(QFileInfo(dir.filePath("good/clip.mp3")).size() > 0);
    QVERIFY(!job->errorMessage());
    const QStringList problems = watch.check();
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join("; ")));
    QVERIFY(watch.emissions("errorMessage") >= 2);
}

void TestConversionJob::cancelInEveryIdleState()
{
    QTemporaryDir dir;

    ConversionJob pending(url(m_clip), url(dir.path()), AudioExtractionSettings{});
    pending.cancel();
    QCOMPARE(pending.status(), JobStatus::cancelled());

    // Still inspecting: the inspection is not stopped and makes the job ready afterwards.
    ConversionJob inspecting(url(m_clip), url(dir.path()), AudioExtractionSettings{});
    inspecting.inspect();
    inspecting.cancel();
    QCOMPARE(inspecting.status(), JobStatus::cancelled());
    QTRY_VERIFY_WITH_TIMEOUT(inspecting.status() == JobStatus::ready(), longWaitMs);

    auto ready = readyJob(m_clip, dir.path());
    QVERIFY(ready);
    QSignalSpy statusSpy(ready.get(), &ConversionJob::statusChanged);
    ready->cancel();
    QCOMPARE(ready->status(), JobStatus::cancelled());
    QCOMPARE(statusSpy.count(), 1);
    QVERIFY(!ready->hasActiveTask());

    // Completed: cancelled in name only, the file stays.
    ready->startExtraction();
    QVERIFY(waitForEnd(*ready));
    QCOMPARE(ready->status().caseValue(), JobStatus::Case::completed);
    ready->cancel();
    QCOMPARE(ready->status(), JobStatus::cancelled());
    QVERIFY(QFileInfo(ready->outputURL().toLocalFile()).size() > 0);

    // Failed: the error text is kept.
    auto failed = readyJob(m_videoOnly, dir.path());
    QVERIFY(failed);
    failed->startExtraction();
    QVERIFY(waitForEnd(*failed));
    const auto error = failed->errorMessage();
    QVERIFY(error);
    failed->cancel();
    QCOMPARE(failed->status(), JobStatus::cancelled());
    QCOMPARE(failed->errorMessage(), error);
}

void TestConversionJob::inspectionEndingDuringExtractionLeavesTheStatus()
{
    QTemporaryDir dir;
    ConversionJob job(url(m_clip), url(dir.path()), AudioExtractionSettings{});
    QList<JobStatus> statuses;
    connect(&job, &ConversionJob::statusChanged, this, [&] { statuses << job.status(); });
    // Cancelled while inspecting and retried at once: the extraction owns the status.
    job.inspect();
    job.cancel();
    job.startExtraction();
    QVERIFY(job.status().is(JobStatus::Case::converting));
    QVERIFY(waitForEnd(job));
    QTRY_VERIFY_WITH_TIMEOUT(job.fileInfo().has_value(), longWaitMs);
    QCOMPARE(job.status().caseValue(), JobStatus::Case::completed);
    QVERIFY(!statuses.contains(JobStatus::ready()));
    QCOMPARE(job.metadata().title, QString("Harbour Lights"));
}

void TestConversionJob::cancelDuringExtractionDropsLateReports()
{
    QTemporaryDir dir;
    auto job = readyJob(m_long, dir.path());
    QVERIFY(job);
    // An earlier result at the output path must survive the cancelled run.
    const QString output = job->outputURL().toLocalFile();
    QFile earlier(output);
    QVERIFY(earlier.open(QIODevice::WriteOnly));
    earlier.write("earlier result");
    earlier.close();

    PropertyWatch watch(job.get());
    job->startExtraction();
    QVERIFY(waitForProgress(*job));
    // Let reports pile up unprocessed, so some are still queued after cancel().
    QThread::msleep(400);
    job->cancel();
    QCOMPARE(job->status(), JobStatus::cancelled());
    QVERIFY(!job->hasActiveTask());
    QVERIFY(job->isExtractionRunning());

    QList<JobStatus> after;
    connect(job.get(), &ConversionJob::statusChanged, this, [&] { after << job->status(); });
    QSignalSpy progressSpy(job.get(), &ConversionJob::progressChanged);
    QVERIFY(waitForEnd(*job));
    QCOMPARE(after, QList<JobStatus>());
    QCOMPARE(progressSpy.count(), 0);
    QCOMPARE(job->status(), JobStatus::cancelled());
    QVERIFY(!job->errorMessage());
    QVERIFY(job->progress() > 0.0 && job->progress() < 1.0);
    QVERIFY(!job->speedString().isEmpty());

    QVERIFY(earlier.open(QIODevice::ReadOnly));
    QCOMPARE(earlier.readAll(), QByteArray("earlier result"));
    QVERIFY(partialFiles(dir.path()).isEmpty());
    const QStringList problems = watch.check();
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join("; ")));
}

void TestConversionJob::restartAfterCancelIgnoresTheEarlierExtraction()
{
    QTemporaryDir dir;
    auto job = readyJob(m_long, dir.path());
    QVERIFY(job);
    QSignalSpy ended(job.get(), &ConversionJob::extractionEnded);

    job->startExtraction();
    QVERIFY(waitForProgress(*job));
    QThread::msleep(300);
    job->cancel();
    job->startExtraction();
    QCOMPARE(job->status(), JobStatus::converting(0.0, QString(), QString()));

    QList<JobStatus> statuses;
    connect(job.get(), &ConversionJob::statusChanged, this, [&] { statuses << job->status(); });
    // The first extraction ends (cancelled) while the second runs on.
    QTRY_VERIFY_WITH_TIMEOUT(ended.count() == 1, longWaitMs);
    QVERIFY(job->status().is(JobStatus::Case::converting));
    QVERIFY(job->hasActiveTask() && job->isExtractionRunning());
    // Its leftover reports did not show: progress restarted from 0 and only rises.
    double last = 0.0;
    for (const JobStatus &status : std::as_const(statuses)) {
        QCOMPARE(status.caseValue(), JobStatus::Case::converting);
        QVERIFY(status.progress() >= last);
        last = status.progress();
    }
    QTRY_VERIFY_WITH_TIMEOUT(job->progress() > last, longWaitMs);

    job->cancel();
    QVERIFY(waitForEnd(*job));
    QCOMPARE(ended.count(), 2);
    QCOMPARE(job->status(), JobStatus::cancelled());
    QVERIFY(!QFileInfo::exists(job->outputURL().toLocalFile()));
}

void TestConversionJob::retryAfterCancelCompletes()
{
    QTemporaryDir dir;
    auto job = readyJob(m_medium, dir.path());
    QVERIFY(job);
    job->startExtraction();
    job->cancel();
    QVERIFY(waitForEnd(*job));
    QCOMPARE(job->status(), JobStatus::cancelled());
    QVERIFY(!QFileInfo::exists(job->outputURL().toLocalFile()));

    job->startExtraction();
    QVERIFY(job->status().is(JobStatus::Case::converting));
    QVERIFY(waitForEnd(*job));
    QCOMPARE(job->status().caseValue(), JobStatus::Case::completed);
    QCOMPARE(testtools::mp3valProblems(job->outputURL().toLocalFile()), QStringList());
}

void TestConversionJob::destroyingARunningJobStopsItsExtraction()
{
    QTemporaryDir dir;
    auto job = readyJob(m_long, dir.path());
    QVERIFY(job);
    const QString output = job->outputURL().toLocalFile();
    job->startExtraction();
    QVERIFY(waitForProgress(*job));
    QThread::msleep(200);
    job.reset();
    // Reports still queued for the gone job are dropped.
    QTest::qWait(200);
    QVERIFY(!QFileInfo::exists(output));
    QVERIFY(partialFiles(dir.path()).isEmpty());
}

QTEST_GUILESS_MAIN(TestConversionJob)
#include "tst_conversion_job.moc"
