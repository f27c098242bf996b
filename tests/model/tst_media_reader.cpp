#include "model/media_reader.h"

#include "support/test_media.h"
#include "support/testtools.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTest>

#include <cmath>
#include <future>
#include <thread>

using namespace tonbrook;

Q_DECLARE_METATYPE(std::optional<tonbrook::MediaTimeRange>)

namespace {

constexpr double fileSeconds = 30.0;

struct ReadResult {
    std::vector<qint16> samples;
    ReaderStatus status = ReaderStatus::unknown;
    bool wholeFrames = true;
    int buffers = 0;
    QString error;
};

ReadResult readAll(MediaAsset &asset, PcmOutputSettings settings,
                   std::optional<MediaTimeRange> range = std::nullopt, int track = 0)
{
    ReadResult result;
    const auto tracks = asset.loadTracks(MediaType::audio);
    if (track >= int(tracks.size()))
        return result;
    auto reader = asset.createReader();
    if (range)
        reader->setTimeRange(*range);
    reader->addOutput(tracks[size_t(track)], settings);
    if (reader->startReading()) {
        while (auto buffer = reader->copyNextSampleBuffer()) {
            result.wholeFrames = result.wholeFrames &&
                                 buffer->samples.size() % size_t(settings.channelCount) == 0 &&
                                 buffer->channelCount == settings.channelCount;
            result.samples.insert(result.samples.end(), buffer->samples.begin(),
                                  buffer->samples.end());
            ++result.buffers;
        }
    }
    result.status = reader->status();
    if (auto error = reader->error())
        result.error = error->description();
    return result;
}

ReadResult readFile(const QString &path, PcmOutputSettings settings,
                    std::optional<MediaTimeRange> range = std::nullopt)
{
    const auto asset = openMediaAsset(path);
    return readAll(*asset, settings, range);
}

// The sample index of the source that a range start lands on, by ffprobe's clocks. Audio that
// starts less than 40 ms after the file (a decoder's cut codec delay) starts the timeline.
qint64 sourceIndexAt(const QString &path, qint64 startUnits, int rate)
{
    // Half a sample rounds up, in exact arithmetic.
    const qint64 fromStart = (startUnits * rate + 300) / 600;
    const double firstAudio = testmedia::firstAudioFrameTime(path);
    double origin = testmedia::formatStartTime(path);
    if (firstAudio > origin && firstAudio - origin < 0.04)
        origin = firstAudio;
    return fromStart + std::llround((origin - firstAudio) * rate);
}

// Lag (within +-maxLag) at which the reference best matches the signal, and the match quality.
std::pair<int, double> bestLag(const std::vector<qint16> &signal, int channels,
                               const std::vector<qint16> &reference, qint64 referenceFrame,
                               int frames, int maxLag)
{
    int best = 0;
    double bestScore = -2.0;
    for (int lag = -maxLag; lag <= maxLag; ++lag) {
        double dot = 0, a2 = 0, b2 = 0;
        for (int i = 0; i < frames; ++i) {
            const qint64 r = referenceFrame + lag + i;
            if (r < 0 || size_t((r + 1) * channels) > reference.size() ||
                size_t((i + 1) * channels) > signal.size())
                continue;
            const double a = signal[size_t(i * channels)];
            const double b = reference[size_t(r * channels)];
            dot += a * b;
            a2 += a * a;
            b2 += b * b;
        }
        const double score = a2 > 0 && b2 > 0 ? dot / std::sqrt(a2 * b2) : -1.0;
        if (score > bestScore) {
            bestScore = score;
            best = lag;
        }
    }
    return {best, bestScore};
}

QString losslessFile(const QString &name, const QStringList &codec, int rate)
{
    return testmedia::make(name, testmedia::patternInput({160, 120}, 10, fileSeconds) +
                                     testmedia::rampInput(rate, 2, fileSeconds) + codec +
                                     QStringList{"-shortest"});
}

QString noiseFile(const QString &name, const QStringList &codec, int rate)
{
    return testmedia::make(name, testmedia::patternInput({160, 120}, 10, fileSeconds) +
                                     testmedia::noiseInput(rate, 2, fileSeconds) + codec +
                                     QStringList{"-shortest"});
}

struct LosslessCase {
    const char *name;
    QStringList codec;
    int rate;
};

const std::vector<LosslessCase> &losslessCases()
{
    static const std::vector<LosslessCase> cases{
        {"pcm.mov", {"-c:v", "libx264", "-c:a", "pcm_s16le"}, 48000},
        {"alac.mp4", {"-c:v", "libx264", "-c:a", "alac"}, 48000},
        {"alac.m4v", {"-c:v", "libx264", "-c:a", "alac"}, 48000},
        {"flac.mkv", {"-c:v", "libx264", "-c:a", "flac"}, 48000},
        // 1024-sample packets on Matroska's millisecond clock: no timestamp is exact.
        {"pcm.mkv", {"-c:v", "libx264", "-c:a", "pcm_s16le"}, 44100},
        {"pcm.avi", {"-c:v", "mpeg4", "-c:a", "pcm_s16le"}, 48000},
        {"pcm.flv", {"-c:v", "flv1", "-c:a", "pcm_s16le"}, 44100},
        {"pcm.wmv", {"-c:v", "wmv2", "-c:a", "pcm_s16le"}, 44100},
        {"flac.ogv", {"-c:v", "libtheora", "-c:a", "flac"}, 48000},
        {"s302m.ts", {"-c:v", "mpeg2video", "-c:a", "s302m", "-strict", "-2"}, 48000},
    };
    return cases;
}

} // namespace

