// tonbrook-cli converting generated media: what reaches the MP3, the events, the exit
// statuses and interruption. MP3s are read with ffprobe, mediainfo, mp3val and mutagen.
#include "cli_test_support.h"
#include "support/test_media.h"
#include "support/testtools.h"

#include <algorithm>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <csignal>
#include <memory>
#include <sys/stat.h>
#include <vector>

using namespace clitest;

namespace {

QJsonObject audioStream(const QString &mp3)
{
    return testtools::ffprobe(mp3)["streams"].toArray().first().toObject();
}

double probedDuration(const QString &mp3)
{
    return testtools::ffprobe(mp3)["format"].toObject()["duration"].toString().toDouble();
}

double rms(const std::vector<qint16> &samples, double fromSeconds, double toSeconds, int rate)
{
    const auto from = size_t(fromSeconds * rate);
    const auto to = std::min(samples.size(), size_t(toSeconds * rate));
    double sum = 0.0;
    for (size_t i = from; i < to; ++i)
        sum += double(samples[i]) * samples[i];
    return to > from ? std::sqrt(sum / double(to - from)) : 0.0;
}

// The --json lines that do not depend on timing: progress events left out, the batch's seconds
// blanked.
QByteArray steadyJson(const CliRun &run)
{
    QByteArray steady;
    for (const QByteArray &line : run.out.split('\n')) {
        if (line.contains(R"("event":"progress")"))
            continue;
        steady += QString::fromUtf8(line)
                      .replace(QRegularExpression(R"("seconds":[0-9.e+-]+)"), R"("seconds":0)")
                      .toUtf8() +
                  '\n';
    }
    return steady;
}

// The most jobs that were between their started and their final event at one time.
int mostAtOnce(const QList<QJsonObject> &events)
{
    QSet<QString> running;
    int most = 0;
    for (const QJsonObject &event : events) {
        const QString kind = event["event"].toString();
        if (kind == "started")
            running.insert(event["file"].toString());
        else if (kind == "completed" || kind == "failed" || kind == "cancelled")
            running.remove(event["file"].toString());
        most = std::max(most, int(running.size()));
    }
    return most;
}

} // namespace

class TestCliConvert : public QObject {
    Q_OBJECT

private slots:
    void defaultsWriteBesideTheSource();
    void jsonEventsAndFailures();
    void settingsReachTheMp3_data();
    void settingsReachTheMp3();
    void tagsReplaceInspectedOnesForEveryJob();
    void levelsAndFades();
    void trackSelection();
    void outputFolder();
    void filesTonbrookDidNotWriteStay_data();
    void filesTonbrookDidNotWriteStay();
    void concurrencyLimit_data();
    void concurrencyLimit();
    void quietPrintsFailuresAndSummaryOnly();
    void barsOnlyOnATerminal();
    void interruptLeavesNoPartialFile_data();
    void interruptLeavesNoPartialFile();
    void interruptDuringAStuckInspection();
    void cacheFolderGoesWithTheRun_data();
    void cacheFolderGoesWithTheRun();
    void shardsWriteWhatOneRunWrites_data();
    void shardsWriteWhatOneRunWrites();
    void humanLinesSpeakTheLanguageJsonDoesNot_data();
    void humanLinesSpeakTheLanguageJsonDoesNot();

private:
    // Shared by the sharding rows: a tree with colliding names and one run's output of it.
    QTemporaryDir m_shardWork;
};

void TestCliConvert::defaultsWriteBesideTheSource()
{
    QTemporaryDir dir;
    const QString first = dir.filePath("a.mp4");
    const QString second = dir.filePath("sub/b.mkv");
    QVERIFY(copyTo(taggedClip(), first));
    QVERIFY(copyTo(monoClip48k(), second));

    const CliRun run = runCli({dir.path()});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.err.isEmpty(), run.err.constData());
    const QStringList out = run.outLines();
    QCOMPARE(out.size(), 3);
    // Both run at once, so either may finish first.
    const QStringList finished = QStringList(out.mid(0, 2)).filter(" -> ");
    QCOMPARE(
        finished
            .filter(QRegularExpression("^completed: " + QRegularExpression::escape(first) + " -> " +
                                       QRegularExpression::escape(dir.filePath("a.mp3")) +
                                       " \\(320k, \\d+\\.\\d kB, 00:03\\)$"))
            .size(),
        1);
    QCOMPARE(
        finished.filter("completed: " + second + " -> " + dir.filePath("sub/b.mp3") + " (").size(),
        1);
    QVERIFY2(QRegularExpression("^2 completed, 0 failed, 0 cancelled in \\d+\\.\\d s$")
                 .match(out[2])
                 .hasMatch(),
             qPrintable(out[2]));
    QVERIFY(!run.out.contains('\x1b'));

    // Defaults: 320 kbit/s CBR, the source's own rate and channel count, inspected tags, the
    // poster frame as cover art.
    const QString mp3 = dir.filePath("a.mp3");
    const QJsonObject stream = audioStream(mp3);
    QCOMPARE(stream["codec_name"].toString(), QString("mp3"));
    QCOMPARE(stream["bit_rate"].toString(), QString("320000"));
    QCOMPARE(stream["sample_rate"].toString(), QString("44100"));
    QCOMPARE(stream["channels"].toInt(), 2);
    QVERIFY(qAbs(probedDuration(mp3) - 3.0) < 0.1);
    QCOMPARE(testtools::mp3valProblems(mp3), QStringList());
    const QJsonObject frames = testtools::id3(mp3)["frames"].toObject();
    QCOMPARE(frames["TIT2"].toObject()["text"].toString(), QString("Harbour Lights"));
    QCOMPARE(frames["TPE1"].toObject()["text"].toString(), QString("The Quay"));
    QCOMPARE(frames["TALB"].toObject()["text"].toString(), QString("Tides"));
    QCOMPARE(frames["APIC"].toObject()["mime"].toString(), QString("image/jpeg"));

    const QJsonObject mono = audioStream(dir.filePath("sub/b.mp3"));
    QCOMPARE(mono["sample_rate"].toString(), QString("48000"));
    QCOMPARE(mono["channels"].toInt(), 1);

    QCOMPARE(entriesBelow(dir.path()),
             (QStringList{"a.mp3", "a.mp4", "sub", "sub/b.mkv", "sub/b.mp3"}));
}

