// Loudness normalisation judged as a listener's meter would: FFmpeg's ebur128 filter on the
// decoded MP3, over signals shaped like speech, music and a film's quiet dialogue with loud
// bursts.
#include "engine/audio_extraction_engine.h"
#include "engine/loudness.h"
#include "engine/true_peak_limiter.h"
#include "model/media_reader.h"
#include "support/test_media.h"
#include "support/testtools.h"

#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <cstdlib>

using namespace tonbrook;

namespace {

struct Loudness {
    double integrated = 0;
    double truePeak = 0;
};

// The summary FFmpeg's ebur128 filter prints: integrated loudness and true peak.
Loudness measured(const QString &path)
{
    const auto result = testtools::run(testtools::ffmpegPath(),
                                       {"-hide_banner", "-nostats", "-i", path, "-map", "0:a:0",
                                        "-af", "ebur128=peak=true", "-f", "null", "-"});
    const QString text = QString::fromUtf8(result.err);
    const qsizetype summary = text.lastIndexOf(u"Summary:");
    const auto value = [&](const QString &pattern) {
        const auto match = QRegularExpression(pattern).match(text, summary);
        return match.hasMatch() ? match.captured(1).toDouble() : qQNaN();
    };
    return {value(uR"(\bI:\s+(-?[0-9.]+|-inf) LUFS)"_qs),
            value(uR"(Peak:\s+(-?[0-9.]+|-inf) dBFS)"_qs)};
}

// The failure's text, or empty; note gets the final report's note.
QString extract(const QString &from, const QString &to, const AudioExtractionSettings &settings,
                QString *note = nullptr)
{
    AudioExtractionEngine engine;
    try {
        engine
            .extractAudio(from, to, settings, std::nullopt,
                          [note](const ExtractionProgress &progress) {
                              if (note && progress.isComplete)
                                  *note = progress.note.english();
                          })
            .get();
    } catch (const std::exception &error) {
        return QString::fromUtf8(error.what());
    }
    return {};
}

QStringList withPicture(const QString &audioFilter)
{
    return {"-f",        "lavfi", "-i",      audioFilter,
            "-f",        "lavfi", "-i",      "color=c=black:s=64x48:d=20",
            "-shortest", "-c:v",  "libx264", "-c:a",
            "aac",       "-b:a",  "192k"};
}

} // namespace

class TestLoudness : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void reachesTargetUnderCeiling_data();
    void reachesTargetUnderCeiling();
    void noGainWithoutMeasurableAudio();
    void partsAgreeWithOnePass();
    void replayGainTags_data();
    void replayGainTags();
    void limiterKeepsEverySample();
    void truePeakIsAccurate_data();
    void truePeakIsAccurate();

private:
    QHash<QString, QString> m_media;
};

void TestLoudness::initTestCase()
{
    // Speech: quiet pink noise in syllable-rate bursts, far from full scale.
    m_media["speech"] =
        testmedia::make("loudness-speech.mp4",
                        withPicture("anoisesrc=c=pink:a=0.08:seed=7:d=20:r=48000,tremolo=f=4:d=0.8,"
                                    "aformat=channel_layouts=stereo"));
    // Music: dense tones already near full scale, so a loud target meets the ceiling.
    m_media["music"] = testmedia::make(
        "loudness-music.mp4",
        withPicture("aevalsrc=0.3*sin(2*PI*220*t)+0.2*sin(2*PI*330*t)+0.15*sin(2*PI*440*t+"
                    "sin(2*PI*2*t))|0.3*sin(2*PI*221*t)+0.2*sin(2*PI*331*t)+0.15*sin(2*PI*550*t)"
                    ":s=44100:d=20"));
    // Film: quiet dialogue, with a loud low burst of half a second every five seconds.
    m_media["film"] = testmedia::make(
        "loudness-film.mp4",
        withPicture("aevalsrc=0.03*sin(2*PI*300*t)*(1+sin(2*PI*3*t))+if(lt(mod(t\\,5)\\,0.5)\\,"
                    "0.9*sin(2*PI*80*t)\\,0):s=48000:d=20,aformat=channel_layouts=stereo"));
    // Full-scale white noise, whose true peak lies well above its samples': encoding raises it
    // the most.
    m_media["noise"] = testmedia::make(
        "loudness-noise.mov", {"-f", "lavfi", "-i",
                               "anoisesrc=c=white:a=0.9:seed=3:d=20:r=44100,alimiter=limit=0.5,"
                               "aformat=channel_layouts=stereo",
                               "-f", "lavfi", "-i", "color=c=black:s=64x48:d=20", "-shortest",
                               "-c:v", "libx264", "-c:a", "pcm_s16le"});
    m_media["silence"] =
        testmedia::make("loudness-silence.mp4", withPicture("anullsrc=r=48000:cl=stereo:d=20"));
    for (const QString &path : std::as_const(m_media))
        QVERIFY(!path.isEmpty());
}

