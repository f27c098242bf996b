// Faults during a batch: the stricken job fails with a clear reason, the others complete, no
// partial file stays anywhere and an MP3 already at the destination is left byte for byte.
#include "reliability_support.h"

#include "../queue/queue_test_support.h"
#include "support/testtools.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <unistd.h>

using namespace tonbrook;
using namespace reliability;

namespace {

constexpr int batchTimeoutMs = 120000;

struct Outcome {
    QString title;
    QString error;
};

// A real MP3 that earlier run left at dest.
bool placeEarlierMp3(const QString &dest)
{
    QDir().mkpath(QFileInfo(dest).absolutePath());
    return testtools::ffmpeg({"-f", "lavfi", "-i", "sine=frequency=220:duration=1", "-c:a",
                              "libmp3lame", "-b:a", "64k", dest});
}

void setMode(const QString &path, QFile::Permissions permissions)
{
    QFile::setPermissions(path, permissions);
}

} // namespace

class TestReliabilityBatchFaults : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void outputFolderRemovedWhileRunning();
    void outputDiskFull();
    void outputFolderNotWritable();
    void sourceDeletedAfterInspection();
    void sourceReplacedByGarbageAfterInspection();

private:
    // Runs a batch of the victim (source, destination) and two healthy clips into m_dir/ok;
    // beforeStart runs once all are inspected, whileRunning once the victim reports progress.
    QList<Outcome> runBatch(const QString &victim, const QString &victimOutput,
                            const std::function<void()> &beforeStart,
                            const std::function<void()> &whileRunning = {});
    void checkHealthyCompleted(const QList<Outcome> &outcomes);

    QString m_clip;
    QString m_medium;
    QString m_long;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestReliabilityBatchFaults::initTestCase()
{
    m_clip = queuetest::shortClip();
    m_medium = queuetest::mediumAudio();
    m_long = queuetest::longAudio();
    QVERIFY(!m_clip.isEmpty() && !m_medium.isEmpty() && !m_long.isEmpty());
}

void TestReliabilityBatchFaults::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

QList<Outcome> TestReliabilityBatchFaults::runBatch(const QString &victim,
                                                    const QString &victimOutput,
                                                    const std::function<void()> &beforeStart,
                                                    const std::function<void()> &whileRunning)
{
    QList<Outcome> outcomes;
    const QString healthy[] = {m_dir->filePath("src/healthy-a.mp4"),
                               m_dir->filePath("src/healthy-b.mp4")};
    for (const QString &path : healthy) {
        if (!queuetest::copyTo(m_clip, path))
            return outcomes;
    }
    auto queue = makeQueue();
    queue->addFiles({QUrl::fromLocalFile(victim)});
    queue->jobs().last()->setOutputURL(QUrl::fromLocalFile(victimOutput));
    for (const QString &path : healthy) {
        queue->addFiles({QUrl::fromLocalFile(path)});
        queue->jobs().last()->setOutputURL(QUrl::fromLocalFile(
            m_dir->filePath("ok/" + QFileInfo(path).completeBaseName() + ".mp3")));
    }
    for (const ConversionJob *job : queue->jobs()) {
        if (!waitInspected(job, batchTimeoutMs) || !job->status().is(JobStatus::Case::ready))
            return outcomes;
    }
    beforeStart();
    queue->startBatch();
    ConversionJob *stricken = queue->jobs().first();
    if (whileRunning) {
        if (!QTest::qWaitFor([&] { return stricken->progress() > 0.0; }, batchTimeoutMs))
            return outcomes;
        whileRunning();
    }
    for (const ConversionJob *job : queue->jobs()) {
        if (!waitFinished(job, batchTimeoutMs))
            return outcomes;
    }
    for (const ConversionJob *job : queue->jobs())
        outcomes.append({job->status().title(), job->status().error()});
    return outcomes;
}

void TestReliabilityBatchFaults::checkHealthyCompleted(const QList<Outcome> &outcomes)
{
    QCOMPARE(outcomes.size(), 3);
    QVERIFY2(outcomes[0].title == "Failed", qPrintable(outcomes[0].title));
    qInfo("victim: %s", qPrintable(outcomes[0].error));
    QVERIFY2(isReadableMessage(outcomes[0].error), qPrintable(outcomes[0].error));
    for (const QString name : {"healthy-a.mp3", "healthy-b.mp3"}) {
        const QString mp3 = m_dir->filePath("ok/" + name);
        QVERIFY2(QFileInfo::exists(mp3), qPrintable(name));
        QVERIFY2(testtools::mp3valProblems(mp3).isEmpty(), qPrintable(name));
    }
    QCOMPARE(outcomes[1].title, QStringLiteral("Extracted"));
    QCOMPARE(outcomes[2].title, QStringLiteral("Extracted"));
    QCOMPARE(partialFilesUnder(m_dir->path()), QStringList());
}

void TestReliabilityBatchFaults::outputFolderRemovedWhileRunning()
{
    const QString folder = m_dir->filePath("vanishing");
    QVERIFY(queuetest::copyTo(m_long, m_dir->filePath("src/long.mkv")));
    const QList<Outcome> outcomes = runBatch(
        m_dir->filePath("src/long.mkv"), folder + "/long.mp3", [] {},
        [&] { QVERIFY(QDir(folder).removeRecursively()); });
    checkHealthyCompleted(outcomes);
    QCOMPARE(filesUnder(folder), QStringList());
}