void TestCliConvert::jsonEventsAndFailures()
{
    QTemporaryDir dir;
    const QStringList sources{dir.filePath("one.mp4"), dir.filePath("silent.mp4"),
                              dir.filePath("broken.mp4"), dir.filePath("two.mov")};
    QVERIFY(copyTo(taggedClip(), sources[0]));
    QVERIFY(copyTo(videoOnly(), sources[1]));
    QVERIFY(copyTo(brokenFile(), sources[2]));
    QVERIFY(copyTo(taggedClip(), sources[3]));

    const CliRun run = runCli(QStringList{"--json", "-j", "1"} + sources);
    QCOMPARE(run.exitCode, 1);
    const QList<QJsonObject> events = run.events();
    QVERIFY(events.size() >= 4 + 2 + 2 + 2 + 1);
    for (const QJsonObject &event : events)
        QVERIFY(event.contains("event"));

    for (int i = 0; i < 4; ++i) {
        QCOMPARE(events[i]["event"].toString(), QString("added"));
        QCOMPARE(events[i]["file"].toString(), sources[i]);
        QCOMPARE(events[i]["output"].toString(), QFileInfo(sources[i]).path() + "/" +
                                                     QFileInfo(sources[i]).completeBaseName() +
                                                     ".mp3");
    }

    QHash<QString, QStringList> order;
    for (const QJsonObject &event : events.mid(4, events.size() - 5)) {
        const QString file = event["file"].toString();
        const QString kind = event["event"].toString();
        if (order[file].isEmpty() || order[file].constLast() != kind)
            order[file] << kind;
        if (kind == "progress") {
            QVERIFY(event["fraction"].toDouble() >= 0.0 && event["fraction"].toDouble() <= 1.0);
            QVERIFY(
                QRegularExpression("^\\d+\\.\\dx$").match(event["speed"].toString()).hasMatch());
            QVERIFY(!event["eta"].toString().isEmpty());
        } else if (kind == "completed") {
            const QString output = event["output"].toString();
            QCOMPARE(event["size"].toInteger(), QFileInfo(output).size());
            QVERIFY(qAbs(event["duration"].toDouble() - probedDuration(output)) < 0.05);
        } else if (kind == "failed") {
            const QString error = event["error"].toString();
            QVERIFY(!error.isEmpty());
            QVERIFY(QString::fromUtf8(run.err).contains("failed: " + file + ": " + error));
        }
    }
    for (const QString &good : {sources[0], sources[3]}) {
        QStringList seen = order[good];
        seen.removeAll("progress");
        QCOMPARE(seen, (QStringList{"started", "completed"}));
    }
    // Inspection fails for the broken file; the engine fails for the file without audio.
    QCOMPARE(order[sources[2]], QStringList{"failed"});
    QCOMPARE(order[sources[1]].constLast(), QString("failed"));
    QCOMPARE(mostAtOnce(events), 1);

    QCOMPARE(events.last(), (QJsonObject{{"event", "batch"},
                                         {"completed", 2},
                                         {"failed", 2},
                                         {"cancelled", 0},
                                         {"seconds", events.last()["seconds"]}}));
    QVERIFY(events.last()["seconds"].toDouble() > 0.0);
    QCOMPARE(run.errLines().size(), 2);
    QVERIFY(!QFileInfo::exists(dir.filePath("silent.mp3")));
    QVERIFY(!QFileInfo::exists(dir.filePath("broken.mp3")));
}

