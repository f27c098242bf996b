// Whole extractions on generated media, with the MP3s checked by tools that are not ours.
#include "encoder/mp3_encoder.h"
#include "engine/audio_extraction_engine.h"
#include "model/media_reader.h"
#include "support/testtools.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/mount.h>

#include <atomic>
#include <cmath>
#include <mutex>

using namespace tonbrook;

namespace {

struct Outcome {
    std::exception_ptr failure;
    QList<ExtractionProgress> reports;
    double wallSeconds = 0;

    QString error() const
    {
        if (!failure)
            return {};
        try {
            std::rethrow_exception(failure);
        } catch (const std::exception &e) {
            return QString::fromUtf8(e.what());
        }
    }
};

Outcome extract(const QString &from, const QString &to, const AudioExtractionSettings &settings,
                const std::optional<MediaMetadata> &metadata = std::nullopt, int threads = 1)
{
    Outcome outcome;
    std::mutex lock;
    QElapsedTimer timer;
    timer.start();
    AudioExtractionEngine engine;
    engine.setEncoderThreads(threads);
    auto done = engine.extractAudio(from, to, settings, metadata, [&](const ExtractionProgress &p) {
        std::lock_guard guard(lock);
        outcome.reports << p;
    });
    try {
        done.get();
    } catch (...) {
        outcome.failure = std::current_exception();
    }
    outcome.wallSeconds = timer.elapsed() / 1000.0;
    return outcome;
}

QJsonObject probeAudio(const QString &path)
{
    for (const auto &s : testtools::ffprobe(path)["streams"].toArray()) {
        if (s.toObject()["codec_type"].toString() == "audio")
            return s.toObject();
    }
    return {};
}

// The decoded MP3 as mono float samples, encoder delay and padding removed by ffmpeg.
std::vector<float> decode(const QString &path, int rate)
{
    const auto result =
        testtools::run(testtools::ffmpegPath(), {"-v", "error", "-i", path, "-f", "f32le", "-ac",
                                                 "1", "-ar", QString::number(rate), "-"});
    std::vector<float> samples(size_t(result.out.size()) / sizeof(float));
    memcpy(samples.data(), result.out.constData(), samples.size() * sizeof(float));
    return samples;
}

// The decoded MP3 as ffmpeg's decoder gives it: 16-bit samples at the file's own rate and
// channels.
QByteArray decodedPcm(const QString &path)
{
    return testtools::run(testtools::ffmpegPath(), {"-v", "error", "-i", path, "-f", "s16le", "-"})
        .out;
}

double rms(const std::vector<float> &x, size_t from, size_t to)
{
    double sum = 0;
    for (size_t i = from; i < to && i < x.size(); ++i)
        sum += double(x[i]) * x[i];
    return std::sqrt(sum / double(to - from));
}

QByteArray fileHash(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

// Everything in a folder, hidden files included.
QStringList folderEntries(const QString &dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

class TestAudioExtractionEngine : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const auto make = [&](const QString &name, const QStringList &args) {
            m_media[name] = m_dir.filePath("src/" + name);
            QVERIFY2(testtools::ffmpeg(args + QStringList{m_media[name]}), qPrintable(name));
        };
        QDir(m_dir.path()).mkpath("src");
        // 60 s stereo AAC in MP4 with video, tagged.
        make("long.mp4",
             {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=10:duration=60", "-f", "lavfi", "-i",
              "sine=frequency=440:sample_rate=48000:duration=60", "-ac", "2", "-c:v", "libx264",
              "-preset", "ultrafast", "-c:a", "aac", "-metadata", "title=Long Tone", "-shortest"});
        // The audio stops at 34 s, and at 5 s, of a 60 s video.
        for (const int seconds : {34, 5})
            make(QStringLiteral("audio-%1s.mp4").arg(seconds),
                 {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=10:duration=60", "-f", "lavfi",
                  "-i",
                  QStringLiteral("sine=frequency=440:sample_rate=48000:duration=%1").arg(seconds),
                  "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac"});
        make("mono22050.mkv", {"-f", "lavfi", "-i",
                               "sine=frequency=300:sample_rate=22050:duration=4", "-c:a", "flac"});
        make("surround.mov",
             {"-f", "lavfi", "-i", "sine=frequency=500:sample_rate=44100:duration=3", "-af",
              "pan=5.1|FL=c0|FR=c0|FC=c0|LFE=c0|BL=c0|BR=c0", "-c:a", "pcm_s16le"});
        // An audio track without a single packet: nothing in it can be decoded.
        make("packetless-audio.mkv",
             {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=10:duration=3", "-f", "lavfi", "-i",
              "anullsrc=r=48000:cl=stereo:d=3", "-c:v", "libx264", "-preset", "ultrafast", "-c:a",
              "flac", "-frames:a", "0"});
        make("silent-video.mp4", {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=10:duration=3",
                                  "-c:v", "libx264", "-preset", "ultrafast"});
        make("two-tracks.mkv",
             {"-f", "lavfi", "-i", "sine=frequency=400:sample_rate=44100:duration=3", "-f", "lavfi",
              "-i", "sine=frequency=1000:sample_rate=32000:duration=3", "-map", "0", "-map", "1",
              "-ac:a:1", "1", "-c:a", "flac"});
        // A sine peaking at a quarter of full scale (about 8192) for the gain checks.
        make("quiet.wav.mov", {"-f", "lavfi", "-i", "aevalsrc=0.25*sin(2*PI*1000*t):s=44100:d=4",
                               "-c:a", "pcm_s16le"});
        m_media["broken.mp4"] = m_dir.filePath("src/broken.mp4");
        QFile broken(m_media["broken.mp4"]);
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write(QByteArray(4096, '\x5a'));
    }

    void formatsFollowTheResolvingRules_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<double>("seconds");
        QTest::newRow("mono stays mono, 22050 stays 22050") << "mono22050.mkv" << 22050 << 1 << 4.0;
        QTest::newRow("5.1 becomes stereo") << "surround.mov" << 44100 << 2 << 3.0;
        QTest::newRow("aac in mp4") << "long.mp4" << 48000 << 2 << 60.0;
    }
    void formatsFollowTheResolvingRules()
    {
        QFETCH(QString, source);
        QFETCH(int, rate);
        QFETCH(int, channels);
        QFETCH(double, seconds);
        const QString out = m_dir.filePath("formats/" + source + ".mp3");
        const auto outcome = extract(m_media[source], out, AudioExtractionSettings{});
        QVERIFY2(!outcome.failure, qPrintable(outcome.error()));
        const auto audio = probeAudio(out);
        QCOMPARE(audio["sample_rate"].toString().toInt(), rate);
        QCOMPARE(audio["channels"].toInt(), channels);
        QVERIFY(testtools::mp3valProblems(out).isEmpty());
        // MPEG-2 (rates below 32 kHz) tops out at 160 kbit/s; LAME clamps to it.
        const auto info = testtools::mediainfoTrack(out, "Audio");
        QCOMPARE(info["BitRate"].toString(), QString(rate < 32000 ? "160000" : "320000"));
        // The decoded length (gapless: encoder delay and padding removed) equals the source's.
        const double decoded = double(decode(out, rate).size()) / rate;
        QVERIFY2(qAbs(decoded - seconds) < 0.05, qPrintable(QString::number(decoded)));
        QCOMPARE(folderEntries(m_dir.filePath("formats")).filter(".part").size(), 0);
    }