class TestMediaReader : public QObject {
    Q_OBJECT

private slots:
    void rangeIsSampleAccurate_data();
    void rangeIsSampleAccurate();
    void resampledRangeStartsAtStart_data();
    void resampledRangeStartsAtStart();
    void lossyRangeAligns_data();
    void lossyRangeAligns();
    void wholeReadMatchesIndependentDecoder_data();
    void wholeReadMatchesIndependentDecoder();
    void readsFollowTheVideoTimeline_data();
    void readsFollowTheVideoTimeline();
    void channelConversion_data();
    void channelConversion();
    void formatChangesMidStream();
    void headerlessDurationIsFound_data();
    void headerlessDurationIsFound();
    void readersOnOneAssetAreIndependent();
    void readersInParallelThreads();
    void brokenFilesFailReadably_data();
    void brokenFilesFailReadably();
    void truncatedMediaEndsCleanly();
    void cancelStopsReading();
    void outputRules();
    void seekCostDoesNotGrowWithPosition();
};

void TestMediaReader::rangeIsSampleAccurate_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("rate");
    QTest::addColumn<qint64>("start");
    QTest::addColumn<qint64>("length");
    for (const auto &c : losslessCases()) {
        const QString path = losslessFile(QString::fromLatin1(c.name), c.codec, c.rate);
        const std::pair<qint64, qint64> ranges[] = {{0, 900}, {4381, 1200}, {16200, 1499}};
        for (const auto &[start, length] : ranges) {
            QTest::addRow("%s %lld+%lld", c.name, start, length)
                << path << c.rate << start << length;
        }
    }
}

void TestMediaReader::rangeIsSampleAccurate()
{
    QFETCH(QString, path);
    QFETCH(int, rate);
    QFETCH(qint64, start);
    QFETCH(qint64, length);
    QVERIFY(!path.isEmpty());
    const MediaTimeRange range{start, length};

    const ReadResult result = readFile(path, {rate, 2}, range);
    QCOMPARE(result.status, ReaderStatus::completed);
    QVERIFY(result.wholeFrames);
    const qint64 expectedFrames = std::llround(range.durationSeconds() * rate);
    const qint64 frames = qint64(result.samples.size() / 2);
    QVERIFY2(std::abs(frames - expectedFrames) <= 1,
             qPrintable(QStringLiteral("%1 frames, expected %2").arg(frames).arg(expectedFrames)));

    const qint64 first = sourceIndexAt(path, range.start, rate);
    for (qint64 i = 0; i < frames; ++i) {
        for (int channel = 0; channel < 2; ++channel) {
            const qint16 actual = result.samples[size_t(i * 2 + channel)];
            const qint16 expected = testmedia::rampSample(first + i, channel);
            if (actual != expected) {
                QFAIL(qPrintable(QStringLiteral("frame %1 channel %2 is %3, expected %4 "
                                                "(source sample %5)")
                                     .arg(i)
                                     .arg(channel)
                                     .arg(actual)
                                     .arg(expected)
                                     .arg(first + i)));
            }
        }
    }
}