void TestCliConvert::settingsReachTheMp3_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("bitRate");     // 0: not checked
    QTest::addColumn<QString>("mode");    // mediainfo's BitRate_Mode
    QTest::addColumn<int>("sampleRate");  // 0: not checked
    QTest::addColumn<int>("channels");    // 0: not checked
    QTest::addColumn<double>("duration"); // 0: not checked

    const QString stereo44 = taggedClip();
    const QString mono48 = monoClip48k();
    QTest::newRow("-b 256") << stereo44 << QStringList{"-b", "256"} << 256000 << "CBR" << 0 << 0
                            << 0.0;
    QTest::newRow("-b 192") << stereo44 << QStringList{"-b", "192"} << 192000 << "CBR" << 0 << 0
                            << 0.0;
    QTest::newRow("--bitrate=128")
        << stereo44 << QStringList{"--bitrate=128"} << 128000 << "CBR" << 0 << 0 << 0.0;
    QTest::newRow("-b v0") << stereo44 << QStringList{"-b", "v0"} << 0 << "VBR" << 0 << 0 << 0.0;
    QTest::newRow("-b V2") << stereo44 << QStringList{"-b", "V2"} << 0 << "VBR" << 0 << 0 << 0.0;
    QTest::newRow("-r 48000") << stereo44 << QStringList{"-r", "48000"} << 320000 << "CBR" << 48000
                              << 2 << 0.0;
    QTest::newRow("-r 32000") << stereo44 << QStringList{"-r", "32000"} << 0 << "" << 32000 << 2
                              << 0.0;
    QTest::newRow("-r 44100 from 48k")
        << mono48 << QStringList{"-r", "44100"} << 0 << "" << 44100 << 1 << 0.0;
    QTest::newRow("-c mono") << stereo44 << QStringList{"-c", "mono"} << 0 << "" << 44100 << 1
                             << 0.0;
    QTest::newRow("-c stereo from mono")
        << mono48 << QStringList{"--channels", "stereo"} << 0 << "" << 48000 << 2 << 0.0;
    QTest::newRow("--start --end")
        << stereo44 << QStringList{"--start", "0.5", "--end", "2"} << 0 << "" << 0 << 0 << 1.5;
    QTest::newRow("--start only") << stereo44 << QStringList{"--start=2"} << 0 << "" << 0 << 0
                                  << 1.0;
    QTest::newRow("--end only") << stereo44 << QStringList{"--end", "1.25"} << 0 << "" << 0 << 0
                                << 1.25;
    // 320k is more than an MP3 at 22.05 kHz can carry: 160k is written, and said.
    QTest::newRow("320k at 22.05 kHz")
        << lowRateAudio() << QStringList{} << 160000 << "CBR" << 22050 << 1 << 0.0;
    QTest::newRow("--threads auto")
        << stereo44 << QStringList{"--threads", "auto"} << 320000 << "CBR" << 44100 << 2 << 0.0;
}

void TestCliConvert::settingsReachTheMp3()
{
    QFETCH(QString, source);
    QFETCH(QStringList, arguments);
    QFETCH(int, bitRate);
    QFETCH(QString, mode);
    QFETCH(int, sampleRate);
    QFETCH(int, channels);
    QFETCH(double, duration);

    QTemporaryDir dir;
    const QString input = dir.filePath("in." + QFileInfo(source).suffix());
    QVERIFY(copyTo(source, input));
    const CliRun run = runCli(arguments + QStringList{input});
    QCOMPARE(run.exitCode, 0);
    const QString mp3 = dir.filePath("in.mp3");
    QCOMPARE(testtools::mp3valProblems(mp3), QStringList());
    const QJsonObject stream = audioStream(mp3);
    if (bitRate) {
        QCOMPARE(stream["bit_rate"].toString().toInt(), bitRate);
        // The completion line names the bitrate the file carries.
        QVERIFY2(
            run.out.contains(QStringLiteral("-> %1 (%2k, ").arg(mp3).arg(bitRate / 1000).toUtf8()),
            run.out.constData());
    }
    if (!mode.isEmpty())
        QCOMPARE(testtools::mediainfoTrack(mp3, "Audio")["BitRate_Mode"].toString(), mode);
    if (sampleRate)
        QCOMPARE(stream["sample_rate"].toString().toInt(), sampleRate);
    if (channels)
        QCOMPARE(stream["channels"].toInt(), channels);
    if (duration > 0.0)
        QVERIFY2(qAbs(probedDuration(mp3) - duration) < 0.06,
                 qPrintable(QString::number(probedDuration(mp3))));
}

void TestCliConvert::tagsReplaceInspectedOnesForEveryJob()
{
    QTemporaryDir dir;
    QVERIFY(copyTo(taggedClip(), dir.filePath("a.mp4")));
    QVERIFY(copyTo(monoClip48k(), dir.filePath("b.mkv")));

    const CliRun run = runCli({"--title", "Zażółć gęślą", "--artist", "Ann", "--album", "Live",
                               "--year", "2021", "--genre", "Folk", "--comment", "from the cli",
                               "--no-cover-art", dir.filePath("a.mp4"), dir.filePath("b.mkv")});
    QCOMPARE(run.exitCode, 0);
    for (const char *name : {"a.mp3", "b.mp3"}) {
        const QJsonObject frames = testtools::id3(dir.filePath(name))["frames"].toObject();
        QCOMPARE(frames["TIT2"].toObject()["text"].toString(), QString("Zażółć gęślą"));
        QCOMPARE(frames["TPE1"].toObject()["text"].toString(), QString("Ann"));
        QCOMPARE(frames["TALB"].toObject()["text"].toString(), QString("Live"));
        const QString year = frames.contains("TYER") ? frames["TYER"].toObject()["text"].toString()
                                                     : frames["TDRC"].toObject()["text"].toString();
        QCOMPARE(year, QString("2021"));
        QCOMPARE(frames["TCON"].toObject()["text"].toString(), QString("Folk"));
        QCOMPARE(frames["COMM"].toObject()["text"].toString(), QString("from the cli"));
        QVERIFY(!frames.contains("APIC"));
    }
}

