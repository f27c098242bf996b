// tonbrook-cli's arguments: usage errors, help, file intake and the --inspect report.
#include "cli_test_support.h"
#include "support/testtools.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/stat.h>

using namespace clitest;

class TestCliUsage : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void usageErrorsNameTheOption_data();
    void usageErrorsNameTheOption();
    void nothingAcceptableIsAUsageError();
    void helpAndVersion();
    void inspectDescribesEveryFileInOrder();
    void folderIntakeFollowsTheQueue();
    void emptyShardConvertsNothing_data();
    void emptyShardConvertsNothing();
};

void TestCliUsage::initTestCase()
{
    // --shard auto must find no cluster around the runs here.
    for (const char *name : {"SLURM_ARRAY_TASK_ID", "JOB_COMPLETION_INDEX", "TONBROOK_SHARD_COUNT"})
        qunsetenv(name);
}

void TestCliUsage::usageErrorsNameTheOption_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("named");

    QTest::newRow("jobs 0") << QStringList{"--jobs", "0"} << "--jobs";
    QTest::newRow("jobs 65") << QStringList{"-j", "65"} << "--jobs";
    QTest::newRow("jobs not a number") << QStringList{"--jobs", "two"} << "--jobs";
    QTest::newRow("threads 0") << QStringList{"--threads", "0"} << "--threads";
    QTest::newRow("threads 65") << QStringList{"--threads", "65"} << "--threads";
    QTest::newRow("bitrate 999") << QStringList{"--bitrate", "999"} << "--bitrate";
    QTest::newRow("sample rate 22050") << QStringList{"-r", "22050"} << "--sample-rate";
    QTest::newRow("channels quad") << QStringList{"--channels", "quad"} << "--channels";
    QTest::newRow("gain text") << QStringList{"--gain", "loud"} << "--gain";
    QTest::newRow("limiter without loudness") << QStringList{"--limiter"} << "--limiter";
    QTest::newRow("gain huge") << QStringList{"--gain=1000"} << "--gain";
    QTest::newRow("gain nan") << QStringList{"-g", "nan"} << "--gain";
    QTest::newRow("start negative") << QStringList{"--start=-1"} << "--start";
    QTest::newRow("end before start") << QStringList{"--start", "5", "--end", "2"} << "--end";
    QTest::newRow("fade-in inf") << QStringList{"--fade-in", "inf"} << "--fade-in";
    QTest::newRow("fade-out negative") << QStringList{"--fade-out=-2"} << "--fade-out";
    QTest::newRow("track negative") << QStringList{"--track=-1"} << "--track";
    QTest::newRow("track text") << QStringList{"-t", "first"} << "--track";
    for (const char *shard : {"4/3", "0/3", "3", "a/b", "1/0", "1/3/5", "-1/3", "1/3000000"})
        QTest::addRow("shard %s", shard) << QStringList{"--shard", shard} << "--shard";
    QTest::newRow("shard auto outside a cluster") << QStringList{"--shard=auto"} << "--shard auto";
    QTest::newRow("shard-count without auto")
        << QStringList{"--shard", "1/3", "--shard-count", "3"} << "--shard-count";
    QTest::newRow("shard-count 0")
        << QStringList{"--shard", "auto", "--shard-count", "0"} << "--shard-count";
    QTest::newRow("unknown option") << QStringList{"--frobnicate"} << "frobnicate";
    QTest::newRow("missing value") << QStringList{"--bitrate"} << "bitrate";
}

void TestCliUsage::usageErrorsNameTheOption()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, named);
    QTemporaryDir dir;
    const QString source = dir.filePath("clip.mp4");
    QVERIFY(copyTo(taggedClip(), source));

    // A missing value swallows nothing when the option comes last.
    const CliRun run = runCli(named == "bitrate" ? QStringList{source} + arguments
                                                 : arguments + QStringList{source});
    QCOMPARE(run.exitCode, 2);
    QVERIFY(run.out.isEmpty());
    QCOMPARE(run.errLines().size(), 1);
    QVERIFY2(run.errLines().first().contains(named), run.err.constData());
    QCOMPARE(entriesBelow(dir.path()), QStringList{"clip.mp4"});
}