void TestMediaReader::resampledRangeStartsAtStart_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("outputRate");
    QTest::addColumn<qint64>("start");
    const QString mkv = losslessFile("flac.mkv", losslessCases()[3].codec, 48000);
    const QString mp4 = losslessFile("alac.mp4", losslessCases()[1].codec, 48000);
    // Starts chosen away from the sawtooth's jumps, where a resampler rings.
    QTest::newRow("mkv to 44100") << mkv << 44100 << qint64(4000);
    QTest::newRow("mkv to 32000") << mkv << 32000 << qint64(4000);
    QTest::newRow("mp4 to 44100") << mp4 << 44100 << qint64(12000);
    QTest::newRow("mp4 to 22050") << mp4 << 22050 << qint64(600);
}

void TestMediaReader::resampledRangeStartsAtStart()
{
    QFETCH(QString, path);
    QFETCH(int, outputRate);
    QFETCH(qint64, start);
    const MediaTimeRange range{start, 300};
    const ReadResult result = readFile(path, {outputRate, 2}, range);
    QCOMPARE(result.status, ReaderStatus::completed);
    const qint64 frames = qint64(result.samples.size() / 2);
    QVERIFY(std::abs(frames - std::llround(0.5 * outputRate)) <= 1);

    // A ramp stays a ramp through a resampler: frame k is the source at start + k / rate.
    const qint64 first = sourceIndexAt(path, range.start, 48000);
    for (const qint64 k : {qint64(0), qint64(1), frames / 3}) {
        const qint64 source = first + std::llround(double(k) * 48000 / outputRate);
        const int expected = testmedia::rampSample(source, 0);
        const int actual = result.samples[size_t(k * 2)];
        QVERIFY2(std::abs(actual - expected) <= 3,
                 qPrintable(QStringLiteral("frame %1 is %2, expected about %3")
                                .arg(k)
                                .arg(actual)
                                .arg(expected)));
    }
}

void TestMediaReader::lossyRangeAligns_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("rate");
    QTest::addColumn<qint64>("start");
    struct Case {
        const char *name;
        QStringList codec;
        int rate;
    };
    const Case cases[] = {
        {"opus.webm", {"-c:v", "libvpx", "-b:v", "100k", "-c:a", "libopus", "-b:a", "128k"}, 48000},
        {"vorbis.webm", {"-c:v", "libvpx", "-b:v", "100k", "-c:a", "libvorbis"}, 48000},
        {"aac.mp4", {"-c:v", "libx264", "-c:a", "aac", "-b:a", "192k"}, 48000},
        {"aac.mov", {"-c:v", "libx264", "-c:a", "aac", "-b:a", "192k"}, 44100},
        {"aac.mkv", {"-c:v", "libx264", "-c:a", "aac", "-b:a", "192k"}, 44100},
        {"aac.3gp", {"-c:v", "libx264", "-c:a", "aac", "-b:a", "128k"}, 48000},
        {"aac.ts", {"-c:v", "libx264", "-c:a", "aac", "-b:a", "192k"}, 48000},
        {"mp2.ts", {"-c:v", "mpeg2video", "-c:a", "mp2", "-b:a", "256k"}, 48000},
        {"mp2.mpg", {"-c:v", "mpeg2video", "-c:a", "mp2", "-b:a", "256k"}, 48000},
        {"ac3.mpg", {"-c:v", "mpeg2video", "-c:a", "ac3", "-b:a", "256k"}, 48000},
        {"mp3.avi", {"-c:v", "mpeg4", "-c:a", "libmp3lame", "-b:a", "192k"}, 44100},
        {"mp3.flv", {"-c:v", "flv1", "-c:a", "libmp3lame", "-b:a", "192k"}, 44100},
        {"wmav2.wmv", {"-c:v", "wmv2", "-c:a", "wmav2", "-b:a", "192k"}, 44100},
        {"vorbis.ogv", {"-c:v", "libtheora", "-c:a", "libvorbis"}, 48000},
    };
    for (const auto &c : cases) {
        const QString path = noiseFile(QString::fromLatin1(c.name), c.codec, c.rate);
        for (const qint64 start : {qint64(4381), qint64(15600)})
            QTest::addRow("%s %lld", c.name, start) << path << c.rate << start;
    }
}