void TestCliConvert::levelsAndFades()
{
    QTemporaryDir dir;
    const QString source = dir.filePath("tone.mp4");
    QVERIFY(copyTo(quietTone(), source));
    const auto convert = [&](const QStringList &arguments, const QString &folder) {
        const CliRun run =
            runCli(arguments + QStringList{"-q", "-o", dir.filePath(folder), source});
        return run.exitCode == 0 ? dir.filePath(folder + "/tone.mp3") : QString();
    };
    const QString plain = convert({}, "plain");
    const QString quieter = convert({"--gain", "-6"}, "gain");
    const QString normalised = convert({"-n"}, "normalised");
    const QString faded = convert({"--fade-in", "1", "--fade-out=1"}, "faded");
    const QString measured = convert({"--replaygain"}, "measured");
    QVERIFY(!plain.isEmpty() && !quieter.isEmpty() && !normalised.isEmpty() && !faded.isEmpty() &&
            !measured.isEmpty());
    // Measured for ReplayGain, the file is tagged and its samples are left as they were.
    const QJsonObject frames = testtools::id3(measured)["frames"].toObject();
    QVERIFY(frames.contains("TXXX:REPLAYGAIN_TRACK_GAIN") &&
            frames.contains("TXXX:REPLAYGAIN_TRACK_PEAK"));
    QCOMPARE(testmedia::decodeAudio(measured, 44100, 1), testmedia::decodeAudio(plain, 44100, 1));

    const Volume base = volume(plain);
    QVERIFY2(base.maxDb < -9.0 && base.maxDb > -12.0, qPrintable(QString::number(base.maxDb)));
    QVERIFY(qAbs(volume(quieter).meanDb - (base.meanDb - 6.0)) < 0.5);
    QVERIFY(volume(normalised).maxDb > -1.0);

    const std::vector<qint16> level = testmedia::decodeAudio(plain, 44100, 1);
    const std::vector<qint16> fade = testmedia::decodeAudio(faded, 44100, 1);
    const double middle = rms(level, 1.5, 2.5, 44100);
    QVERIFY(middle > 1000.0);
    QVERIFY(qAbs(rms(fade, 1.5, 2.5, 44100) / middle - 1.0) < 0.05);
    QVERIFY(rms(fade, 0.0, 0.1, 44100) < 0.15 * middle);
    QVERIFY(rms(fade, 3.9, 4.0, 44100) < 0.15 * middle);
    QVERIFY(rms(fade, 0.45, 0.55, 44100) > 0.4 * middle);
}

void TestCliConvert::trackSelection()
{
    QTemporaryDir dir;
    const QString source = dir.filePath("tracks.mkv");
    QVERIFY(copyTo(twoTrackAudio(), source));

    // Track 0 is mono and track 1 stereo, so the channel count tells which one was read.
    QCOMPARE(runCli({"-q", "-t", "1", "-o", dir.filePath("one"), source}).exitCode, 0);
    QCOMPARE(audioStream(dir.filePath("one/tracks.mp3"))["channels"].toInt(), 2);
    QCOMPARE(runCli({"-q", "--track=0", "-o", dir.filePath("zero"), source}).exitCode, 0);
    QCOMPARE(audioStream(dir.filePath("zero/tracks.mp3"))["channels"].toInt(), 1);

    // A track the file does not have fails the job instead of quietly taking another one.
    const CliRun missing = runCli({"--json", "-t", "2", "-o", dir.filePath("two"), source});
    QCOMPARE(missing.exitCode, 1);
    const QList<QJsonObject> events = missing.events();
    QCOMPARE(events.size(), 3);
    QCOMPARE(events[1]["event"].toString(), QString("failed"));
    QVERIFY(events[1]["error"].toString().contains("track 2"));
    QCOMPARE(events[2]["failed"].toInt(), 1);
    QVERIFY(!QFileInfo::exists(dir.filePath("two/tracks.mp3")));
}

void TestCliConvert::outputFolder()
{
    QTemporaryDir dir;
    const QString first = dir.filePath("x/clip.mp4");
    const QString second = dir.filePath("y/clip.mkv");
    QVERIFY(copyTo(taggedClip(), first));
    QVERIFY(copyTo(monoClip48k(), second));
    const QString output = dir.filePath("made/on/demand");

    // Same base name from two folders: the second is numbered, neither overwrites the other.
    const CliRun run = runCli({"--json", "-o", output, first, second});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(entriesBelow(output), (QStringList{"clip (2).mp3", "clip.mp3"}));
    QCOMPARE(audioStream(QDir(output).filePath("clip.mp3"))["channels"].toInt(), 2);
    QCOMPARE(audioStream(QDir(output).filePath("clip (2).mp3"))["channels"].toInt(), 1);
    QCOMPARE(entriesBelow(dir.filePath("x")), QStringList{"clip.mp4"});
    QCOMPARE(run.events()[1]["output"].toString(), QDir(output).filePath("clip (2).mp3"));

    // The reason follows the message.
    const CliRun blocked = runCli({"-o", first + "/sub", second});
    QCOMPARE(blocked.exitCode, 2);
    QCOMPARE(blocked.err, QStringLiteral("tonbrook-cli: cannot create the output folder '%1/sub'. "
                                         "Not a directory.\n")
                              .arg(first)
                              .toUtf8());
}

void TestCliConvert::filesTonbrookDidNotWriteStay_data()
{
    QTest::addColumn<bool>("own");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("written");
    QTest::newRow("own earlier output") << true << QStringList{} << QString("talk.mp3");
    QTest::newRow("foreign file") << false << QStringList{} << QString("talk (2).mp3");
    QTest::newRow("foreign file, --overwrite")
        << false << QStringList{"--overwrite"} << QString("talk.mp3");
}