void TestLoudness::reachesTargetUnderCeiling_data()
{
    QTest::addColumn<QString>("signal");
    QTest::addColumn<double>("target");
    QTest::addColumn<BitrateOption>("bitrate");
    // White noise holds much of its loudness above the encoder's low-pass, which takes it
    // away at low bitrates; it is here for its true peak.
    QTest::addColumn<bool>("keepsLoudness");
    QTest::addColumn<bool>("limiter");
    const BitrateOption bitrates[] = {BitrateOption::cbr320, BitrateOption::cbr128,
                                      BitrateOption::vbr2};
    int row = 0;
    for (const char *signal : {"speech", "music", "film", "noise"}) {
        for (const double target : {-23.0, -16.0, -10.0}) {
            const BitrateOption bitrate = bitrates[row++ % 3];
            QTest::addRow("%s at %g LUFS, %s", signal, target, qPrintable(bitrate.shortName()))
                << QString::fromLatin1(signal) << target << bitrate
                << (qstrcmp(signal, "noise") != 0) << false;
        }
    }
    // Loud targets the ceiling stops short of, met with the limiter; the film's loudness is
    // all in its bursts, which the limiter holds down, so that target stays out of reach.
    const struct {
        const char *signal;
        double target;
        BitrateOption bitrate;
    } limited[] = {{"speech", -12.0, BitrateOption::cbr320},
                   {"speech", -14.0, BitrateOption::cbr128},
                   {"music", -7.0, BitrateOption::cbr320},
                   {"film", -7.0, BitrateOption::vbr2}};
    for (const auto &[signal, target, bitrate] : limited) {
        QTest::addRow("%s at %g LUFS, limited, %s", signal, target, qPrintable(bitrate.shortName()))
            << QString::fromLatin1(signal) << target << bitrate << true << true;
    }
}