void TestMediaReader::lossyRangeAligns()
{
    QFETCH(QString, path);
    QFETCH(int, rate);
    QFETCH(qint64, start);
    QVERIFY(!path.isEmpty());
    const MediaTimeRange range{start, 1500};
    const ReadResult result = readFile(path, {rate, 2}, range);
    QCOMPARE(result.status, ReaderStatus::completed);
    QVERIFY(result.wholeFrames);
    const qint64 frames = qint64(result.samples.size() / 2);
    QVERIFY2(std::abs(frames - std::llround(2.5 * rate)) <= 1, qPrintable(QString::number(frames)));

    // ffmpeg's own continuous decode is the reference; a seek must land on the same samples.
    const std::vector<qint16> reference = testmedia::decodeAudio(path, rate, 2);
    const qint64 first = sourceIndexAt(path, range.start, rate);
    const auto [lag, score] = bestLag(result.samples, 2, reference, first, 8192, 300);
    const QByteArray row = QTest::currentDataTag();
    if (row.startsWith("vorbis.webm") || row.startsWith("wmav2.wmv")) {
        // Vorbis's two block sizes leave no frame grid, and ASF truncates its millisecond
        // stamps: both land within one tick of the clock, not to the sample yet.
        QVERIFY2(std::abs(lag) <= rate / 1000 + 1 && score > 0.9, qPrintable(QString::number(lag)));
        if (std::abs(lag) > 1)
            QEXPECT_FAIL("", "millisecond clock without a usable frame grid", Continue);
    }
    QVERIFY2(std::abs(lag) <= 1 && score > 0.9,
             qPrintable(QStringLiteral("best lag %1 (match %2)").arg(lag).arg(score)));
}

void TestMediaReader::wholeReadMatchesIndependentDecoder_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("rate");
    for (const auto &c : losslessCases())
        QTest::newRow(c.name) << losslessFile(QString::fromLatin1(c.name), c.codec, c.rate)
                              << c.rate;
}

void TestMediaReader::wholeReadMatchesIndependentDecoder()
{
    QFETCH(QString, path);
    QFETCH(int, rate);
    const ReadResult result = readFile(path, {rate, 2});
    QCOMPARE(result.status, ReaderStatus::completed);
    QVERIFY(result.wholeFrames);
    QVERIFY(result.buffers > 1);
    const std::vector<qint16> reference = testmedia::decodeAudio(path, rate, 2);
    QCOMPARE(result.samples.size(), reference.size());
    QVERIFY(result.samples == reference);
    QCOMPARE(result.samples.front(), testmedia::rampSample(0, 0));
}

void TestMediaReader::readsFollowTheVideoTimeline_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<std::optional<MediaTimeRange>>("range");
    QTest::addColumn<qint64>("silentFrames");
    QTest::addColumn<qint64>("firstSample");
    QTest::addColumn<qint64>("frames");
    // 4 s of audio from 1.5 s in a 6 s video, and 4 s of audio from the start of a 10 s one.
    const QStringList lateAudio =
        QStringList{"-itsoffset", "1.5"} + testmedia::rampInput(48000, 2, 4);
    const QString lateMkv =
        testmedia::make("late-audio.mkv", testmedia::patternInput({160, 120}, 10, 6) + lateAudio +
                                              QStringList{"-c:v", "libx264", "-c:a", "flac"});
    const QString lateMov =
        testmedia::make("late-audio.mov", testmedia::patternInput({160, 120}, 10, 6) + lateAudio +
                                              QStringList{"-c:v", "libx264", "-c:a", "pcm_s16le"});
    const QString shortTrack =
        testmedia::make("short-track.mkv", testmedia::patternInput({160, 120}, 10, 10) +
                                               testmedia::rampInput(48000, 2, 4) +
                                               QStringList{"-c:v", "libx264", "-c:a", "flac"});
    // An audio track without a single packet.
    const QString noAudio =
        testmedia::make("packetless-audio.mkv",
                        testmedia::patternInput({160, 120}, 10, 3) +
                            QStringList{"-f", "lavfi", "-i", "anullsrc=r=48000:cl=stereo:d=3",
                                        "-c:v", "libx264", "-c:a", "flac", "-frames:a", "0"});
    const std::optional<MediaTimeRange> whole;
    for (const QString &late : {lateMkv, lateMov}) {
        const QByteArray kind = QFileInfo(late).suffix().toLatin1();
        QTest::addRow("%s whole", kind.data())
            << late << whole << qint64(72000) << qint64(0) << qint64(264000);
        QTest::addRow("%s end trimmed", kind.data())
            << late << std::optional(MediaTimeRange{0, 3540}) << qint64(72000) << qint64(0)
            << qint64(264000);
        QTest::addRow("%s in the gap", kind.data())
            << late << std::optional(MediaTimeRange{120, 480}) << qint64(38400) << qint64(0)
            << qint64(38400);
        QTest::addRow("%s in the gap after a seek", kind.data())
            << late << std::optional(MediaTimeRange{300, 420}) << qint64(33600) << qint64(0)
            << qint64(33600);
        QTest::addRow("%s across the gap's end", kind.data())
            << late << std::optional(MediaTimeRange{600, 600}) << qint64(24000) << qint64(0)
            << qint64(48000);
    }
    QTest::newRow("after the track's end")
        << shortTrack << std::optional(MediaTimeRange{3600, 1200}) << qint64(96000) << qint64(0)
        << qint64(96000);
    // Where the track ends inside the range, the read ends with it.
    QTest::newRow("across the track's end")
        << shortTrack << std::optional(MediaTimeRange{1800, 1200}) << qint64(0) << qint64(144000)
        << qint64(48000);
    QTest::newRow("no audio at all, whole")
        << noAudio << whole << qint64(0) << qint64(0) << qint64(0);
    QTest::newRow("no audio at all, ranged") << noAudio << std::optional(MediaTimeRange{600, 600})
                                             << qint64(0) << qint64(0) << qint64(0);
}