// Tonbrook's own earlier output is replaced in place, a file someone else made only with
// --overwrite; otherwise it stays byte for byte and the new file is numbered past it.
void TestCliConvert::filesTonbrookDidNotWriteStay()
{
    QFETCH(bool, own);
    QFETCH(QStringList, arguments);
    QFETCH(QString, written);
    QTemporaryDir dir;
    const QString source = dir.filePath("talk.mp4");
    QVERIFY(copyTo(taggedClip(), source));
    const QString existing = dir.filePath("talk.mp3");
    if (own)
        QCOMPARE(runCli({"-q", "-b", "128", source}).exitCode, 0);
    else
        QVERIFY(testtools::ffmpeg(
            {"-f", "lavfi", "-i", "sine=d=1", "-metadata", "title=Mine", existing}));
    QFile file(existing);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();

    const CliRun run = runCli(QStringList{"--json"} + arguments + QStringList{source});
    QCOMPARE(run.exitCode, 0);
    const QString path = dir.filePath(written);
    const QList<QJsonObject> events = run.events();
    QCOMPARE(events.first()["event"].toString(), QString("added"));
    QCOMPARE(events.first()["output"].toString(), path);
    for (const QJsonObject &event : events) {
        if (event["event"].toString() == "completed")
            QCOMPARE(event["output"].toString(), path);
    }
    if (path != existing) {
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);
    }
    // A new file at the default 320k (the earlier own one was 128k), marked as Tonbrook's.
    QCOMPARE(audioStream(path)["bit_rate"].toString(), QString("320000"));
    QCOMPARE(testtools::id3(path)["frames"]
                 .toObject()["TXXX:TONBROOK_SOURCE"]
                 .toObject()["text"]
                 .toString(),
             QString("talk.mp4"));
}

void TestCliConvert::concurrencyLimit_data()
{
    QTest::addColumn<QString>("jobs");
    QTest::addColumn<int>("most");
    QTest::newRow("-j 1") << "1" << 1;
    QTest::newRow("-j 2") << "2" << 2;
    QTest::newRow("-j 64") << "64" << 4;
}

void TestCliConvert::concurrencyLimit()
{
    QFETCH(QString, jobs);
    QFETCH(int, most);
    QTemporaryDir dir;
    for (const char *name : {"a.mp4", "b.mp4", "c.mp4", "d.mp4"})
        QVERIFY(copyTo(taggedClip(), dir.filePath(name)));

    // Every job is ready when the batch starts, so its first pass fills every slot at once.
    const CliRun run = runCli({"--json", "-j", jobs, dir.path()});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(mostAtOnce(run.events()), most);
    QCOMPARE(run.events().last()["completed"].toInt(), 4);
}

void TestCliConvert::quietPrintsFailuresAndSummaryOnly()
{
    QTemporaryDir dir;
    QVERIFY(copyTo(taggedClip(), dir.filePath("good.mp4")));
    QVERIFY(copyTo(brokenFile(), dir.filePath("bad.mp4")));

    const CliRun run = runCli({"-q", dir.filePath("good.mp4"), dir.filePath("bad.mp4")});
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.outLines().size(), 1);
    QVERIFY(run.outLines().first().startsWith("1 completed, 1 failed, 0 cancelled in "));
    QCOMPARE(run.errLines().size(), 1);
    QVERIFY(run.errLines().first().startsWith("failed: " + dir.filePath("bad.mp4") + ": "));
    QVERIFY(QFileInfo::exists(dir.filePath("good.mp3")));
}

void TestCliConvert::barsOnlyOnATerminal()
{
    const QString script = QStandardPaths::findExecutable("script");
    if (script.isEmpty())
        QSKIP("util-linux's script is not installed");
    QTemporaryDir dir;
    QVERIFY(copyTo(mediumAudio(), dir.filePath("a.mkv")));

    // script gives the program a pseudo-terminal and passes its exit status on.
    const auto result = testtools::run(
        script, {"-qec", cliPath() + " '" + dir.filePath("a.mkv") + "'", "/dev/null"});
    QCOMPARE(result.exitCode, 0);
    QVERIFY(result.out.contains("\x1b["));
    QVERIFY(result.out.contains("a.mkv"));
    QVERIFY(
        QRegularExpression("\\[#*\\.*\\] +\\d+%").match(QString::fromUtf8(result.out)).hasMatch());
    QVERIFY(result.out.contains("completed: " + dir.filePath("a.mkv").toUtf8()));
    QVERIFY(result.out.contains("1 completed, 0 failed, 0 cancelled"));
}

void TestCliConvert::interruptLeavesNoPartialFile_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGTERM") << int(SIGTERM);
}

void TestCliConvert::interruptLeavesNoPartialFile()
{
    QFETCH(int, signalNumber);
    QTemporaryDir dir;
    const QString first = dir.filePath("in/first.mkv");
    const QString second = dir.filePath("in/second.mkv");
    QVERIFY(copyTo(longAudio(), first));
    QVERIFY(copyTo(longAudio(), second));
    const QString output = dir.filePath("out");
    // An earlier result at the destination must survive a cancelled run untouched.
    QVERIFY(QDir().mkpath(output));
    QFile earlier(QDir(output).filePath("first.mp3"));
    QVERIFY(earlier.open(QIODevice::WriteOnly));
    earlier.write("an earlier result");
    earlier.close();

    QProcess cli;
    cli.start(cliPath(), {"--json", "-j", "2", "-o", output, first, second});
    QVERIFY(cli.waitForStarted());
    QByteArray seen;
    QVERIFY(QTest::qWaitFor(
        [&] {
            seen += cli.readAllStandardOutput();
            return seen.count("\"progress\"") >= 2 || cli.state() != QProcess::Running;
        },
        120000));
    QCOMPARE(cli.state(), QProcess::Running);
    QCOMPARE(::kill(pid_t(cli.processId()), signalNumber), 0);
    QVERIFY(cli.waitForFinished(60000));
    QCOMPARE(cli.exitStatus(), QProcess::NormalExit);
    QCOMPARE(cli.exitCode(), 130);

    seen += cli.readAllStandardOutput();
    CliRun run{cli.exitCode(), seen, cli.readAllStandardError()};
    const QList<QJsonObject> events = run.events();
    QSet<QString> cancelled;
    for (const QJsonObject &event : events) {
        QVERIFY(event["event"] != "completed" && event["event"] != "failed");
        if (event["event"] == "cancelled")
            cancelled.insert(event["file"].toString());
    }
    QCOMPARE(cancelled, (QSet<QString>{first, second}));
    QCOMPARE(events.last(), (QJsonObject{{"event", "batch"},
                                         {"completed", 0},
                                         {"failed", 0},
                                         {"cancelled", 2},
                                         {"seconds", events.last()["seconds"]}}));
    QCOMPARE(entriesBelow(output), QStringList{"first.mp3"});
    QVERIFY(earlier.open(QIODevice::ReadOnly));
    QCOMPARE(earlier.readAll(), QByteArray("an earlier result"));
    QCOMPARE(entriesBelow(dir.filePath("in")), (QStringList{"first.mkv", "second.mkv"}));
}