void TestCliUsage::nothingAcceptableIsAUsageError()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath("empty"));
    QFile notes(dir.filePath("notes.txt"));
    QVERIFY(notes.open(QIODevice::WriteOnly));
    notes.close();

    const CliRun none = runCli({});
    QCOMPARE(none.exitCode, 2);
    QCOMPARE(none.errLines().size(), 1);

    const CliRun run =
        runCli({dir.filePath("notes.txt"), dir.filePath("missing.mp4"), dir.filePath("empty")});
    QCOMPARE(run.exitCode, 2);
    const QStringList err = run.errLines();
    QCOMPARE(err.size(), 4);
    QVERIFY(err[0].contains("notes.txt") && err[0].contains("not a supported video file"));
    QVERIFY(err[1].contains("missing.mp4") && err[1].contains("no such file"));
    QVERIFY(err[2].contains("empty"));
    QVERIFY(err[3].contains("no supported video files"));
}

void TestCliUsage::helpAndVersion()
{
    const CliRun help = runCli({"--help"});
    QCOMPARE(help.exitCode, 0);
    for (const char *option :
         {"--output-dir",   "--bitrate",   "--sample-rate", "--channels", "--normalize",
          "--gain",         "--start",     "--end",         "--fade-in",  "--fade-out",
          "--no-cover-art", "--track",     "--title",       "--artist",   "--album",
          "--year",         "--genre",     "--comment",     "--jobs",     "--threads",
          "--inspect",      "--json",      "--quiet",       "--version",  "--shard",
          "--shard-count",  "--overwrite", "--loudness",    "--limiter",  "--replaygain"})
        QVERIFY2(help.out.contains(option), option);
    QVERIFY(help.out.contains("320, 256, 192, 128, v0, v2"));

    const CliRun version = runCli({"--version"});
    QCOMPARE(version.exitCode, 0);
    QVERIFY(QRegularExpression("^tonbrook-cli \\d+\\.\\d+\\.\\d+$")
                .match(version.outLines().value(0))
                .hasMatch());
}