void TestReliabilityBatchFaults::outputDiskFull()
{
    if (geteuid() != 0)
        QSKIP("mounting a tmpfs needs root");
    const QString mount = m_dir->filePath("small");
    QDir().mkpath(mount);
    const auto result = testtools::run("mount", {"-t", "tmpfs", "-o", "size=1m", "tmpfs", mount});
    if (result.exitCode != 0)
        QSKIP(qPrintable("tmpfs refused: " + QString::fromUtf8(result.err)));
    const auto unmount = qScopeGuard([&] { testtools::run("umount", {mount}); });

    const QString dest = mount + "/medium.mp3";
    QVERIFY(placeEarlierMp3(dest));
    const QByteArray before = readAll(dest);
    QVERIFY(queuetest::copyTo(m_medium, m_dir->filePath("src/medium.mkv")));
    const QList<Outcome> outcomes = runBatch(m_dir->filePath("src/medium.mkv"), dest, [] {});
    checkHealthyCompleted(outcomes);
    QCOMPARE(filesUnder(mount), QStringList{"medium.mp3"});
    QVERIFY(readAll(dest) == before);
}

void TestReliabilityBatchFaults::outputFolderNotWritable()
{
    if (geteuid() != 0)
        QSKIP("needs root to run the batch as another user");
    // The runner and its sources must be reachable by nobody.
    const QString runner = m_dir->filePath("batch_runner");
    QVERIFY(QFile::copy(QCoreApplication::applicationDirPath() + "/batch_runner", runner));
    const QString locked = m_dir->filePath("locked");
    const QString open = m_dir->filePath("open");
    QDir().mkpath(open);
    QVERIFY(placeEarlierMp3(locked + "/a.mp3"));
    const QByteArray before = readAll(locked + "/a.mp3");
    QVERIFY(queuetest::copyTo(m_clip, m_dir->filePath("src/a.mp4")));
    QVERIFY(queuetest::copyTo(m_clip, m_dir->filePath("src/b.mp4")));
    const auto all = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                     QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    for (const QString &path : {m_dir->path(), m_dir->filePath("src"), locked})
        setMode(path, all);
    setMode(open, all | QFile::WriteGroup | QFile::WriteOther);

    const auto result =
        testtools::run("setpriv", {"--reuid=nobody", "--regid=nogroup", "--clear-groups", runner,
                                   m_dir->filePath("src/a.mp4"), locked + "/a.mp3",
                                   m_dir->filePath("src/b.mp4"), open + "/b.mp3"});
    if (result.exitCode != 0 && result.out.isEmpty())
        QSKIP(qPrintable("setpriv refused: " + QString::fromUtf8(result.err)));
    QCOMPARE(result.exitCode, 0);
    const QStringList lines = QString::fromUtf8(result.out).trimmed().split('\n');
    QCOMPARE(lines.size(), 2);
    const QStringList victim = lines[0].split('\t');
    qInfo("victim: %s", qPrintable(lines[0]));
    QCOMPARE(victim.value(0), QStringLiteral("Failed"));
    QVERIFY2(isReadableMessage(victim.value(2)), qPrintable(victim.value(2)));
    QVERIFY2(lines[1].startsWith("Extracted\t"), qPrintable(lines[1]));
    QVERIFY(testtools::mp3valProblems(open + "/b.mp3").isEmpty());
    QCOMPARE(filesUnder(locked), QStringList{"a.mp3"});
    QVERIFY(readAll(locked + "/a.mp3") == before);
    QCOMPARE(partialFilesUnder(m_dir->path()), QStringList());
}

void TestReliabilityBatchFaults::sourceDeletedAfterInspection()
{
    const QString source = m_dir->filePath("src/gone.mp4");
    const QString dest = m_dir->filePath("out/gone.mp3");
    QVERIFY(queuetest::copyTo(m_clip, source));
    QVERIFY(placeEarlierMp3(dest));
    const QByteArray before = readAll(dest);
    const QList<Outcome> outcomes = runBatch(source, dest, [&] { QVERIFY(QFile::remove(source)); });
    checkHealthyCompleted(outcomes);
    QCOMPARE(filesUnder(m_dir->filePath("out")), QStringList{"gone.mp3"});
    QVERIFY(readAll(dest) == before);
}

void TestReliabilityBatchFaults::sourceReplacedByGarbageAfterInspection()
{
    const QString source = m_dir->filePath("src/swapped.mp4");
    const QString dest = m_dir->filePath("out/swapped.mp3");
    QVERIFY(queuetest::copyTo(m_clip, source));
    QVERIFY(placeEarlierMp3(dest));
    const QByteArray before = readAll(dest);
    const QList<Outcome> outcomes = runBatch(
        source, dest, [&] { QVERIFY(writeAll(source, noise(QFileInfo(source).size(), 5))); });
    checkHealthyCompleted(outcomes);
    QCOMPARE(filesUnder(m_dir->filePath("out")), QStringList{"swapped.mp3"});
    QVERIFY(readAll(dest) == before);
}

QTEST_GUILESS_MAIN(TestReliabilityBatchFaults)
#include "tst_reliability_batch_faults.moc"