void TestCliConvert::interruptDuringAStuckInspection()
{
    QTemporaryDir dir;
    // Opening a FIFO blocks until a writer comes, which here is never.
    const QString fifo = dir.filePath("stuck.mp4");
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QVERIFY(copyTo(taggedClip(), dir.filePath("fine.mp4")));

    QProcess cli;
    cli.start(cliPath(), {"--json", fifo, dir.filePath("fine.mp4")});
    QVERIFY(cli.waitForStarted());
    QVERIFY(QTest::qWaitFor([&] { return cli.canReadLine(); }, 60000));
    QTest::qWait(300);
    QCOMPARE(::kill(pid_t(cli.processId()), SIGINT), 0);
    const bool ended = cli.waitForFinished(30000);
    if (!ended) {
        cli.kill();
        cli.waitForFinished();
    }
    QVERIFY(ended);
    QCOMPARE(cli.exitCode(), 130);
    const CliRun run{cli.exitCode(), cli.readAllStandardOutput(), cli.readAllStandardError()};
    QCOMPARE(run.events().last()["cancelled"].toInt(), 2);
    QVERIFY(!QFileInfo::exists(dir.filePath("fine.mp3")));
}

void TestCliConvert::shardsWriteWhatOneRunWrites_data()
{
    // Per part k of 3: its arguments and environment, with {k}, {k-1} and {k+4} filled in.
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("environment");
    QTest::newRow("--shard K/3") << QStringList{"--shard", "{k}/3"} << QStringList{};
    QTest::newRow("Slurm job array 5-7")
        << QStringList{"--shard", "auto"}
        << QStringList{"SLURM_ARRAY_TASK_ID={k+4}", "SLURM_ARRAY_TASK_MIN=5",
                       "SLURM_ARRAY_TASK_COUNT=3"};
    QTest::newRow("indexed job, TONBROOK_SHARD_COUNT")
        << QStringList{"--shard", "auto"}
        << QStringList{"JOB_COMPLETION_INDEX={k-1}", "TONBROOK_SHARD_COUNT=3"};
    QTest::newRow("indexed job, --shard-count")
        << QStringList{"--shard", "auto", "--shard-count", "3"}
        << QStringList{"JOB_COMPLETION_INDEX={k-1}", "TONBROOK_SHARD_COUNT=7"};
}

void TestCliConvert::shardsWriteWhatOneRunWrites()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, environment);
    // In the byte order of their paths, the order the folder is taken in.
    const QStringList sources{"a/clip.mp4", "a/talk.mkv", "b/clip.mp4",
                              "b/song.mov", "c/clip.mp4", "clip.mkv"};
    const QString tree = m_shardWork.filePath("videos");
    const QString whole = m_shardWork.filePath("one-run");
    if (!QFileInfo::exists(whole)) {
        for (int i = 0; i < int(sources.size()); ++i)
            QVERIFY(copyTo(toneClip(330 + 110 * i, 1.0 + 0.2 * i, QFileInfo(sources[i]).suffix()),
                           QDir(tree).filePath(sources[i])));
        QCOMPARE(runCli({"-q", "-o", whole, tree}).exitCode, 0);
    }
    const QStringList names{"clip (2).mp3", "clip (3).mp3", "clip (4).mp3",
                            "clip.mp3",     "song.mp3",     "talk.mp3"};
    QCOMPARE(entriesBelow(whole), names);

    // An earlier run's file under a name a part writes is replaced, as one run replaces it.
    QTemporaryDir dir;
    const QString output = dir.filePath("out");
    QVERIFY(copyTo(QDir(whole).filePath("song.mp3"), QDir(output).filePath("clip (2).mp3")));

    // The three parts run at once into one folder.
    QProcessEnvironment base = QProcessEnvironment::systemEnvironment();
    for (const char *name :
         {"SLURM_ARRAY_TASK_ID", "SLURM_ARRAY_TASK_MIN", "SLURM_ARRAY_TASK_COUNT",
          "JOB_COMPLETION_INDEX", "TONBROOK_SHARD_COUNT"})
        base.remove(name);
    std::vector<std::unique_ptr<QProcess>> parts;
    for (int k = 1; k <= 3; ++k) {
        const auto fill = [k](QString text) {
            return text.replace("{k}", QString::number(k))
                .replace("{k-1}", QString::number(k - 1))
                .replace("{k+4}", QString::number(k + 4));
        };
        QProcessEnvironment partEnvironment = base;
        for (const QString &variable : environment)
            partEnvironment.insert(variable.section(u'=', 0, 0), fill(variable.section(u'=', 1)));
        QStringList partArguments{"--json", "-o", output, tree};
        for (const QString &argument : arguments)
            partArguments << fill(argument);
        auto &part = parts.emplace_back(std::make_unique<QProcess>());
        part->setProcessEnvironment(partEnvironment);
        part->start(cliPath(), partArguments);
    }
    for (int k = 1; k <= 3; ++k) {
        QProcess &part = *parts[size_t(k - 1)];
        QVERIFY(part.waitForFinished(120000));
        const CliRun run{part.exitCode(), part.readAllStandardOutput(),
                         part.readAllStandardError()};
        QCOMPARE(run.exitCode, 0);
        // Part k converted the files at positions k-1, k+2, ... and said which part it was.
        QStringList converted;
        for (const QJsonObject &event : run.events()) {
            if (event["event"] == "completed")
                converted << QDir(tree).relativeFilePath(event["file"].toString());
        }
        converted.sort();
        QCOMPARE(converted, (QStringList{sources[k - 1], sources[k + 2]}));
        QCOMPARE(run.events().last()["shard"].toObject(),
                 (QJsonObject{{"index", k}, {"count", 3}}));
    }

    // Together: the same names, no leftovers, and under each name the same audio.
    QCOMPARE(entriesBelow(output), names);
    for (const QString &name : names)
        QVERIFY2(testmedia::decodeAudio(QDir(output).filePath(name), 44100, 1) ==
                     testmedia::decodeAudio(QDir(whole).filePath(name), 44100, 1),
                 qPrintable(name));
}