void TestCliUsage::inspectDescribesEveryFileInOrder()
{
    QTemporaryDir dir;
    const QString clip = dir.filePath("clip.mp4");
    const QString audio = dir.filePath("tracks.mkv");
    const QString broken = dir.filePath("broken.mp4");
    QVERIFY(copyTo(taggedClip(), clip));
    QVERIFY(copyTo(twoTrackAudio(), audio));
    QVERIFY(copyTo(brokenFile(), broken));
    const QString unusedOutput = dir.filePath("never");

    const CliRun run = runCli({"--inspect", "-o", unusedOutput, clip, audio, broken});
    QCOMPARE(run.exitCode, 1);
    QJsonParseError parseError;
    const QJsonArray files = QJsonDocument::fromJson(run.out, &parseError).array();
    QCOMPARE(parseError.error, QJsonParseError::NoError);
    QCOMPARE(files.size(), 3);

    const QJsonObject video = files[0].toObject();
    const QJsonObject probe = testtools::ffprobe(clip);
    QCOMPARE(video["file"].toString(), clip);
    QCOMPARE(video["fileName"].toString(), QString("clip.mp4"));
    QCOMPARE(video["fileSize"].toInteger(), QFileInfo(clip).size());
    QVERIFY(qAbs(video["duration"].toDouble() -
                 probe["format"].toObject()["duration"].toString().toDouble()) < 0.05);
    QCOMPARE(video["formattedDuration"].toString(), QString("00:03"));
    QVERIFY(video["formattedFileSize"].toString().endsWith("kB"));
    QCOMPARE(video["videoResolution"].toObject(), (QJsonObject{{"width", 320}, {"height", 240}}));
    QVERIFY(!video["videoCodec"].toString().isEmpty());
    const QJsonArray videoTracks = video["audioTracks"].toArray();
    QCOMPARE(videoTracks.size(), 1);
    QCOMPARE(videoTracks[0].toObject()["id"].toInt(), 0);
    QCOMPARE(videoTracks[0].toObject()["channels"].toInt(), 2);
    QCOMPARE(videoTracks[0].toObject()["sampleRate"].toDouble(), 44100.0);
    QVERIFY(videoTracks[0].toObject()["language"].isNull());
    QVERIFY(!videoTracks[0].toObject()["name"].toString().isEmpty());
    QCOMPARE(videoTracks[0].toObject()["format"].toString(), QString("aac"));
    const QJsonObject tags = video["metadata"].toObject();
    QCOMPARE(tags["title"].toString(), QString("Harbour Lights"));
    QCOMPARE(tags["artist"].toString(), QString("The Quay"));
    QCOMPARE(tags["album"].toString(), QString("Tides"));
    // The poster frame doubles as cover art.
    QVERIFY(tags["coverArtBytes"].toInteger() > 0);
    // The thumbnail the views draw: filling 200x140, the shape kept.
    QCOMPARE(video["thumbnail"].toObject(), (QJsonObject{{"width", 200}, {"height", 150}}));

    const QJsonObject tracks = files[1].toObject();
    QCOMPARE(tracks["file"].toString(), audio);
    QVERIFY(tracks["videoResolution"].isNull());
    QVERIFY(tracks["videoCodec"].isNull());
    QVERIFY(tracks["thumbnail"].isNull());
    QCOMPARE(tracks["metadata"].toObject()["coverArtBytes"].toInteger(), 0);
    QCOMPARE(tracks["metadata"].toObject()["title"].toString(), QString("tracks"));
    const QJsonArray audioTracks = tracks["audioTracks"].toArray();
    QCOMPARE(audioTracks.size(), 2);
    QCOMPARE(audioTracks[0].toObject()["channels"].toInt(), 1);
    QCOMPARE(audioTracks[1].toObject()["channels"].toInt(), 2);
    QCOMPARE(audioTracks[1].toObject()["id"].toInt(), 1);
    QVERIFY(audioTracks[0].toObject()["language"].toString().startsWith("en"));
    QVERIFY(audioTracks[1].toObject()["language"].toString().startsWith("de"));

    const QJsonObject failed = files[2].toObject();
    QCOMPARE(failed.keys(), (QStringList{"error", "file"}));
    QCOMPARE(failed["file"].toString(), broken);
    const QString error = failed["error"].toString();
    QVERIFY(!error.isEmpty());
    QVERIFY(QString::fromUtf8(run.err).contains(broken + ": " + error));

    // Inspection converts nothing and creates nothing.
    QCOMPARE(entriesBelow(dir.path()), (QStringList{"broken.mp4", "clip.mp4", "tracks.mkv"}));

    // A file's object is written once every file before it is inspected. A FIFO nobody writes
    // yet stays in inspection for good, so the first object must come out while it is stuck;
    // the files behind it are inspected meanwhile and still keep their place. Fed bytes that
    // are no media, the FIFO fails and the array completes; interrupted instead, the run
    // closes the array after what it had written.
    const QString fifo = dir.filePath("stuck.mp4");
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const bool interrupt : {false, true}) {
        QProcess cli;
        cli.start(cliPath(), {"--inspect", clip, fifo, audio, broken});
        QByteArray out;
        const auto written = [&] {
            out += cli.readAllStandardOutput();
            return QJsonDocument::fromJson(out + "]").array().size();
        };
        QVERIFY(QTest::qWaitFor([&] { return written() == 1; }, 60000));
        if (interrupt) {
            QCOMPARE(::kill(pid_t(cli.processId()), SIGINT), 0);
        } else {
            QFile feed(fifo);
            QVERIFY(feed.open(QIODevice::WriteOnly));
            feed.write(QByteArray("no media here\n").repeated(20));
        }
        QVERIFY(cli.waitForFinished(60000));
        QCOMPARE(cli.exitCode(), interrupt ? 130 : 1);
        out += cli.readAllStandardOutput();
        const QJsonArray streamed = QJsonDocument::fromJson(out, &parseError).array();
        QCOMPARE(parseError.error, QJsonParseError::NoError);
        QStringList order;
        for (const QJsonValue &file : streamed)
            order << file["file"].toString();
        QCOMPARE(order, (interrupt ? QStringList{clip} : QStringList{clip, fifo, audio, broken}));
        QCOMPARE(streamed[0], files[0]);
        if (!interrupt) {
            QVERIFY(!streamed[1]["error"].toString().isEmpty());
            QCOMPARE(streamed[2], files[1]);
            QCOMPARE(streamed[3], files[2]);
        }
    }
}