void TestLoudness::reachesTargetUnderCeiling()
{
    QFETCH(QString, signal);
    QFETCH(double, target);
    QFETCH(BitrateOption, bitrate);
    QFETCH(bool, keepsLoudness);
    QFETCH(bool, limiter);
    QTemporaryDir dir;
    const QString out = dir.filePath("out.mp3");
    AudioExtractionSettings settings;
    settings.bitrate = bitrate;
    settings.normalizePeak = true; // loudness takes its place
    settings.loudnessTarget = target;
    settings.loudnessLimiter = limiter;
    QString note;
    QCOMPARE(extract(m_media[signal], out, settings, &note), QString());

    const Loudness source = measured(m_media[signal]);
    const Loudness result = measured(out);
    qInfo("source %.1f LUFS %.1f dBTP -> %.1f LUFS %.1f dBTP", source.integrated, source.truePeak,
          result.integrated, result.truePeak);
    QVERIFY2(result.truePeak <= loudnessPeakCeilingDbtp,
             qPrintable(QString::number(result.truePeak)));
    // Where the ceiling allows the full gain, the target is met; where it does not, the gain
    // stops with the true peak just under the ceiling.
    const double margin = encoderTruePeakMarginDb(bitrate);
    if (!keepsLoudness)
        return;
    if ((limiter && signal != u"film") ||
        source.truePeak + (target - source.integrated) <= loudnessPeakCeilingDbtp - margin - 0.2) {
        QVERIFY2(std::abs(result.integrated - target) <= 0.5,
                 qPrintable(QString::number(result.integrated)));
        QCOMPARE(note, QString());
    } else {
        QVERIFY(result.integrated < target);
        // The report says how far it got, to within what the encoder moves.
        const QRegularExpression reached(uR"(^Loudness reached about (-?[0-9.]+) LUFS of the )"_qs);
        const auto match = reached.match(note);
        QVERIFY2(match.hasMatch(), qPrintable(note));
        QVERIFY2(std::abs(match.captured(1).toDouble() - result.integrated) <= 0.5,
                 qPrintable(note));
        QVERIFY2(result.truePeak >= loudnessPeakCeilingDbtp - margin - 1.0,
                 qPrintable(QString::number(result.truePeak)));
    }
}

void TestLoudness::noGainWithoutMeasurableAudio()
{
    QTemporaryDir dir;
    AudioExtractionSettings loud;
    loud.loudnessTarget = -5.0;

    // Silence stays silence: no gain of infinity, no noise.
    QCOMPARE(extract(m_media["silence"], dir.filePath("silence.mp3"), loud), QString());
    const std::vector<qint16> silence =
        testmedia::decodeAudio(dir.filePath("silence.mp3"), 48000, 2);
    QVERIFY(!silence.empty());
    QVERIFY(std::all_of(silence.begin(), silence.end(), [](qint16 x) { return x == 0; }));

    // 0.2 s is shorter than one gating block: the range comes out as it went in.
    AudioExtractionSettings plain;
    plain.trimStartSeconds = 6.0;
    plain.trimEndSeconds = 6.2;
    AudioExtractionSettings shortRange = plain;
    shortRange.loudnessTarget = -5.0;
    QCOMPARE(extract(m_media["speech"], dir.filePath("plain.mp3"), plain), QString());
    QCOMPARE(extract(m_media["speech"], dir.filePath("short.mp3"), shortRange), QString());
    QCOMPARE(testmedia::decodeAudio(dir.filePath("short.mp3"), 48000, 2),
             testmedia::decodeAudio(dir.filePath("plain.mp3"), 48000, 2));
}

void TestLoudness::partsAgreeWithOnePass()
{
    // Two and a half minutes of the film signal: loud bursts on both sides of the split.
    const QString path = testmedia::make(
        "loudness-film-long.mp4",
        {"-f", "lavfi", "-i",
         "aevalsrc=0.03*sin(2*PI*300*t)*(1+sin(2*PI*3*t))+if(lt(mod(t\\,5)\\,0.5)\\,"
         "0.9*sin(2*PI*80*t)\\,0):s=48000:d=150,aformat=channel_layouts=stereo",
         "-c:a", "aac", "-b:a", "128k"});
    QVERIFY(!path.isEmpty());
    const auto asset = openMediaAsset(path);
    const MediaTrack track = asset->loadTracks(MediaType::audio).front();
    const PcmOutputSettings output{48000, 2};
    const double duration = asset->loadDuration();
    for (const std::optional<MediaTimeRange> &range :
         {std::optional<MediaTimeRange>(), std::optional(MediaTimeRange::fromSeconds(3.3, 140))}) {
        const auto whole = measureLoudness(*asset, track, output, range, duration, 1);
        const auto parts = measureLoudness(*asset, track, output, range, duration, 2);
        QVERIFY(whole && parts);
        QVERIFY2(std::abs(parts->integratedLufs - whole->integratedLufs) < 0.05,
                 qPrintable(QStringLiteral("%1 against %2")
                                .arg(parts->integratedLufs)
                                .arg(whole->integratedLufs)));
        QVERIFY(parts->truePeakDbtp >= whole->truePeakDbtp - 0.01);
        QVERIFY(std::abs(parts->seconds - whole->seconds) < 0.01);
    }
}