void TestCliConvert::cacheFolderGoesWithTheRun_data()
{
    QTest::addColumn<int>("signalNumber"); // 0: the run ends by itself
    QTest::newRow("finished") << 0;
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGKILL, swept by the next run") << int(SIGKILL);
}

void TestCliConvert::cacheFolderGoesWithTheRun()
{
    QFETCH(int, signalNumber);
    QTemporaryDir dir;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CACHE_HOME", dir.filePath("cache"));
    const QDir cache(dir.filePath("cache/tonbrook"));
    const auto sessions = [&cache] {
        QStringList names = cache.entryList({"session-*"}, QDir::Dirs | QDir::NoDotAndDotDot);
        names.sort();
        return names;
    };
    const auto start = [&](QProcess &cli, const QStringList &sources) {
        cli.setProcessEnvironment(environment);
        cli.start(cliPath(), QStringList{"--json", "-j", "1", "-o", dir.filePath("out")} + sources);
        return cli.waitForStarted();
    };
    const QString clip = dir.filePath("clip.mp4");
    const QString long1 = dir.filePath("long1.mkv");
    QVERIFY(copyTo(taggedClip(), clip) && copyTo(longAudio(), long1));

    // Another run going on at the same time (stuck on a FIFO no one writes) keeps its folder
    // through every sweep.
    const QString fifo = dir.filePath("stuck.mp4");
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QProcess other;
    QVERIFY(start(other, {fifo}));
    QVERIFY(QTest::qWaitFor([&] { return sessions().size() == 1; }, 30000));
    const QString otherSession = sessions().constFirst();

    QProcess cli;
    QVERIFY(start(cli, signalNumber == 0 ? QStringList{clip} : QStringList{clip, long1}));
    // The poster of the clip waits in the run's folder as cover art.
    QString session;
    QVERIFY(QTest::qWaitFor(
        [&] {
            for (const QString &name : sessions()) {
                if (name != otherSession &&
                    !QDir(cache.filePath(name)).entryList({"*.art"}, QDir::Files).isEmpty())
                    session = name;
            }
            return !session.isEmpty() || cli.state() != QProcess::Running;
        },
        60000));
    QVERIFY(!session.isEmpty());
    if (signalNumber != 0) {
        QVERIFY(QTest::qWaitFor([&] { return cli.readAllStandardOutput().contains("progress"); },
                                60000));
        QCOMPARE(::kill(pid_t(cli.processId()), signalNumber), 0);
    }
    QVERIFY(cli.waitForFinished(120000));
    if (signalNumber == SIGKILL) {
        QStringList left{otherSession, session};
        left.sort();
        QCOMPARE(sessions(), left);
        QProcess next;
        QVERIFY(start(next, {clip}));
        QVERIFY(next.waitForFinished(120000));
        QCOMPARE(next.exitCode(), 0);
    } else {
        QCOMPARE(cli.exitStatus(), QProcess::NormalExit);
        QCOMPARE(cli.exitCode(), signalNumber == 0 ? 0 : 130);
    }
    QCOMPARE(sessions(), QStringList{otherSession});

    QCOMPARE(::kill(pid_t(other.processId()), SIGTERM), 0);
    QVERIFY(other.waitForFinished(60000));
    QCOMPARE(other.exitCode(), 130);
    QCOMPARE(sessions(), QStringList());
}