// Whole and trimmed reads share one timeline, the video's: where it holds no audio the read
// gives silence, and a range without any audio is silence of its length, not an empty read.
void TestMediaReader::readsFollowTheVideoTimeline()
{
    QFETCH(QString, path);
    QFETCH(std::optional<MediaTimeRange>, range);
    QFETCH(qint64, silentFrames);
    QFETCH(qint64, firstSample);
    QFETCH(qint64, frames);
    QVERIFY(!path.isEmpty());
    const ReadResult result = readFile(path, {48000, 2}, range);
    QCOMPARE(result.status, ReaderStatus::completed);
    QVERIFY(result.wholeFrames);
    QCOMPARE(qint64(result.samples.size() / 2), frames);
    for (qint64 i = 0; i < frames; ++i) {
        for (int channel = 0; channel < 2; ++channel) {
            const qint16 expected =
                i < silentFrames ? 0
                                 : testmedia::rampSample(firstSample + i - silentFrames, channel);
            if (result.samples[size_t(i * 2 + channel)] != expected)
                QFAIL(qPrintable(QStringLiteral("frame %1 channel %2 is %3, expected %4")
                                     .arg(i)
                                     .arg(channel)
                                     .arg(result.samples[size_t(i * 2 + channel)])
                                     .arg(expected)));
        }
    }
}

void TestMediaReader::channelConversion_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("outputChannels");
    const QString mono = testmedia::make("ramp-mono.mkv", testmedia::rampInput(48000, 1, 5) +
                                                              QStringList{"-c:a", "flac"});
    const QString surround = testmedia::make(
        "surround.mkv", QStringList{"-f", "lavfi", "-i", "sine=f=440:r=48000:d=5"} +
                            QStringList{"-filter_complex",
                                        "[0]asplit=6[a][b][c][d][e][f];"
                                        "[a][b][c][d][e][f]join=inputs=6:channel_layout=5.1",
                                        "-c:a", "flac"});
    const QString stereo = losslessFile("flac.mkv", losslessCases()[3].codec, 48000);
    QTest::newRow("mono to stereo") << mono << 2;
    QTest::newRow("stereo to mono") << stereo << 1;
    QTest::newRow("5.1 to stereo") << surround << 2;
    QTest::newRow("5.1 to mono") << surround << 1;
}

void TestMediaReader::channelConversion()
{
    QFETCH(QString, path);
    QFETCH(int, outputChannels);
    QVERIFY(!path.isEmpty());
    const MediaTimeRange range{600, 600};
    const ReadResult result = readFile(path, {48000, outputChannels}, range);
    QCOMPARE(result.status, ReaderStatus::completed);
    QCOMPARE(qint64(result.samples.size()), qint64(48000) * outputChannels);

    const int sourceChannels = testtools::ffprobe(path)["streams"][0]["channels"].toInt();
    if (sourceChannels == 1) {
        // A mono source is copied to both sides at full level.
        for (size_t i = 0; i < result.samples.size(); i += 2) {
            QCOMPARE(result.samples[i], testmedia::rampSample(48000 + qint64(i / 2), 0));
            QCOMPARE(result.samples[i + 1], result.samples[i]);
        }
    } else if (sourceChannels == 6) {
        // A downmix must neither clip nor vanish.
        qint16 peak = 0;
        for (const qint16 s : result.samples)
            peak = std::max<qint16>(peak, qint16(std::abs(s)));
        QVERIFY2(peak > 3000 && peak < 32767, qPrintable(QString::number(peak)));
    } else {
        // Stereo to mono averages the two mirrored ramps: -0.5 everywhere, as 0 or -1.
        for (const qint16 s : result.samples)
            QVERIFY(s == 0 || s == -1);
    }
}

