// Broken and hostile inputs through the real queue and engine: each one ends failed with a
// readable reason, or completes with a valid MP3, quickly, and leaves no file behind.
#include "reliability_support.h"

#include "support/test_media.h"
#include "support/testtools.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace tonbrook;
using namespace reliability;

namespace {

constexpr int caseBudgetMs = 30000;

QString mediaFile(const QString &name, const QByteArray &bytes)
{
    return testmedia::writeBytes(name, bytes);
}

QByteArray truncated(const QByteArray &bytes, double fraction)
{
    return bytes.left(qsizetype(double(bytes.size()) * fraction));
}

QByteArray overwritten(QByteArray bytes, double from, double to, quint32 seed)
{
    const qsizetype begin = qsizetype(double(bytes.size()) * from);
    const qsizetype end = qsizetype(double(bytes.size()) * to);
    bytes.replace(begin, end - begin, noise(end - begin, seed));
    return bytes;
}

// Offset of the last box of this type, at its size field; -1 when there is none.
qsizetype lastBox(const QByteArray &bytes, const char *type)
{
    const qsizetype at = bytes.lastIndexOf(type);
    return at >= 4 ? at - 4 : -1;
}

void putBigEndian(QByteArray &bytes, qsizetype at, quint64 value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes[at + i] = char((value >> (8 * (size - 1 - i))) & 0xff);
}

// Fields of a version 0 QuickTime sound description, counted from its format code.
constexpr qsizetype channelsField = 20;
constexpr qsizetype sampleRateField = 28;

} // namespace

class TestReliabilityCorpus : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void brokenInput_data();
    void brokenInput();

private:
    QByteArray m_fastStart;
    QByteArray m_indexAtEnd;
    QByteArray m_pcmMov;
    QString m_damagedMkv;
};

void TestReliabilityCorpus::initTestCase()
{
    const QStringList av = testmedia::patternInput({160, 120}, 25, 4.0) +
                           QStringList{"-f",   "lavfi", "-i",       "sine=frequency=330:duration=4",
                                       "-ac",  "2",     "-c:v",     "mpeg4",
                                       "-c:a", "aac",   "-shortest"};
    const QString fast =
        testmedia::make("corpus-faststart.mp4", av + QStringList{"-movflags", "+faststart"});
    const QString tail = testmedia::make("corpus-index-at-end.mp4", av);
    const QString pcm = testmedia::make(
        "corpus-pcm.mov", {"-f", "lavfi", "-i", "sine=frequency=500:sample_rate=44100:duration=3",
                           "-ac", "2", "-c:a", "pcm_s16le"});
    // The noise filter damages the audio packets only, leaving the container intact.
    m_damagedMkv = testmedia::make(
        "corpus-damaged-audio.mkv",
        testmedia::patternInput({160, 120}, 25, 4.0) +
            QStringList{"-f", "lavfi", "-i", "sine=frequency=330:duration=4", "-ac", "2", "-c:v",
                        "mpeg4", "-c:a", "aac", "-bsf:a", "noise=amount=8", "-shortest"});
    QVERIFY(!fast.isEmpty() && !tail.isEmpty() && !pcm.isEmpty() && !m_damagedMkv.isEmpty());
    m_fastStart = readAll(fast);
    m_indexAtEnd = readAll(tail);
    m_pcmMov = readAll(pcm);
    QVERIFY(lastBox(m_indexAtEnd, "moov") > lastBox(m_indexAtEnd, "mdat"));
    QVERIFY(m_pcmMov.contains("sowt"));
}

