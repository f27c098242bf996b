// Envelopes checked against media whose layout is known: where the loud and quiet stretches
// are, and which track holds which.
#include "engine/waveform.h"
#include "support/test_media.h"

#include <QTest>

#include <algorithm>
#include <cmath>

using namespace tonbrook;

namespace {

// Silence with a loud burst from 10 to 12 s and a quieter tone from 30 to 40 s.
const char *const burstAndTone =
    "aevalsrc=if(between(t\\,10\\,12)\\,0.9*sin(2*PI*1000*t)\\,if(between(t\\,30\\,40)\\,"
    "0.2*sin(2*PI*440*t)\\,0)):s=48000:d=50";

struct Stretch {
    double from = 0;
    double to = 0;
};

// The first and last bucket whose peak passes the level, as times.
Stretch loudStretch(const WaveformEnvelope &envelope, int level)
{
    Stretch found{-1, -1};
    for (std::size_t i = 0; i < envelope.bucketCount(); ++i) {
        if (std::max(-int(envelope.lowest[i]), int(envelope.highest[i])) < level)
            continue;
        const double start = envelope.startSeconds + double(i) * envelope.secondsPerBucket;
        if (found.from < 0)
            found.from = start;
        found.to = start + envelope.secondsPerBucket;
    }
    return found;
}

int peakOver(const WaveformEnvelope &envelope, double from, double to)
{
    int peak = 0;
    for (std::size_t i = 0; i < envelope.bucketCount(); ++i) {
        const double start = envelope.startSeconds + double(i) * envelope.secondsPerBucket;
        if (start >= from && start + envelope.secondsPerBucket <= to)
            peak = std::max({peak, -int(envelope.lowest[i]), int(envelope.highest[i])});
    }
    return peak;
}

} // namespace

class TestWaveform : public QObject {
    Q_OBJECT

private slots:
    void stretchesWhereTheyAre();
    void eachTrackItsOwn();
};

void TestWaveform::stretchesWhereTheyAre()
{
    const QString path =
        testmedia::make("waveform-burst.mp4", {"-f", "lavfi", "-i", burstAndTone, "-f", "lavfi",
                                               "-i", "color=c=black:s=64x48:d=50", "-shortest",
                                               "-c:v", "libx264", "-c:a", "aac", "-b:a", "192k"});
    QVERIFY(!path.isEmpty());
    const auto asset = openMediaAsset(path);
    const MediaTrack track = asset->loadTracks(MediaType::audio).front();
    const auto envelope =
        computeWaveform(*asset, track, 0.0, asset->loadDuration(), overviewWaveformBuckets);
    QVERIFY(envelope);
    QCOMPARE(envelope->problem, QString());
    QCOMPARE(int(envelope->bucketCount()), overviewWaveformBuckets);
    QVERIFY(envelope->memoryBytes() <= 16 * 1024);

    // The burst, to within one bucket.
    const double bucket = envelope->secondsPerBucket;
    const Stretch burst = loudStretch(*envelope, 16000);
    QVERIFY2(std::abs(burst.from - 10.0) <= bucket && std::abs(burst.to - 12.0) <= bucket,
             qPrintable(QStringLiteral("%1 to %2 s").arg(burst.from).arg(burst.to)));
    // The tone, at its level.
    const Stretch tone = loudStretch(*envelope, 3000);
    QVERIFY2(std::abs(tone.to - 40.0) <= bucket, qPrintable(QString::number(tone.to)));
    QVERIFY(std::abs(peakOver(*envelope, 31.0, 39.0) - 0.2 * 32768) < 0.05 * 0.2 * 32768);
    // Silence is flat.
    for (const Stretch &quiet : {Stretch{0.5, 9.5}, Stretch{12.5, 29.5}, Stretch{40.5, 49.5}})
        QVERIFY2(peakOver(*envelope, quiet.from, quiet.to) <= 2,
                 qPrintable(QStringLiteral("%1 s").arg(quiet.from)));

    // A zoomed view over the burst's start resolves it finer.
    const auto zoomed = computeWaveform(*asset, track, 9.9, 10.1, 400);
    QVERIFY(zoomed);
    const Stretch onset = loudStretch(*zoomed, 16000);
    QVERIFY2(std::abs(onset.from - 10.0) <= 2 * zoomed->secondsPerBucket,
             qPrintable(QString::number(onset.from, 'f', 4)));
}

void TestWaveform::eachTrackItsOwn()
{
    // Track 0 holds the burst at 2 s, track 1 a steady quiet tone.
    const QString path = testmedia::make(
        "waveform-tracks.mkv",
        {"-f", "lavfi", "-i",
         "aevalsrc=if(between(t\\,2\\,3)\\,0.9*sin(2*PI*500*t)\\,0):s=44100:d=6", "-f", "lavfi",
         "-i", "sine=f=300:r=44100:d=6", "-map", "0:a", "-map", "1:a", "-c:a", "flac"});
    QVERIFY(!path.isEmpty());
    const auto asset = openMediaAsset(path);
    const std::vector<MediaTrack> tracks = asset->loadTracks(MediaType::audio);
    QCOMPARE(tracks.size(), std::size_t(2));
    const auto first = computeWaveform(*asset, tracks[0], 0.0, 6.0, 600);
    const auto second = computeWaveform(*asset, tracks[1], 0.0, 6.0, 600);
    QVERIFY(first && second);
    const Stretch burst = loudStretch(*first, 16000);
    QVERIFY(std::abs(burst.from - 2.0) <= first->secondsPerBucket);
    QCOMPARE(peakOver(*first, 4.0, 6.0), 0);
    // FFmpeg's sine source plays at an eighth of full scale, from start to end.
    QCOMPARE(loudStretch(*second, 16000).from, -1.0);
    QVERIFY(std::abs(peakOver(*second, 0.5, 5.5) - 32768 / 8) < 200);
}

QTEST_GUILESS_MAIN(TestWaveform)
#include "tst_waveform.moc"