// Joined recordings change rate and layout part-way; each part must keep its speed.
void TestMediaReader::formatChangesMidStream()
{
    QByteArray joined;
    const std::pair<int, int> parts[] = {{44100, 2}, {48000, 2}, {32000, 1}};
    for (const auto &[rate, channels] : parts) {
        const QString part =
            testmedia::make(QStringLiteral("part-%1-%2.ts").arg(rate).arg(channels),
                            testmedia::noiseInput(rate, channels, 3) + QStringList{"-c:a", "mp2"});
        QFile file(part);
        QVERIFY(file.open(QIODevice::ReadOnly));
        joined += file.readAll();
    }
    const QString path = testmedia::writeBytes("joined-formats.ts", joined);
    for (const int rate : {48000, 44100}) {
        const ReadResult result = readFile(path, {rate, 2});
        QCOMPARE(result.status, ReaderStatus::completed);
        const double seconds = double(result.samples.size()) / 2 / rate;
        QVERIFY2(qAbs(seconds - 9.0) < 0.1, qPrintable(QString::number(seconds)));
    }
}

void TestMediaReader::headerlessDurationIsFound_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<double>("expected");
    const QStringList video = testmedia::patternInput({160, 120}, 10, 20);
    const QStringList audio = testmedia::noiseInput(48000, 2, 20);
    QTest::newRow("recorder webm")
        << testmedia::makePiped("recorder.webm",
                                video + audio + QStringList{"-c:v", "libvpx", "-c:a", "libopus"},
                                "webm")
        << 20.0;
    QTest::newRow("stream dump ts")
        << testmedia::makePiped(
               "dump.ts", video + audio + QStringList{"-c:v", "libx264", "-c:a", "aac"}, "mpegts")
        << 20.0;
    QTest::newRow("piped mkv")
        << testmedia::makePiped("piped.mkv",
                                video + audio + QStringList{"-c:v", "libx264", "-c:a", "flac"},
                                "matroska")
        << 20.0;
    QTest::newRow("fragmented mp4")
        << testmedia::makePiped("fragmented.mp4",
                                video + audio +
                                    QStringList{"-c:v", "libx264", "-c:a", "aac", "-movflags",
                                                "frag_keyframe+empty_moov"},
                                "mp4")
        << 20.0;
    QTest::newRow("audio-only recorder webm")
        << testmedia::makePiped("recorder-audio.webm", audio + QStringList{"-c:a", "libopus"},
                                "webm")
        << 20.0;
}

void TestMediaReader::headerlessDurationIsFound()
{
    QFETCH(QString, path);
    QFETCH(double, expected);
    QVERIFY(!path.isEmpty());
    const auto asset = openMediaAsset(path);
    // Where ffprobe finds a length it is the reference; where it finds none, the generated one.
    const double probed = testmedia::formatDuration(path);
    const double reference = std::isfinite(probed) ? probed : expected;
    const double duration = asset->loadDuration();
    QVERIFY2(std::abs(duration - reference) < 0.05,
             qPrintable(QStringLiteral("%1, expected %2").arg(duration).arg(reference)));
    QVERIFY(std::abs(duration - expected) < 0.25);

    // Without an index a range near the end must still be found.
    const ReadResult result = readAll(*asset, {48000, 2}, MediaTimeRange{10800, 600});
    QCOMPARE(result.status, ReaderStatus::completed);
    QVERIFY(std::abs(qint64(result.samples.size() / 2) - 48000) <= 1);
}

void TestMediaReader::readersOnOneAssetAreIndependent()
{
    const QString path = losslessFile("flac.mkv", losslessCases()[3].codec, 48000);
    const auto asset = openMediaAsset(path);
    const auto track = asset->loadTracks(MediaType::audio).at(0);

    // The peak pre-pass opens a second reader before the first one starts.
    auto first = asset->createReader();
    first->setTimeRange({1200, 600});
    first->addOutput(track, {48000, 2});
    auto second = asset->createReader();
    second->setTimeRange({9000, 600});
    second->addOutput(track, {48000, 2});
    QVERIFY(second->startReading());
    QVERIFY(first->startReading());

    std::vector<qint16> a, b;
    for (bool more = true; more;) {
        more = false;
        if (auto buffer = first->copyNextSampleBuffer()) {
            a.insert(a.end(), buffer->samples.begin(), buffer->samples.end());
            more = true;
        }
        if (auto buffer = second->copyNextSampleBuffer()) {
            b.insert(b.end(), buffer->samples.begin(), buffer->samples.end());
            more = true;
        }
    }
    QCOMPARE(first->status(), ReaderStatus::completed);
    QCOMPARE(second->status(), ReaderStatus::completed);
    QCOMPARE(a.size(), size_t(96000));
    QCOMPARE(b.size(), size_t(96000));
    QCOMPARE(a.front(), testmedia::rampSample(96000, 0));
    QCOMPARE(b.front(), testmedia::rampSample(720000, 0));
    QCOMPARE(b.back(), testmedia::rampSample(767999, 1));
}