void TestLoudness::replayGainTags_data()
{
    QTest::addColumn<QString>("signal");
    QTest::addColumn<AudioExtractionSettings>("settings");
    QTest::addColumn<bool>("tagged");
    AudioExtractionSettings plain;
    AudioExtractionSettings measuredOnly;
    measuredOnly.writeReplayGain = true;
    AudioExtractionSettings peak = measuredOnly;
    peak.normalizePeak = true;
    peak.bitrate = BitrateOption::cbr128;
    AudioExtractionSettings normalised;
    normalised.loudnessTarget = -23.0;
    normalised.bitrate = BitrateOption::vbr2;
    AudioExtractionSettings limited = normalised;
    limited.loudnessTarget = -12.0;
    limited.loudnessLimiter = true;
    QTest::newRow("no measurement, no tags") << "speech" << plain << false;
    QTest::newRow("measured only") << "speech" << measuredOnly << true;
    QTest::newRow("measured, peak normalised") << "film" << peak << true;
    QTest::newRow("loudness normalised") << "music" << normalised << true;
    QTest::newRow("loudness normalised, limited") << "speech" << limited << true;
    QTest::newRow("silence") << "silence" << measuredOnly << false;
}

void TestLoudness::replayGainTags()
{
    QFETCH(QString, signal);
    QFETCH(AudioExtractionSettings, settings);
    QFETCH(bool, tagged);
    QTemporaryDir dir;
    const QString out = dir.filePath("out.mp3");
    QCOMPARE(extract(m_media[signal], out, settings), QString());
    const QJsonObject frames = testtools::id3(out)["frames"].toObject();
    const QString gain = frames["TXXX:REPLAYGAIN_TRACK_GAIN"].toObject()["text"].toString();
    const QString peak = frames["TXXX:REPLAYGAIN_TRACK_PEAK"].toObject()["text"].toString();
    if (!tagged) {
        QVERIFY2(gain.isEmpty() && peak.isEmpty(), qPrintable(gain + u' ' + peak));
        return;
    }
    // The forms players parse: a signed gain with two decimals and " dB", a linear peak.
    const auto gainMatch = QRegularExpression(uR"(^[+-][0-9]+\.[0-9]{2} dB$)"_qs).match(gain);
    QVERIFY2(gainMatch.hasMatch(), qPrintable(gain));
    QVERIFY2(QRegularExpression(uR"(^[0-9]+\.[0-9]{6}$)"_qs).match(peak).hasMatch(),
             qPrintable(peak));
    // Played at the tag's gain, the file sounds at -18 LUFS; its peak is about where the
    // decoded file's is, which encoding lifts a little.
    const Loudness result = measured(out);
    const double tagGain = gain.chopped(3).toDouble();
    QVERIFY2(std::abs(result.integrated + tagGain - replayGainReferenceLufs) <= 0.5,
             qPrintable(QStringLiteral("%1 LUFS, tag %2").arg(result.integrated).arg(gain)));
    const double tagPeakDb = 20.0 * std::log10(peak.toDouble());
    QVERIFY2(tagPeakDb <= result.truePeak + 0.3 && tagPeakDb >= result.truePeak - 3.0,
             qPrintable(QStringLiteral("%1 dBTP, tag %2").arg(result.truePeak).arg(peak)));
}