void TestCliUsage::folderIntakeFollowsTheQueue()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath("videos");
    for (const char *name : {"clip.MOV", ".hidden.mp4", "sub/clip2.mkv", ".secret/inside.mp4"})
        QVERIFY(copyTo(taggedClip(), QDir(folder).filePath(name)));
    QFile notes(QDir(folder).filePath("notes.txt"));
    QVERIFY(notes.open(QIODevice::WriteOnly));
    notes.close();

    // The walk skips hidden items, a file given twice is one job, a hidden file given directly
    // is taken, and a missing argument is named without failing the run.
    const CliRun run = runCli({"--inspect", folder + "/", QDir(folder).filePath("clip.MOV"),
                               dir.filePath("missing.mkv"), QDir(folder).filePath(".hidden.mp4")});
    QCOMPARE(run.exitCode, 0);
    QStringList files;
    for (const QJsonValue &file : QJsonDocument::fromJson(run.out).array())
        files << QDir(folder).relativeFilePath(file["file"].toString());
    QCOMPARE(files, (QStringList{"clip.MOV", "sub/clip2.mkv", ".hidden.mp4"}));
    QCOMPARE(run.errLines().size(), 1);
    QVERIFY(run.errLines().first().contains("missing.mkv"));
}

void TestCliUsage::emptyShardConvertsNothing_data()
{
    // The part the arguments and environment choose; 0 where they are a usage error.
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<int>("part");
    const auto slurm = [](int id, int min, int max, int step) {
        return QStringList{QStringLiteral("SLURM_ARRAY_TASK_ID=%1").arg(id),
                           QStringLiteral("SLURM_ARRAY_TASK_MIN=%1").arg(min),
                           QStringLiteral("SLURM_ARRAY_TASK_MAX=%1").arg(max),
                           QStringLiteral("SLURM_ARRAY_TASK_STEP=%1").arg(step),
                           "SLURM_ARRAY_TASK_COUNT=3"};
    };
    const QStringList automatic{"--shard", "auto"};
    QTest::newRow("--shard 3/3") << QStringList{"--shard", "3/3"} << QStringList{} << 3;
    QTest::newRow("array 5-7, task 7") << automatic << slurm(7, 5, 7, 1) << 3;
    QTest::newRow("array 0-4:2, task 4") << automatic << slurm(4, 0, 4, 2) << 3;
    QTest::newRow("array 0-4:2, task 2") << automatic << slurm(2, 0, 4, 2) << 2;
    QTest::newRow("array 1,3,8, task 8") << automatic << slurm(8, 1, 8, 1) << 0;
}

void TestCliUsage::emptyShardConvertsNothing()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, environment);
    QFETCH(int, part);
    QTemporaryDir dir;
    QVERIFY(copyTo(taggedClip(), dir.filePath("in/clip.mp4")));

    // One file in three parts: the later parts are empty, which is no error on a cluster.
    for (const QString &variable : environment)
        qputenv(variable.section(u'=', 0, 0).toLatin1(), variable.section(u'=', 1).toLatin1());
    const CliRun run =
        runCli(arguments + QStringList{"-o", dir.filePath("out"), dir.filePath("in")});
    for (const QString &variable : environment)
        qunsetenv(variable.section(u'=', 0, 0).toLatin1());
    QCOMPARE(entriesBelow(dir.filePath("out")), QStringList());
    if (part == 0) {
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.contains("--shard auto"), run.err.constData());
        return;
    }
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.err.isEmpty(), run.err.constData());
    QVERIFY2(
        QRegularExpression(
            QStringLiteral("^0 completed, 0 failed, 0 cancelled in \\d+\\.\\d s, shard %1 of 3$")
                .arg(part))
            .match(run.outLines().value(0))
            .hasMatch(),
        run.out.constData());
}

QTEST_GUILESS_MAIN(TestCliUsage)
#include "tst_cli_usage.moc"