void TestMediaReader::readersInParallelThreads()
{
    QStringList paths;
    for (const auto &c : losslessCases())
        paths << losslessFile(QString::fromLatin1(c.name), c.codec, c.rate);
    const MediaTimeRange range{3000, 3000};

    std::vector<ReadResult> sequential;
    for (const QString &path : paths)
        sequential.push_back(readFile(path, {48000, 2}, range));

    // Every file twice at once: two threads per file, each with its own asset.
    std::vector<std::future<ReadResult>> running;
    for (int round = 0; round < 2; ++round) {
        for (const QString &path : paths)
            running.push_back(std::async(std::launch::async, [path, range] {
                return readFile(path, {48000, 2}, range);
            }));
    }
    for (size_t i = 0; i < running.size(); ++i) {
        const ReadResult parallel = running[i].get();
        QCOMPARE(parallel.status, ReaderStatus::completed);
        QVERIFY2(parallel.samples == sequential[i % paths.size()].samples,
                 qPrintable(paths[int(i % paths.size())]));
    }
}

void TestMediaReader::brokenFilesFailReadably_data()
{
    QTest::addColumn<QString>("path");
    QByteArray noise(256 * 1024, Qt::Uninitialized);
    QRandomGenerator generator(99);
    for (auto &byte : noise)
        byte = char(generator.bounded(256));
    const QString whole =
        testmedia::make("whole.mp4", testmedia::patternInput({320, 240}, 25, 10) +
                                         testmedia::noiseInput(48000, 2, 10) +
                                         QStringList{"-c:v", "libx264", "-c:a", "aac"});
    QFile source(whole);
    QVERIFY(source.open(QIODevice::ReadOnly));
    const QByteArray bytes = source.readAll();

    QTest::newRow("empty") << testmedia::writeBytes("empty.mp4", {});
    QTest::newRow("random bytes") << testmedia::writeBytes("random bytes.mkv", noise);
    // Without its index at the end an MP4 cannot be read at all.
    QTest::newRow("truncated") << testmedia::writeBytes("truncated.mp4",
                                                        bytes.left(bytes.size() / 2));
    QTest::newRow("text") << testmedia::writeBytes(
        "notes.avi", "These are not the frames you are looking for.\n");
    QTest::newRow("missing") << QDir(testmedia::directory()).filePath("no such file.mov");
}

void TestMediaReader::brokenFilesFailReadably()
{
    QFETCH(QString, path);
    const QString name = QFileInfo(path).fileName();
    const auto asset = openMediaAsset(path);
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            asset->loadDuration();
            QFAIL("the load did not fail");
        } catch (const MediaReaderError &error) {
            QVERIFY2(error.description().startsWith(name + QStringLiteral(": ")),
                     qPrintable(error.description()));
            // The file's name and a reason after it.
            QVERIFY(error.description().size() > name.size() + 10);
        }
    }
    QVERIFY_THROWS_EXCEPTION(MediaReaderError, asset->loadTracks(MediaType::audio));
    QVERIFY_THROWS_EXCEPTION(MediaReaderError, asset->createReader());
    QVERIFY_THROWS_EXCEPTION(MediaReaderError, asset->generateImage(0, {800, 800}, true));
}

void TestMediaReader::truncatedMediaEndsCleanly()
{
    const QString whole =
        testmedia::make("whole-faststart.mkv", testmedia::patternInput({320, 240}, 25, 10) +
                                                   testmedia::rampInput(48000, 2, 10) +
                                                   QStringList{"-c:v", "libx264", "-c:a", "flac"});
    QFile source(whole);
    QVERIFY(source.open(QIODevice::ReadOnly));
    const QByteArray bytes = source.readAll();
    const QString path = testmedia::writeBytes("cut.mkv", bytes.left(bytes.size() * 6 / 10));
    const ReadResult result = readFile(path, {48000, 2});
    QVERIFY(result.status == ReaderStatus::completed || result.status == ReaderStatus::failed);
    const qint64 frames = qint64(result.samples.size() / 2);
    QVERIFY(frames > 48000 && frames < 480000);
    // What came out is the file's audio, in order.
    for (qint64 i = 0; i < frames; i += 997)
        QCOMPARE(result.samples[size_t(i * 2)], testmedia::rampSample(i, 0));
}

