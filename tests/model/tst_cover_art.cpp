// Cover art kept in the cache folder reaches the MP3 byte for byte, or fails the job when the
// cache no longer holds it; run through the real job, engine and encoder.
#include "model/cover_art.h"
#include "queue/conversion_job.h"

#include "support/test_media.h"
#include "support/testtools.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace tonbrook;

class TestCoverArt : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void embeddedOrRefused_data();
    void embeddedOrRefused();

private:
    QTemporaryDir m_cache;
    QTemporaryDir m_out;
};

void TestCoverArt::initTestCase()
{
    QVERIFY(m_cache.isValid() && m_out.isValid());
    qputenv("XDG_CACHE_HOME", QFile::encodeName(m_cache.path()));
    QVERIFY(cacheSessionFolder().startsWith(m_cache.path() + "/tonbrook/session-"));
}

void TestCoverArt::embeddedOrRefused_data()
{
    QTest::addColumn<QString>("art");    // "poster" or a picture file chosen as the art
    QTest::addColumn<QString>("damage"); // what happens to the cache file before extracting
    const QString poster = QStringLiteral("poster");
    const QString png = testmedia::make(
        "chosen art.png", {"-f", "lavfi", "-i", "testsrc2=s=300x300", "-frames:v", "1"});
    QTest::newRow("poster") << poster << QString();
    QTest::newRow("chosen picture") << png << QString();
    QTest::newRow("poster, cache file removed") << poster << QStringLiteral("remove");
    QTest::newRow("poster, cache file altered") << poster << QStringLiteral("alter");
    QTest::newRow("chosen picture, cache file altered") << png << QStringLiteral("alter");
}

void TestCoverArt::embeddedOrRefused()
{
    QFETCH(QString, art);
    QFETCH(QString, damage);
    const QString clip =
        testmedia::make("cover art clip.mp4", testmedia::patternInput({640, 360}, 25, 2) +
                                                  testmedia::noiseInput(44100, 2, 2) +
                                                  QStringList{"-c:v", "libx264", "-c:a", "aac"});
    QVERIFY(!clip.isEmpty());
    const QString folder = m_out.filePath(QTest::currentDataTag());
    ConversionJob job(QUrl::fromLocalFile(clip), QUrl::fromLocalFile(folder), {});
    job.inspect();
    QVERIFY(QTest::qWaitFor([&] { return job.status().is(JobStatus::Case::ready); }, 60000));
    QVERIFY(job.metadata().coverArtData);

    if (art != "poster") {
        QFile picture(art);
        QVERIFY(picture.open(QIODevice::ReadOnly));
        MediaMetadata metadata = job.metadata();
        metadata.coverArtData = picture.readAll();
        job.setMetadata(metadata);
    }
    const CoverArt stored = *job.metadata().coverArtData;
    const std::optional<QByteArray> expected = stored.read();
    QVERIFY(expected && !expected->isEmpty());
    QVERIFY(stored.cachePath().startsWith(cacheSessionFolder() + '/'));

    QFile cached(stored.cachePath());
    if (damage == "remove") {
        QVERIFY(cached.remove());
    } else if (damage == "alter") {
        QByteArray bytes = *expected;
        bytes[bytes.size() / 2] = char(bytes[bytes.size() / 2] ^ 0x5a);
        QVERIFY(cached.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(cached.write(bytes), bytes.size());
        cached.close();
    }

    job.startExtraction();
    QVERIFY(QTest::qWaitFor([&] { return job.status().isTerminal() && !job.isExtractionRunning(); },
                            60000));
    const QString mp3 = job.outputURL().toLocalFile();
    if (damage.isEmpty()) {
        QVERIFY2(job.status().is(JobStatus::Case::completed), qPrintable(job.status().error()));
        const QJsonObject apic = testtools::id3(mp3)["frames"].toObject()["APIC"].toObject();
        QCOMPARE(apic["length"].toInt(), expected->size());
        QCOMPARE(apic["sha256"].toString(),
                 QString::fromLatin1(
                     QCryptographicHash::hash(*expected, QCryptographicHash::Sha256).toHex()));
        return;
    }
    QVERIFY(job.status().is(JobStatus::Case::failed));
    const QString error = job.status().error();
    QVERIFY2(error.startsWith("The cover art could not be read back from Tonbrook's cache (" +
                              stored.cachePath()),
             qPrintable(error));
    QVERIFY2(error.endsWith("Inspect the file again or choose the cover art again."),
             qPrintable(error));
    // Nothing is written, so no MP3 can carry other bytes as its art.
    QVERIFY(!QFile::exists(mp3));
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList());
}

QTEST_GUILESS_MAIN(TestCoverArt)
#include "tst_cover_art.moc"