    void trimsAreSampleAccurate_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<double>("start");
        QTest::addColumn<double>("end");
        QTest::addColumn<double>("expected");
        QTest::newRow("10 to 20") << "long.mp4" << 10.0 << 20.0 << 10.0;
        QTest::newRow("end 0.05 reads 0.1 s") << "long.mp4" << -1.0 << 0.05 << 0.1;
        QTest::newRow("start after end reads 0.1 s") << "long.mp4" << 30.0 << 20.0 << 0.1;
        QTest::newRow("end beyond the duration") << "long.mp4" << 55.0 << 500.0 << 5.0;
        // A range after the audio has ended is silence of its length, not a damaged file.
        QTest::newRow("after the audio's end") << "audio-5s.mp4" << 10.0 << 12.0 << 2.0;
    }
    void trimsAreSampleAccurate()
    {
        QFETCH(QString, source);
        QFETCH(double, start);
        QFETCH(double, end);
        QFETCH(double, expected);
        AudioExtractionSettings settings;
        if (start >= 0)
            settings.trimStartSeconds = start;
        settings.trimEndSeconds = end;
        const QString out =
            m_dir.filePath(QStringLiteral("trim/%1.mp3").arg(QTest::currentDataTag()));
        const auto outcome = extract(m_media[source], out, settings);
        QVERIFY2(!outcome.failure, qPrintable(outcome.error()));
        const double decoded = double(decode(out, 48000).size()) / 48000;
        QVERIFY2(qAbs(decoded - expected) <= 1152.0 / 48000, qPrintable(QString::number(decoded)));
        QVERIFY(!outcome.reports.isEmpty());
        QCOMPARE(outcome.reports.last().totalDuration, expected);
    }

    void trackIndexIsClamped()
    {
        AudioExtractionSettings settings;
        settings.selectedTrackIndex = 7;
        const QString out = m_dir.filePath("tracks/second.mp3");
        const auto outcome = extract(m_media["two-tracks.mkv"], out, settings);
        QVERIFY2(!outcome.failure, qPrintable(outcome.error()));
        // The second track is the mono 32 kHz one.
        QCOMPARE(probeAudio(out)["sample_rate"].toString(), QString("32000"));
        QCOMPARE(probeAudio(out)["channels"].toInt(), 1);
    }

    void tagsFromTheFileNameOrTheMetadata()
    {
        const QString copy = m_dir.filePath("src/Interview.final.mkv");
        QVERIFY(QFile::copy(m_media["mono22050.mkv"], copy));
        const QString plain = m_dir.filePath("tags/plain.mp3");
        QVERIFY(!extract(copy, plain, {}).failure);
        auto frames = testtools::id3(plain)["frames"].toObject();
        QCOMPARE(frames["TIT2"].toObject()["text"].toString(), QString("Interview.final"));
        QCOMPARE(frames["COMM"].toObject()["text"].toString(), QString("Extracted with Tonbrook"));
        QVERIFY(!frames.contains("TPE1") && !frames.contains("APIC"));
        // Marked as Tonbrook's own, in a frame the user does not edit as the comment.
        QCOMPARE(frames["TXXX:TONBROOK_SOURCE"].toObject()["text"].toString(),
                 QString("Interview.final.mkv"));

        MediaMetadata metadata;
        metadata.title = "";
        metadata.artist = "Ana Müller";
        metadata.album = "Field Notes";
        metadata.year = "2024";
        metadata.genre = "Soundtrack";
        metadata.comment = "";
        QByteArray art(50000, '\x42');
        art[0] = char(0xFF), art[1] = char(0xD8), art[2] = char(0xFF);
        metadata.coverArtData = art;

        const QString tagged = m_dir.filePath("tags/tagged.mp3");
        QVERIFY(!extract(copy, tagged, {}, metadata).failure);
        frames = testtools::id3(tagged)["frames"].toObject();
        QCOMPARE(frames["TIT2"].toObject()["text"].toString(), QString("Interview.final"));
        QCOMPARE(frames["TPE1"].toObject()["text"].toString(), QString("Ana Müller"));
        QCOMPARE(frames["TALB"].toObject()["text"].toString(), QString("Field Notes"));
        QCOMPARE(frames["TYER"].toObject()["text"].toString(), QString("2024"));
        QCOMPARE(frames["TCON"].toObject()["text"].toString(), QString("Soundtrack"));
        QVERIFY(!frames.contains("COMM"));
        QCOMPARE(frames["APIC"].toObject()["length"].toInt(), art.size());
        QCOMPARE(frames["APIC"].toObject()["type"].toInt(), 3); // front cover
        QCOMPARE(frames["TXXX:TONBROOK_SOURCE"].toObject()["text"].toString(),
                 QString("Interview.final.mkv"));

        AudioExtractionSettings noArt;
        noArt.embedCoverArt = false;
        const QString bare = m_dir.filePath("tags/no-art.mp3");
        QVERIFY(!extract(copy, bare, noArt, metadata).failure);
        QVERIFY(!testtools::id3(bare)["frames"].toObject().contains("APIC"));
    }

    void gainAndFadesOnTheDecodedSignal()
    {
        const QString source = m_media["quiet.wav.mov"];
        const QString flat = m_dir.filePath("gain/flat.mp3");
        QVERIFY(!extract(source, flat, {}).failure);
        const auto reference = decode(flat, 44100);
        const double level = rms(reference, 44100, 3 * 44100);

        AudioExtractionSettings louder;
        louder.volumeGainDb = 6.0;
        const QString boosted = m_dir.filePath("gain/boosted.mp3");
        QVERIFY(!extract(source, boosted, louder).failure);
        QVERIFY(qAbs(rms(decode(boosted, 44100), 44100, 3 * 44100) / level - 1.9953) < 0.02);

        // The peak (about 8192) is raised to 32000: a gain of about 3.9.
        AudioExtractionSettings normalised;
        normalised.normalizePeak = true;
        const QString peak = m_dir.filePath("gain/normalised.mp3");
        QVERIFY(!extract(source, peak, normalised).failure);
        const double ratio = rms(decode(peak, 44100), 44100, 3 * 44100) / level;
        QVERIFY2(qAbs(ratio - 32000.0 / 8192) < 0.05, qPrintable(QString::number(ratio)));

        AudioExtractionSettings faded;
        faded.fadeInDuration = 1.0;
        faded.fadeOutDuration = 1.0;
        const QString fades = m_dir.filePath("gain/faded.mp3");
        QVERIFY(!extract(source, fades, faded).failure);
        const auto x = decode(fades, 44100);
        QVERIFY(rms(x, 0, 2205) < 0.05 * level);                   // first 50 ms
        QVERIFY(qAbs(rms(x, 20000, 24100) / level - 0.5) < 0.05);  // around 0.5 s
        QVERIFY(qAbs(rms(x, 66150, 110250) / level - 1.0) < 0.03); // middle
        QVERIFY(rms(x, x.size() - 2205, x.size()) < 0.05 * level); // last 50 ms
    }

    void progressReports()
    {
        const QString out = m_dir.filePath("progress/long.mp3");
        const auto outcome = extract(m_media["long.mp4"], out, {});
        QVERIFY2(!outcome.failure, qPrintable(outcome.error()));
        const auto &reports = outcome.reports;
        QVERIFY(reports.size() >= 2);
        for (qsizetype i = 0; i + 1 < reports.size(); ++i) {
            QVERIFY(!reports[i].isComplete);
            QVERIFY(reports[i].fractionCompleted <= 1.0);
            QVERIFY(reports[i].processedDuration > 0.0); // none before the first block
        }
        const auto &last = reports.last();
        QVERIFY(last.isComplete);
        QCOMPARE(last.fractionCompleted, 1.0);
        QCOMPARE(last.estimatedRemainingTime, 0.0);
        QCOMPARE(last.totalDuration, 60.0);
        // At most one report per 0.1 s, plus the blocks at or past the end, plus the final one.
        const qsizetype atEnd =
            std::count_if(reports.begin(), reports.end() - 1,
                          [](const ExtractionProgress &p) { return p.fractionCompleted >= 1.0; });
        QVERIFY2(
            reports.size() - atEnd - 1 <= qsizetype(outcome.wallSeconds / 0.1) + 1,
            qPrintable(
                QStringLiteral("%1 reports in %2 s").arg(reports.size()).arg(outcome.wallSeconds)));
    }

    void failuresLeaveNothingBehind_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("message");
        QTest::newRow("no audio") << "silent-video.mp4"
                                  << "The selected video file contains no audio tracks.";
        QTest::newRow("no decodable audio")
            << "packetless-audio.mkv"
            << "No audio could be decoded from \"packetless-audio.mkv\"; the file is damaged";
        QTest::newRow("broken") << "broken.mp4"
                                << "broken.mp4";
        QTest::newRow("missing") << "does-not-exist.mp4"
                                 << "does-not-exist.mp4";
    }
    void failuresLeaveNothingBehind()
    {
        QFETCH(QString, source);
        QFETCH(QString, message);
        const QString dir =
            m_dir.filePath("fail-" + QString(QTest::currentDataTag()).replace(' ', '-'));
        const QString out = dir + "/out.mp3";
        const QString path = m_media.value(source, m_dir.filePath("src/" + source));
        const auto outcome = extract(path, out, {});
        QVERIFY(outcome.failure);
        QVERIFY2(outcome.error().contains(message), qPrintable(outcome.error()));
        QVERIFY(folderEntries(dir).isEmpty());
    }

    void destinationFoldersAreCreated()
    {
        const QString out = m_dir.filePath("deep/er/still/out.mp3");
        const auto outcome = extract(m_media["mono22050.mkv"], out, {});
        QVERIFY2(!outcome.failure, qPrintable(outcome.error()));
        QVERIFY(QFile::exists(out));
    }

    // The temporary name borrows the destination's; it must fit wherever that one fits.
    void longestFileNamesStillWork()
    {
        const QString name = QString(80, QChar(0x6771)) + ".mp3"; // 244 bytes in UTF-8
        QCOMPARE(QFile::encodeName(name).size(), 244);
        const QString out = m_dir.filePath("long-name/" + name);
        const auto outcome = extract(m_media["mono22050.mkv"], out, {});
        QVERIFY2(!outcome.failure, qPrintable(outcome.error()));
        QCOMPARE(folderEntries(m_dir.filePath("long-name")), QStringList{name});
    }

    void cancelBeforeTheFirstBufferIsACancellation()
    {
        AudioExtractionSettings settings;
        settings.normalizePeak = true;
        settings.trimStartSeconds = 50.0;
        AudioExtractionEngine engine;
        auto done = engine.extractAudio(m_media["long.mp4"], m_dir.filePath("early/out.mp3"),
                                        settings, std::nullopt);
        engine.cancel();
        try {
            done.get();
            QFAIL("not cancelled");
        } catch (const AudioExtractionError &e) {
            QCOMPARE(e.errorDescription(), QString("Audio extraction was cancelled."));
        }
        QVERIFY(folderEntries(m_dir.filePath("early")).isEmpty());
    }

    // A start far beyond any media must neither overflow nor hang.
    void absurdTrimValuesEndCleanly()
    {
        AudioExtractionSettings settings;
        settings.trimStartSeconds = 1e15;
        settings.trimEndSeconds = 2e15;
        const auto outcome =
            extract(m_media["mono22050.mkv"], m_dir.filePath("absurd/out.mp3"), settings);
        if (outcome.failure)
            QVERIFY(folderEntries(m_dir.filePath("absurd")).isEmpty());
    }

    void unwritableDestinationFailsCleanly()
    {
        // A regular file where the folder should be.
        const QString blocker = m_dir.filePath("blocker");
        QFile f(blocker);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        const auto outcome = extract(m_media["mono22050.mkv"], blocker + "/out.mp3", {});
        QCOMPARE(outcome.error(),
                 QString("Failed to create MP3 encoder instance. Not a directory."));
    }

    // A cancelled or failed re-run must leave the earlier result untouched.
    // Split over several encoders, a long extraction decodes to exactly the samples one encoder
    // gives, with trims, fades, gain and normalisation placed by their position in the file.
    void segmentedEncodingMatchesOneEncoder_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<AudioExtractionSettings>("settings");
        QTest::addColumn<int>("threads");
        AudioExtractionSettings plain;
        QTest::newRow("48 kHz stereo 320k, 2 threads") << "long.mp4" << plain << 2;
        // Planned on 60 s, the third segment starts after the audio has ended; at 5 s the
        // audio ends before the segments are placed.
        QTest::newRow("audio shorter than the video, 3 threads") << "audio-34s.mp4" << plain << 3;
        QTest::newRow("audio of 5 s in a 60 s video, 2 threads") << "audio-5s.mp4" << plain << 2;
        AudioExtractionSettings shaped;
        shaped.bitrate = BitrateOption::vbr2;
        shaped.sampleRate = SampleRateOption::sr44100;
        shaped.channels = AudioChannelOption::mono;
        shaped.trimStartSeconds = 4.3;
        shaped.trimEndSeconds = 51.7;
        shaped.fadeInDuration = 2.5;
        shaped.fadeOutDuration = 3.0;
        shaped.volumeGainDb = -4.5;
        QTest::newRow("44.1 kHz mono V2, trim, fades, gain, 3 threads")
            << "long.mp4" << shaped << 3;
        AudioExtractionSettings normalized;
        normalized.bitrate = BitrateOption::cbr128;
        normalized.sampleRate = SampleRateOption::sr32000;
        normalized.normalizePeak = true;
        QTest::newRow("32 kHz stereo 128k, normalised, 4 threads") << "long.mp4" << normalized << 4;
    }

    void segmentedEncodingMatchesOneEncoder()
    {
        QFETCH(QString, source);
        QFETCH(AudioExtractionSettings, settings);
        QFETCH(int, threads);
        const QString dir =
            m_dir.filePath(QStringLiteral("segmented-%1").arg(QTest::currentDataTag()));
        const QString single = dir + "/single.mp3";
        const QString segmented = dir + "/segmented.mp3";
        QVERIFY(!extract(m_media[source], single, settings).failure);
        // The split path decodes into a hidden PCM file beside the partial MP3.
        std::atomic<bool> sawDecodedPcm = false;
        QList<ExtractionProgress> reports;
        AudioExtractionEngine engine;
        engine.setEncoderThreads(threads);
        auto done = engine.extractAudio(m_media[source], segmented, settings, std::nullopt,
                                        [&](const ExtractionProgress &p) {
                                            if (!folderEntries(dir).filter(".pcm").isEmpty())
                                                sawDecodedPcm = true;
                                            reports << p;
                                        });
        done.get();
        QVERIFY(sawDecodedPcm);
        const QByteArray expected = decodedPcm(single);
        QVERIFY(expected.size() > 400000);
        QVERIFY(decodedPcm(segmented) == expected);
        QVERIFY(testtools::mp3valProblems({segmented}).isEmpty());
        // The info frame speaks for the whole joined stream: readers that trust it agree. (A
        // variable-bitrate join may enlarge a frame by a few bytes, so sizes may differ.)
        for (const char *field : {"Duration", "FrameCount"}) {
            QCOMPARE(testtools::mediainfoTrack(segmented, "Audio")[field].toString(),
                     testtools::mediainfoTrack(single, "Audio")[field].toString());
        }
        // Progress still runs once from start to end.
        QVERIFY(!reports.isEmpty());
        for (qsizetype i = 1; i < reports.size(); ++i)
            QVERIFY(reports[i].fractionCompleted >= reports[i - 1].fractionCompleted);
        QCOMPARE(reports.last().fractionCompleted, 1.0);
        QCOMPARE(folderEntries(dir), (QStringList{"segmented.mp3", "single.mp3"}));
    }

    void cancellationKeepsAnEarlierResult_data()
    {
        QTest::addColumn<int>("threads");
        QTest::newRow("one encoder") << 1;
        QTest::newRow("two encoders") << 2;
    }

    void cancellationKeepsAnEarlierResult()
    {
        QFETCH(int, threads);
        const QString out = m_dir.filePath(QStringLiteral("cancel-%1/result.mp3").arg(threads));
        QVERIFY(!extract(m_media["mono22050.mkv"], out, {}).failure);
        const QByteArray before = fileHash(out);

        std::atomic<AudioExtractionEngine *> running{nullptr};
        AudioExtractionEngine engine;
        engine.setEncoderThreads(threads);
        running = &engine;
        auto done = engine.extractAudio(m_media["long.mp4"], out, {}, std::nullopt,
                                        [&](const ExtractionProgress &p) {
                                            if (p.fractionCompleted > 0.1)
                                                running.load()->cancel();
                                        });
        try {
            done.get();
            QFAIL("the extraction was not cancelled");
        } catch (const AudioExtractionError &e) {
            QCOMPARE(e.kind(), AudioExtractionError::Kind::cancelled);
            QCOMPARE(e.errorDescription(), QString("Audio extraction was cancelled."));
        }
        QCOMPARE(fileHash(out), before);
        QCOMPARE(folderEntries(QFileInfo(out).path()), QStringList{"result.mp3"});

        // A re-run that fails on a broken source leaves it too.
        QVERIFY(extract(m_media["broken.mp4"], out, {}).failure);
        QCOMPARE(fileHash(out), before);
    }

    void destroyingARunningEngineCancelsIt()
    {
        const QString dir = m_dir.filePath("destroy");
        std::shared_future<void> done;
        {
            AudioExtractionEngine engine;
            done = engine.extractAudio(m_media["long.mp4"], dir + "/out.mp3", {}, std::nullopt);
            QThread::msleep(50);
        }
        QVERIFY(done.wait_for(std::chrono::seconds(0)) == std::future_status::ready);
        QVERIFY(folderEntries(dir).filter(".part").isEmpty());
    }

    void foreignFileAppearingMeanwhileStays_data() { cancellationKeepsAnEarlierResult_data(); }

    // A file someone else puts at the destination while the extraction runs is left as it is;
    // the MP3 goes to the next numbered name, which the engine reports.
    void foreignFileAppearingMeanwhileStays()
    {
        QFETCH(int, threads);
        const QString dir = m_dir.filePath(QStringLiteral("appearing-%1").arg(threads));
        QVERIFY(QDir().mkpath(dir));
        const QString out = dir + "/out.mp3";
        std::atomic<bool> placed = false;
        AudioExtractionEngine engine;
        engine.setEncoderThreads(threads);
        engine.setKeepsForeignFiles(true);
        auto done = engine.extractAudio(m_media["long.mp4"], out, {}, std::nullopt,
                                        [&](const ExtractionProgress &p) {
                                            if (p.fractionCompleted < 0.1 || placed)
                                                return;
                                            QFile mine(out);
                                            if (mine.open(QIODevice::WriteOnly))
                                                mine.write("not an MP3");
                                            placed = true;
                                        });
        done.get();
        QVERIFY(placed);
        QCOMPARE(engine.writtenPath(), dir + "/out (2).mp3");
        QFile mine(out);
        QVERIFY(mine.open(QIODevice::ReadOnly));
        QCOMPARE(mine.readAll(), QByteArray("not an MP3"));
        QCOMPARE(testtools::id3(engine.writtenPath())["frames"]
                     .toObject()["TXXX:TONBROOK_SOURCE"]
                     .toObject()["text"]
                     .toString(),
                 QString("long.mp4"));
        QVERIFY(testtools::mp3valProblems(engine.writtenPath()).isEmpty());
        QCOMPARE(folderEntries(dir), (QStringList{"out (2).mp3", "out.mp3"}));
    }

    void fullDiskFailsAndKeepsTheEarlierResult_data() { cancellationKeepsAnEarlierResult_data(); }

    // With several encoders the decoded PCM is what fills the disk first.
    void fullDiskFailsAndKeepsTheEarlierResult()
    {
        QFETCH(int, threads);
        const QString dir = m_dir.filePath(QStringLiteral("tiny-%1").arg(threads));
        QDir().mkpath(dir);
        if (::mount("tmpfs", QFile::encodeName(dir).constData(), "tmpfs", 0, "size=256k") != 0)
            QSKIP("cannot mount a small tmpfs here (needs root)");
        const auto unmount = qScopeGuard([&] { ::umount(QFile::encodeName(dir).constData()); });
        const QString out = dir + "/out.mp3";
        QVERIFY(!extract(m_media["mono22050.mkv"], out, {}).failure); // about 160 KB
        const QByteArray before = fileHash(out);
        const auto outcome = extract(m_media["long.mp4"], out, {}, std::nullopt, threads);
        QVERIFY(outcome.failure);
        QCOMPARE(outcome.error(),
                 QString("MP3 encoder write failed with error -3. The disk is full."));
        QCOMPARE(fileHash(out), before);
        QCOMPARE(folderEntries(dir), QStringList{"out.mp3"});
    }

private:
    QTemporaryDir m_dir;
    QHash<QString, QString> m_media;
};

QTEST_GUILESS_MAIN(TestAudioExtractionEngine)
#include "tst_audio_extraction_engine.moc"