void TestMediaReader::cancelStopsReading()
{
    const QString path = losslessFile("flac.mkv", losslessCases()[3].codec, 48000);
    const auto asset = openMediaAsset(path);
    const auto track = asset->loadTracks(MediaType::audio).at(0);

    auto reader = asset->createReader();
    reader->addOutput(track, {48000, 2});
    QVERIFY(reader->startReading());
    QVERIFY(reader->copyNextSampleBuffer().has_value());
    reader->cancelReading();
    QCOMPARE(reader->status(), ReaderStatus::cancelled);
    QVERIFY(!reader->copyNextSampleBuffer().has_value());
    QVERIFY(!reader->error().has_value());

    // From another thread while buffers are being taken.
    auto other = asset->createReader();
    other->addOutput(track, {44100, 1});
    QVERIFY(other->startReading());
    std::thread canceller([&other] {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        other->cancelReading();
    });
    qint64 frames = 0;
    while (auto buffer = other->copyNextSampleBuffer())
        frames += buffer->frameCount();
    canceller.join();
    QCOMPARE(other->status(), ReaderStatus::cancelled);
    QVERIFY(frames < qint64(44100 * fileSeconds));
}

void TestMediaReader::outputRules()
{
    const QString path = losslessFile("flac.mkv", losslessCases()[3].codec, 48000);
    const auto asset = openMediaAsset(path);
    const auto audio = asset->loadTracks(MediaType::audio).at(0);
    const auto video = asset->loadTracks(MediaType::video).at(0);

    auto reader = asset->createReader();
    QVERIFY(!reader->canAddOutput(video, {48000, 2}));
    QVERIFY(!reader->canAddOutput(audio, {48000, 0}));
    QVERIFY(!reader->canAddOutput(audio, {0, 2}));
    QVERIFY(reader->canAddOutput(audio, {8000, 1}));
    QVERIFY_THROWS_EXCEPTION(MediaReaderError, reader->addOutput(video, {48000, 2}));
    reader->addOutput(audio, {48000, 2});
    QVERIFY(!reader->canAddOutput(audio, {48000, 2}));

    auto empty = asset->createReader();
    QVERIFY(!empty->startReading());
    QCOMPARE(empty->status(), ReaderStatus::failed);
    QVERIFY(empty->error().has_value());
    QVERIFY(!empty->copyNextSampleBuffer().has_value());
}

void TestMediaReader::seekCostDoesNotGrowWithPosition()
{
    const double minutes = 30;
    const QString path = testmedia::make(
        "long.mkv",
        QStringList{"-f", "lavfi", "-i",
                    QStringLiteral("testsrc2=s=64x48:r=2:d=%1").arg(minutes * 60), "-f", "lavfi",
                    "-i", QStringLiteral("sine=f=300:r=48000:d=%1").arg(minutes * 60), "-c:v",
                    "libx264", "-g", "20", "-c:a", "aac", "-b:a", "64k"});
    QVERIFY(!path.isEmpty());
    const auto asset = openMediaAsset(path);
    QVERIFY(std::abs(asset->loadDuration() - minutes * 60) < 0.1);

    auto timeRange = [&](double start) {
        QElapsedTimer timer;
        timer.start();
        const ReadResult result =
            readAll(*asset, {44100, 2}, MediaTimeRange::fromSeconds(start, 10));
        const qint64 elapsed = timer.elapsed();
        return std::pair{elapsed, qint64(result.samples.size() / 2)};
    };
    timeRange(1); // warm the file cache
    const auto [early, earlyFrames] = timeRange(1);
    const auto [late, lateFrames] = timeRange(minutes * 60 - 15);
    QCOMPARE(earlyFrames, qint64(441000));
    QCOMPARE(lateFrames, qint64(441000));
    QVERIFY2(late < 3 * early + 50,
             qPrintable(QStringLiteral("start %1 ms, end %2 ms").arg(early).arg(late)));
}

QTEST_GUILESS_MAIN(TestMediaReader)
#include "tst_media_reader.moc"
