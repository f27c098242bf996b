// Videos of every size from 1×1 to 17×17, and lines of 1×1000 and 1000×1, dropped as a folder
// per codec: the poster frame and the cover art come out whole, and every file converts. Narrow
// pictures are where scalers write past a line, so this program also runs under glibc's
// checking allocator (see CMakeLists.txt), which catches writes that no sanitizer sees.
#include "reliability_support.h"

#include "support/test_media.h"
#include "support/testtools.h"

#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

using namespace tonbrook;
using namespace reliability;

namespace {

constexpr int posterLimit = 800;
// The source is one flat colour; lossy coding of a few pixels stays well inside this.
constexpr int colorTolerance = 48;
const QColor sourceColor(200, 40, 40);

QList<QSize> tinySizes()
{
    QList<QSize> sizes;
    for (int width = 1; width <= 17; ++width) {
        for (int height = 1; height <= 17; ++height)
            sizes << QSize(width, height);
    }
    return sizes << QSize(1, 1000) << QSize(1000, 1);
}

QString sizeName(QSize size)
{
    return QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
}

QSize posterSize(QSize video)
{
    const double scale =
        std::min({1.0, double(posterLimit) / video.width(), double(posterLimit) / video.height()});
    return {std::max(1, int(std::lround(video.width() * scale))),
            std::max(1, int(std::lround(video.height() * scale)))};
}

// The first pixel that is not the source colour, or an empty string when all are.
QString strayPixel(const QImage &image)
{
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (std::abs(pixel.red() - sourceColor.red()) > colorTolerance ||
                std::abs(pixel.green() - sourceColor.green()) > colorTolerance ||
                std::abs(pixel.blue() - sourceColor.blue()) > colorTolerance)
                return QStringLiteral("(%1,%2) is %3").arg(x).arg(y).arg(pixel.name());
        }
    }
    return {};
}

} // namespace

class TestReliabilityTinyVideo : public QObject {
    Q_OBJECT

private slots:
    void everySize_data();
    void everySize();
};

void TestReliabilityTinyVideo::everySize_data()
{
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QStringList>("codecOptions");
    QTest::addColumn<bool>("oddSizesNeed444");

    QTest::newRow("vp8 webm") << "webm" << QStringList{"-c:v", "libvpx", "-c:a", "libvorbis"}
                              << false;
    QTest::newRow("vp9 webm") << "webm" << QStringList{"-c:v", "libvpx-vp9", "-c:a", "libopus"}
                              << false;
    // x264 takes odd sizes only without chroma subsampling.
    QTest::newRow("h264 mp4") << "mp4" << QStringList{"-c:v", "libx264", "-c:a", "aac"} << true;
    QTest::newRow("mpeg4 avi") << "avi" << QStringList{"-c:v", "mpeg4", "-c:a", "libmp3lame"}
                               << false;
}

void TestReliabilityTinyVideo::everySize()
{
    QFETCH(QString, extension);
    QFETCH(QStringList, codecOptions);
    QFETCH(bool, oddSizesNeed444);

    const QStringList inputs{
        "-f", "lavfi",
        "-i", QStringLiteral("color=c=%1:s=16x16:r=10:d=0.5,format=rgb24").arg(sourceColor.name()),
        "-f", "lavfi",
        "-i", "sine=frequency=440:duration=0.5"};
    std::vector<testmedia::SetOutput> outputs;
    const QList<QSize> sizes = tinySizes();
    for (const QSize size : sizes) {
        const bool even = size.width() % 2 == 0 && size.height() % 2 == 0;
        const QString pixelFormat = oddSizesNeed444 && !even ? "yuv444p" : "yuv420p";
        outputs.push_back(
            {QStringList{
                 "-map", "0:v", "-map", "1:a", "-vf",
                 QStringLiteral("scale=%1:%2,setsar=1").arg(size.width()).arg(size.height()),
                 "-pix_fmt", pixelFormat} +
                 codecOptions + QStringList{"-shortest"},
             QStringLiteral("tiny-%1.%2").arg(sizeName(size), extension)});
    }
    const QString folder =
        testmedia::makeSet(QStringLiteral("tiny-%1").arg(
                               QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-')),
                           inputs, outputs);
    QVERIFY2(!folder.isEmpty(), "ffmpeg could not make the videos");

    QTemporaryDir out;
    auto queue = makeQueue();
    queue->setUseSourceDirectory(false);
    queue->setCustomOutputFolder(QUrl::fromLocalFile(out.path()));
    queue->setConcurrentLimit(16);
    queue->addFiles({QUrl::fromLocalFile(folder)});
    const QList<ConversionJob *> jobs = queue->jobs();
    QCOMPARE(jobs.size(), sizes.size());
    for (ConversionJob *job : jobs)
        QVERIFY2(waitInspected(job, 60000), qPrintable(job->sourceURL().fileName()));

    for (ConversionJob *job : jobs) {
        const QString name = job->sourceURL().fileName();
        const auto failure = [&](const QString &what) {
            return qPrintable(QStringLiteral("%1: %2").arg(name, what));
        };
        QVERIFY2(job->status().is(JobStatus::Case::ready), failure(job->status().error()));
        const QString dimensions = name.section('.', 0, 0).section('-', 1);
        const QSize video(dimensions.section('x', 0, 0).toInt(),
                          dimensions.section('x', 1, 1).toInt());
        QCOMPARE(job->fileInfo()->videoResolution, std::optional<QSizeF>(QSizeF(video)));

        QVERIFY2(job->fileInfo()->thumbnail.has_value(), failure("no poster frame"));
        const QImage poster = job->fileInfo()->thumbnail->image();
        QVERIFY2(poster.size() == posterSize(video), failure(sizeName(poster.size())));
        const QString stray = strayPixel(poster);
        QVERIFY2(stray.isEmpty(), failure("poster pixel " + stray));

        QVERIFY2(job->metadata().coverArtData.has_value(), failure("no cover art"));
        const QImage art = QImage::fromData(job->metadata().coverArtData->bytes(), "JPEG");
        QVERIFY2(art.size() == poster.size(), failure("cover art " + sizeName(art.size())));
        const QString strayArt = strayPixel(art);
        QVERIFY2(strayArt.isEmpty(), failure("cover art pixel " + strayArt));
    }

    queue->startBatch();
    for (ConversionJob *job : jobs)
        QVERIFY2(waitFinished(job, 60000), qPrintable(job->sourceURL().fileName()));
    QVERIFY(QTest::qWaitFor([&] { return !queue->isProcessing(); }, 5000));
    QStringList mp3s;
    for (ConversionJob *job : jobs) {
        QVERIFY2(job->status().is(JobStatus::Case::completed),
                 qPrintable(job->sourceURL().fileName() + ": " + job->status().error()));
        mp3s << job->outputURL().toLocalFile();
    }
    QCOMPARE(filesUnder(out.path()).size(), jobs.size());
    const QStringList problems = testtools::mp3valProblems(mp3s);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join("; ")));
}

QTEST_GUILESS_MAIN(TestReliabilityTinyVideo)
#include "tst_reliability_tiny_video.moc"