void TestCliConvert::humanLinesSpeakTheLanguageJsonDoesNot_data()
{
    QTest::addColumn<QByteArray>("lang");
    QTest::addColumn<QByteArray>("language");
    QTest::addColumn<QString>("completed");
    QTest::addColumn<QString>("failed");
    QTest::addColumn<QString>("summary");
    // The reason of the file without audio, and the start of the reader's for the files that
    // cannot be opened, which comes after the file name and before FFmpeg's own words.
    QTest::addColumn<QString>("noAudio");
    QTest::addColumn<QString>("notOpened");

    const QString english = "The selected video file contains no audio tracks.";
    const QString german = "Die ausgewählte Videodatei enthält keine Tonspuren.";
    QTest::newRow("English") << QByteArray("en_US.UTF-8") << QByteArray() << "completed: "
                             << "failed: "
                             << R"(^1 completed, 3 failed, 0 cancelled in \d+\.\d s$)" << english
                             << "The file could not be opened (";
    QTest::newRow("German by LANGUAGE")
        << QByteArray("de_DE.UTF-8") << QByteArray("de") << "fertig: "
        << "fehlgeschlagen: "
        << R"(^1 fertig, 3 fehlgeschlagen, 0 abgebrochen in \d+,\d s$)" << german
        << "Die Datei konnte nicht geöffnet werden (";
    // A regional locale falls back to the language's translation.
    QTest::newRow("Austrian German by LANG")
        << QByteArray("de_AT.UTF-8") << QByteArray() << "fertig: "
        << "fehlgeschlagen: "
        << R"(^1 fertig, 3 fehlgeschlagen, 0 abgebrochen in \d+,\d s$)" << german
        << "Die Datei konnte nicht geöffnet werden (";
}

void TestCliConvert::humanLinesSpeakTheLanguageJsonDoesNot()
{
    QFETCH(QByteArray, lang);
    QFETCH(QByteArray, language);
    QFETCH(QString, completed);
    QFETCH(QString, failed);
    QFETCH(QString, summary);
    QFETCH(QString, noAudio);
    QFETCH(QString, notOpened);

    QTemporaryDir dir;
    const QString good = dir.filePath("good.mp4");
    const QString silent = dir.filePath("silent.mp4");
    const QString broken = dir.filePath("broken.mp4");
    QVERIFY(copyTo(taggedClip(), good));
    QVERIFY(copyTo(videoOnly(), silent));
    QVERIFY(copyTo(brokenFile(), broken));
    // Reading it fails in the kernel (nothing is mapped at offset 0), and FFmpeg words the
    // system's error with the C library's text.
    const QString unreadable = dir.filePath("unreadable.mp4");
    QVERIFY(QFile::link("/proc/self/mem", unreadable));
    const QStringList arguments{"-j", "1", good, silent, broken, unreadable};
    const CliRun reference = runCli(QStringList{"--json"} + arguments);
    QCOMPARE(reference.exitCode, 1);
    const CliRun inspected = runCli({"--inspect", good, broken});
    QCOMPARE(inspected.exitCode, 1);
    // sysfs takes no new file, not even from root: the encoder fails with the system's error.
    const QStringList unwritable{"--json", "-o", "/sys", good};
    const CliRun refused = runCli(unwritable);
    QCOMPARE(refused.exitCode, 1);

    // The C library's own texts in the row's language too, as on a desktop set up for it.
    QTemporaryDir locales;
    QCOMPARE(QProcess::execute("localedef", {"-i", QString::fromLatin1(lang.left(5)), "-f", "UTF-8",
                                             locales.filePath(QString::fromLatin1(lang))}),
             0);

    const QList<QByteArray> names{"LANG", "LANGUAGE", "LC_ALL", "LC_MESSAGES", "LOCPATH"};
    QList<QByteArray> saved;
    for (const QByteArray &name : names)
        saved << qgetenv(name.constData());
    const auto restore = qScopeGuard([&] {
        for (qsizetype i = 0; i < names.size(); ++i)
            qputenv(names[i].constData(), saved[i]);
    });
    qputenv("LANG", lang);
    qputenv("LANGUAGE", language);
    qunsetenv("LC_ALL");
    qunsetenv("LC_MESSAGES");
    qputenv("LOCPATH", QFile::encodeName(locales.path()));

    const CliRun human = runCli(arguments);
    QCOMPARE(human.exitCode, 1);
    const QStringList out = human.outLines();
    QCOMPARE(out.size(), 2);
    QVERIFY2(out[0].startsWith(completed + good + " -> "), qPrintable(out[0]));
    QVERIFY2(QRegularExpression(summary).match(out[1]).hasMatch(), qPrintable(out[1]));
    QStringList errors = human.errLines();
    errors.sort();
    QCOMPARE(errors.size(), 3);
    QVERIFY2(errors[0].startsWith(failed + broken + ": broken.mp4: " + notOpened),
             qPrintable(errors[0]));
    QCOMPARE(errors[1], failed + silent + ": " + noAudio);
    QVERIFY2(errors[2].startsWith(failed + unreadable + ": unreadable.mp4: " + notOpened),
             qPrintable(errors[2]));

    const CliRun json = runCli(QStringList{"--json"} + arguments);
    QCOMPARE(json.exitCode, 1);
    // Inspections run side by side, so the failures of two runs may come in either order.
    const auto sortedLines = [](const QByteArray &text) {
        QList<QByteArray> lines = text.split('\n');
        std::sort(lines.begin(), lines.end());
        return lines;
    };
    QCOMPARE(sortedLines(steadyJson(json)), sortedLines(steadyJson(reference)));
    QCOMPARE(steadyJson(runCli(unwritable)), steadyJson(refused));
    const CliRun inspect = runCli({"--inspect", good, broken});
    QCOMPARE(inspect.exitCode, 1);
    QCOMPARE(inspect.out, inspected.out);
}

QTEST_GUILESS_MAIN(TestCliConvert)
#include "tst_cli_convert.moc"