void TestLoudness::limiterKeepsEverySample()
{
    // Quiet stereo with a loud stretch in the middle, fed in blocks of odd sizes.
    constexpr int rate = 44100;
    constexpr float ceiling = 20000.0f;
    std::vector<float> in;
    for (int i = 0; i < 2 * rate; ++i) {
        const double t = double(i) / rate;
        const double level = (t > 0.4 && t < 0.6) ? 40000.0 : 3000.0;
        in.push_back(float(level * std::sin(2 * M_PI * 997 * t)));
        in.push_back(float(level * std::sin(2 * M_PI * 1499 * t + 1.0)));
    }
    TruePeakLimiter limiter(rate, 2, ceiling);
    std::vector<float> out;
    for (size_t at = 0, block = 1; at < in.size(); at += block * 2, block = block * 7 % 4093 + 1)
        limiter.process(std::span(in).subspan(at, std::min(block * 2, in.size() - at)), out);
    limiter.finish(out);
    QCOMPARE(out.size(), in.size());
    // Before the loud stretch every sample comes through untouched, in its place, and so it
    // does again once the gain has recovered.
    for (size_t i = 0; i < size_t(0.39 * rate) * 2; ++i)
        QCOMPARE(out[i], in[i]);
    for (size_t i = size_t(1.9 * rate) * 2; i < in.size(); ++i)
        QCOMPARE(out[i], in[i]);
    // No sample over the ceiling, and the loud stretch brought down to it.
    const float loudest = std::abs(*std::max_element(
        out.begin(), out.end(), [](float a, float b) { return std::abs(a) < std::abs(b); }));
    QVERIFY2(loudest <= ceiling && loudest > 0.9f * ceiling, qPrintable(QString::number(loudest)));
}

void TestLoudness::truePeakIsAccurate_data()
{
    QTest::addColumn<QString>("path");
    // The true peak where it is known exactly; otherwise FFmpeg's reading, which its resampler
    // lifts near the top of the band (white noise is left out for that).
    QTest::addColumn<double>("exact");
    for (const char *signal : {"speech", "music", "film"})
        QTest::newRow(signal) << m_media[signal] << qQNaN();
    const auto made = [](const char *name, const char *source) {
        return testmedia::make(name, {"-f", "lavfi", "-i", source, "-c:a", "pcm_s16le"});
    };
    // Sines whose samples all miss the crest: a quarter of the rate at 45 degrees, where they
    // fall 3 dB under it, and a tone near the top of the band.
    QTest::newRow("fs/4 at 45 degrees")
        << made("peak-quarter.wav", "aevalsrc=0.9*sin(PI/2*n+PI/4):s=48000:d=2")
        << 20 * std::log10(0.9);
    QTest::newRow("19 kHz") << made("peak-19k.wav", "aevalsrc=0.9*sin(2*PI*19000*t+1):s=48000:d=2")
                            << 20 * std::log10(0.9);
    QTest::newRow("square") << made("peak-square.wav",
                                    "aevalsrc=0.6*(gte(mod(t\\,0.001)\\,0.0005)*2-1):s=44100:d=2")
                            << qQNaN();
}

void TestLoudness::truePeakIsAccurate()
{
    QFETCH(QString, path);
    QFETCH(double, exact);
    QVERIFY(!path.isEmpty());
    const auto asset = openMediaAsset(path);
    const MediaTrack track = asset->loadTracks(MediaType::audio).front();
    const double rate = track.formatDescriptions.front().streamBasicDescription->sampleRate;
    const auto ours = measureLoudness(*asset, track, PcmOutputSettings{int(rate), 2}, std::nullopt,
                                      asset->loadDuration(), 1);
    QVERIFY(ours);
    const double expected = std::isnan(exact) ? measured(path).truePeak : exact;
    QVERIFY2(
        std::abs(ours->truePeakDbtp - expected) <= 0.2,
        qPrintable(QStringLiteral("%1 dBTP against %2").arg(ours->truePeakDbtp).arg(expected)));
}

QTEST_GUILESS_MAIN(TestLoudness)
#include "tst_loudness.moc"