void TestReliabilityCorpus::brokenInput_data()
{
    QTest::addColumn<QString>("source");

    QTest::newRow("empty") << mediaFile("corpus-empty.mp4", {});
    QTest::newRow("random bytes") << mediaFile("corpus-random.mkv", noise(256 * 1024, 7));
    QTest::newRow("text as avi") << mediaFile(
        "corpus-text.avi", QByteArray("Shopping list\nmilk\nbread\n").repeated(200));
    for (const double cut : {0.1, 0.4, 0.9})
        QTest::addRow("mp4 cut at %d%%", int(cut * 100)) << mediaFile(
            QStringLiteral("corpus-cut-%1.mp4").arg(int(cut * 100)), truncated(m_fastStart, cut));
    QTest::newRow("mp4 middle overwritten")
        << mediaFile("corpus-overwritten.mp4", overwritten(m_fastStart, 0.4, 0.6, 11));
    QTest::newRow("mp4 header overwritten")
        << mediaFile("corpus-header-overwritten.mp4", overwritten(m_fastStart, 0.0, 0.05, 13));

    const qsizetype moov = lastBox(m_indexAtEnd, "moov");
    QTest::newRow("mp4 index cut off")
        << mediaFile("corpus-index-cut.mp4", m_indexAtEnd.left(moov + 40));
    QTest::newRow("mp4 index missing")
        << mediaFile("corpus-index-missing.mp4", m_indexAtEnd.left(moov));
    QTest::newRow("mkv damaged audio") << m_damagedMkv;
    QTest::newRow("mkv cut") << mediaFile("corpus-mkv-cut.mkv",
                                          truncated(readAll(m_damagedMkv), 0.5));

    const qsizetype format = m_pcmMov.indexOf("sowt");
    const auto patched = [&](qsizetype field, quint64 value, int size) {
        QByteArray bytes = m_pcmMov;
        putBigEndian(bytes, format + field, value, size);
        return bytes;
    };
    QTest::newRow("mov rate 0") << mediaFile("corpus-rate-0.mov", patched(sampleRateField, 0, 4));
    QTest::newRow("mov rate 1") << mediaFile("corpus-rate-1.mov",
                                             patched(sampleRateField, 0x00010000, 4));
    QTest::newRow("mov rate 65535")
        << mediaFile("corpus-rate-max.mov", patched(sampleRateField, 0xffff0000, 4));
    QTest::newRow("mov 0 channels") << mediaFile("corpus-ch-0.mov", patched(channelsField, 0, 2));
    QTest::newRow("mov 65535 channels")
        << mediaFile("corpus-ch-max.mov", patched(channelsField, 0xffff, 2));
    QTest::newRow("mov 9 channels") << mediaFile("corpus-ch-9.mov", patched(channelsField, 9, 2));
}

void TestReliabilityCorpus::brokenInput()
{
    QFETCH(QString, source);
    QVERIFY(!source.isEmpty());
    QTemporaryDir out;
    auto queue = makeQueue();
    queue->setUseSourceDirectory(false);
    queue->setCustomOutputFolder(QUrl::fromLocalFile(out.path()));

    QElapsedTimer clock;
    clock.start();
    queue->addFiles({QUrl::fromLocalFile(source)});
    QCOMPARE(queue->jobs().size(), 1);
    ConversionJob *job = queue->jobs().first();
    QVERIFY2(waitInspected(job, caseBudgetMs), "inspection did not end");
    if (job->status().is(JobStatus::Case::ready)) {
        queue->startBatch();
        QVERIFY2(waitFinished(job, int(caseBudgetMs - clock.elapsed())), "extraction did not end");
        QVERIFY(QTest::qWaitFor([&] { return !queue->isProcessing(); }, 5000));
    }
    QVERIFY2(clock.elapsed() < caseBudgetMs, qPrintable(QString::number(clock.elapsed())));

    const JobStatus status = job->status();
    qInfo("%s: %s %s", qPrintable(QFileInfo(source).fileName()), qPrintable(status.title()),
          qPrintable(status.error()));
    const QString mp3 = job->outputURL().toLocalFile();
    if (status.is(JobStatus::Case::failed)) {
        QVERIFY2(isReadableMessage(status.error()), qPrintable(status.error()));
        QCOMPARE(job->errorMessage().value_or(QString()), status.error());
        QCOMPARE(filesUnder(out.path()), QStringList());
    } else {
        QVERIFY2(status.is(JobStatus::Case::completed), qPrintable(status.title()));
        QCOMPARE(filesUnder(out.path()), QStringList{QFileInfo(mp3).fileName()});
        // mp3val's frame-count heuristic flags any MP3 shorter than a third of a second.
        const QStringList problems =
            testtools::mp3valProblems(mp3).filter(QRegularExpression("^(?!.*Too few MPEG frames)"));
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join("; ")));
        const testtools::ProcessResult decoded = testtools::run(
            testtools::ffmpegPath(), {"-v", "error", "-xerror", "-i", mp3, "-f", "null", "-"});
        QVERIFY2(decoded.exitCode == 0 && decoded.err.isEmpty(), decoded.err.constData());
        QVERIFY(testmedia::formatDuration(mp3) > 0.0);
        QVERIFY(status.duration() >= 0.0 && status.duration() < 10.0);
    }
}

QTEST_GUILESS_MAIN(TestReliabilityCorpus)
#include "tst_reliability_corpus.moc"
