#include "model/media_reader.h"
#include "model/media_records.h"

#include "support/test_media.h"
#include "support/testtools.h"

#include <QJsonArray>
#include <QTest>

#include <cmath>
#include <limits>

using namespace tonbrook;

Q_DECLARE_METATYPE(std::optional<QString>)

namespace {

// Stands in for a media framework whose loads can fail where FFmpeg's cannot.
class ScriptedAsset final : public MediaAsset {
public:
    double duration = 10.0;
    std::vector<MediaTrack> video;
    std::vector<MediaTrack> audio;
    bool metadataFails = false;
    std::vector<MetadataItem> metadata;
    std::vector<double> imageRequests;

    QString filePath() const override { return {}; }
    double loadDuration() override { return duration; }
    std::vector<MediaTrack> loadTracks(MediaType type) override
    {
        return type == MediaType::video ? video : audio;
    }
    std::vector<MetadataItem> loadCommonMetadata() override
    {
        if (metadataFails)
            throw MediaReaderError("clip.mov: The tags could not be read");
        return metadata;
    }
    QImage generateImage(double time, QSize, bool) override
    {
        imageRequests.push_back(time);
        QImage image(16, 9, QImage::Format_RGB888);
        image.fill(Qt::green);
        return image;
    }
    std::unique_ptr<MediaAssetReader> createReader() override { return nullptr; }
};

MediaTrack videoTrack()
{
    MediaTrack track;
    track.mediaType = MediaType::video;
    track.naturalSize = {640, 360};
    track.formatDescriptions.push_back({0x61766331, QStringLiteral("avc1"), std::nullopt});
    return track;
}

QString tagged(const QString &name, const QStringList &tags, const QStringList &codec)
{
    QStringList arguments =
        testmedia::patternInput({320, 180}, 10, 3) + testmedia::noiseInput(48000, 2, 3) + codec;
    for (const QString &tag : tags)
        arguments << "-metadata" << tag;
    return testmedia::make(name, arguments);
}

} // namespace

class TestVideoFileInfo : public QObject {
    Q_OBJECT

private slots:
    void formattedDuration_data();
    void formattedDuration();
    void fourCCToString_data();
    void fourCCToString();
    void equalityAndHashing();
    void serialisedForms();
    void identityAndTexts();
    void portraitVideoIsTurned();
    void posterHasDisplaySize_data();
    void posterHasDisplaySize();
    void audioOnlyFile();
    void threeTracksWithLanguages();
    void tags_data();
    void tags();
    void codecTexts_data();
    void codecTexts();
    void headerlessDuration();
    void fileWithoutTracks();
    void brokenFileFails();
    void posterTimeAndFailures_data();
    void posterTimeAndFailures();
    void unreadableTagsKeepDefaults();
};

void TestVideoFileInfo::formattedDuration_data()
{
    QTest::addColumn<double>("duration");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << 0.0 << "00:00";
    QTest::newRow("fraction dropped") << 59.99 << "00:59";
    QTest::newRow("minutes") << 245.9 << "04:05";
    QTest::newRow("last below an hour") << 3599.0 << "59:59";
    QTest::newRow("an hour") << 3600.0 << "1:00:00";
    QTest::newRow("hours") << 3723.0 << "1:02:03";
    QTest::newRow("beyond a day") << 90000.0 << "25:00:00";
}

void TestVideoFileInfo::formattedDuration()
{
    QFETCH(double, duration);
    QFETCH(QString, text);
    VideoFileInfo info;
    info.duration = duration;
    QCOMPARE(info.formattedDuration(), text);
}

void TestVideoFileInfo::fourCCToString_data()
{
    QTest::addColumn<quint32>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("lpcm") << quint32(0x6C70636D) << "lpcm";
    QTest::newRow("aac and a space") << quint32(0x61616320) << "aac";
    QTest::newRow("avc1") << quint32(0x61766331) << "avc1";
    QTest::newRow("zero") << quint32(0) << "";
    QTest::newRow("second byte zero") << quint32(0x61006364) << "a";
    QTest::newRow("leading space") << quint32(0x20616263) << "abc";
}

void TestVideoFileInfo::fourCCToString()
{
    QFETCH(quint32, code);
    QFETCH(QString, text);
    QCOMPARE(VideoFileInfo::fourCCToString(code), text);
}

void TestVideoFileInfo::equalityAndHashing()
{
    const MediaMetadata plain{"t", "a", "al", "2020", "g", "c"};
    QCOMPARE(plain, (MediaMetadata{"t", "a", "al", "2020", "g", "c"}));
    QVERIFY(plain != (MediaMetadata{"t", "a", "al", "2020", "g", "c", QByteArray()}));
    QByteArray art("\xff\xd8\x01\x02", 4);
    QByteArray other = art;
    other[3] = 3;
    QVERIFY((MediaMetadata{"t", "a", "al", "2020", "g", "c", art}) !=
            (MediaMetadata{"t", "a", "al", "2020", "g", "c", other}));
    QCOMPARE((MediaMetadata{"t", "a", "al", "2020", "g", "c", art}),
             (MediaMetadata{"t", "a", "al", "2020", "g", "c", QByteArray(art.constData(), 4)}));

    const AudioTrackInfo track{0, "Track 1 (aac, 2ch, 48000Hz)", "aac", 2, 48000};
    const AudioTrackInfo english{0, "Track 1 (aac, 2ch, 48000Hz)", "aac", 2, 48000, "en"};
    QVERIFY(track != english);
    QCOMPARE(track, (AudioTrackInfo{0, "Track 1 (aac, 2ch, 48000Hz)", "aac", 2, 48000}));
    QCOMPARE(qHash(track),
             qHash(AudioTrackInfo{0, "Track 1 (aac, 2ch, 48000Hz)", "aac", 2, 48000}));
    QVERIFY(qHash(track) != qHash(english));
}

void TestVideoFileInfo::serialisedForms()
{
    const MediaMetadata withArt{"t", "a", "al", "2020", "g", "c", QByteArray("\x00\xff", 2)};
    QCOMPARE(MediaMetadata::fromJson(withArt.toJson()), withArt);
    const MediaMetadata without{"t", "", "", "", "", ""};
    QVERIFY(!without.toJson().contains("coverArtData"));
    QCOMPARE(MediaMetadata::fromJson(without.toJson()), without);
    QCOMPARE(without.toJson().keys(),
             (QStringList{"album", "artist", "comment", "genre", "title", "year"}));

    const AudioTrackInfo track{2, "Track 3 (Audio, 2ch, 44100Hz)", "Audio", 2, 44100.0};
    QVERIFY(!track.toJson().contains("language"));
    QCOMPARE(AudioTrackInfo::fromJson(track.toJson()), track);
    const AudioTrackInfo german{1, "n", "opus", 6, 48000.0, "de"};
    QCOMPARE(AudioTrackInfo::fromJson(german.toJson()), german);
}

void TestVideoFileInfo::identityAndTexts()
{
    VideoFileInfo info;
    info.fileURL = QUrl::fromLocalFile("/tmp/My Holiday Clips/day one.mov");
    QCOMPARE(info.id(), QStringLiteral("/tmp/My Holiday Clips/day one.mov"));
    QCOMPARE(AudioTrackInfo::displayName(0, "aac", 2, 48000.9), "Track 1 (aac, 2ch, 48000Hz)");
    QCOMPARE(AudioTrackInfo::displayName(2, "Audio", 2, 44100), "Track 3 (Audio, 2ch, 44100Hz)");
    QLocale::setDefault(QLocale::c());
    info.fileSize = 1234567;
    QCOMPARE(info.formattedFileSize(), QStringLiteral("1.2 MB"));
    info.fileSize = 999;
    QCOMPARE(info.formattedFileSize(), QStringLiteral("999 bytes"));
}

void TestVideoFileInfo::portraitVideoIsTurned()
{
    // Stored landscape with the top-left quarter red; a phone's quarter-turn matrix on top.
    const QString stored = testmedia::make(
        "landscape.mp4", QStringList{"-f", "lavfi", "-i", "color=c=blue:s=1920x1080:r=25:d=4",
                                     "-vf", "drawbox=x=0:y=0:w=960:h=540:color=red:t=fill", "-c:v",
                                     "libx264", "-pix_fmt", "yuv420p"});
    const QString path = testmedia::make(
        "portrait.mp4", {"-i", stored, "-c", "copy", "-metadata:s:v:0", "rotate=270"});
    QVERIFY(!path.isEmpty());
    QCOMPARE(testtools::mediainfoTrack(path, "Video")["Rotation"].toString().toDouble(), 90.0);

    const VideoFileInfo info = VideoFileInfo::inspect(QUrl::fromLocalFile(path));
    QCOMPARE(info.videoResolution, std::optional<QSizeF>(QSizeF(1080, 1920)));
    // The views' thumbnail fills 200x140 at most; the cover art is the whole poster.
    QVERIFY(info.thumbnail);
    QCOMPARE(info.thumbnail->size(), QSize(200, 355));
    QCOMPARE(info.thumbnail->image().size(), QSize(200, 355));
    QVERIFY(info.metadata.coverArtData);
    const QByteArray jpeg = info.metadata.coverArtData->bytes();
    QVERIFY(jpeg.startsWith("\xff\xd8"));
    const QImage image = QImage::fromData(jpeg, "JPEG");
    QCOMPARE(image.size(), QSize(450, 800));

    // ffmpeg turns the frame upright by itself; the red quarter must be where it puts it.
    const auto upright = testtools::run(testtools::ffmpegPath(),
                                        {"-v", "error", "-i", path, "-frames:v", "1", "-s",
                                         "450x800", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"});
    QCOMPARE(upright.out.size(), 450 * 800 * 3);
    for (const QPoint point :
         {QPoint(100, 100), QPoint(350, 100), QPoint(100, 700), QPoint(350, 700)}) {
        const auto *pixel = reinterpret_cast<const uchar *>(upright.out.constData()) +
                            (point.y() * 450 + point.x()) * 3;
        const bool referenceRed = pixel[0] > 200 && pixel[2] < 60;
        const QColor ours = image.pixelColor(point);
        QCOMPARE(ours.red() > 200 && ours.blue() < 60, referenceRed);
    }
}

void TestVideoFileInfo::posterHasDisplaySize_data()
{
    QTest::addColumn<QString>("path");
    auto file = [](const char *name, QSize size, const QStringList &codec) {
        return testmedia::make(name, testmedia::patternInput(size, 10, 1) + codec);
    };
    // H.263 states 12:11 pixels in its picture header; the container's 1:1 wins.
    QTest::newRow("h263 3gp") << file("qcif.3gp", {176, 144}, {"-c:v", "h263"});
    QTest::newRow("container aspect mkv")
        << file("anamorphic.mkv", {360, 288}, {"-vf", "setsar=16/15", "-c:v", "libx264"});
    QTest::newRow("codec aspect ts")
        << file("widescreen.ts", {352, 288}, {"-c:v", "mpeg2video", "-aspect", "16:9"});
    QTest::newRow("anamorphic mp4")
        << file("anamorphic.mp4", {160, 120}, {"-vf", "setsar=4/3", "-c:v", "libx264"});
    // Copied from a bare H.263 stream, the 3GP's only pixel aspect is the picture header's 12:11.
    const QString bare = file("qcif.h263", {176, 144}, {"-c:v", "h263"});
    QTest::newRow("h263 3gp, codec aspect")
        << testmedia::make("qcif-codec-aspect.3gp", {"-i", bare, "-c", "copy"});
}

void TestVideoFileInfo::posterHasDisplaySize()
{
    QFETCH(QString, path);
    QVERIFY(!path.isEmpty());
    const QJsonObject stream = testtools::ffprobe(path)["streams"].toArray().at(0).toObject();
    const QStringList aspect = stream["sample_aspect_ratio"].toString().split(':');
    QCOMPARE(aspect.size(), 2);
    const QSize display(
        int(std::lround(stream["width"].toInt() * aspect[0].toDouble() / aspect[1].toDouble())),
        stream["height"].toInt());

    const VideoFileInfo info = VideoFileInfo::inspect(QUrl::fromLocalFile(path));
    QCOMPARE(info.videoResolution, std::optional<QSizeF>(QSizeF(display)));
    QVERIFY(info.thumbnail);
    QVERIFY(info.metadata.coverArtData);
    QCOMPARE(QImage::fromData(info.metadata.coverArtData->bytes(), "JPEG").size(), display);
    // The thumbnail is the poster at most scaled, never stretched.
    const QSize thumbnail = info.thumbnail->image().size();
    QVERIFY2(std::abs(double(thumbnail.width()) / thumbnail.height() -
                      double(display.width()) / display.height()) < 0.02,
             qPrintable(QStringLiteral("%1x%2").arg(thumbnail.width()).arg(thumbnail.height())));
}

void TestVideoFileInfo::audioOnlyFile()
{
    const QString path = testmedia::make("audio only.mov", testmedia::noiseInput(44100, 2, 5) +
                                                               QStringList{"-c:a", "aac"});
    const VideoFileInfo info = VideoFileInfo::inspect(QUrl::fromLocalFile(path));
    QVERIFY(!info.videoResolution);
    QVERIFY(!info.videoCodec);
    QVERIFY(!info.thumbnail);
    QVERIFY(!info.metadata.coverArtData);
    QCOMPARE(info.audioTracks.size(), size_t(1));
    QCOMPARE(info.audioTracks[0].name, QStringLiteral("Track 1 (aac, 2ch, 44100Hz)"));
    QCOMPARE(info.fileName, QFileInfo(path).fileName());
    QCOMPARE(info.fileSize, QFileInfo(path).size());
    const double probed = testmedia::formatDuration(path);
    QVERIFY(std::abs(info.duration - probed) < 0.01);
    QCOMPARE(info.metadata.title, QFileInfo(path).completeBaseName());
    QCOMPARE(info.metadata.album, info.metadata.title);
    QCOMPARE(info.metadata.genre, QStringLiteral("Soundtrack"));
    QCOMPARE(info.metadata.comment, QStringLiteral("Extracted with Tonbrook"));
}

void TestVideoFileInfo::threeTracksWithLanguages()
{
    const QString path = testmedia::make(
        "three tracks.mkv", testmedia::patternInput({320, 180}, 10, 3) +
                                testmedia::noiseInput(48000, 2, 3) +
                                QStringList{"-f",
                                            "lavfi",
                                            "-i",
                                            "sine=r=44100:d=3",
                                            "-f",
                                            "lavfi",
                                            "-i",
                                            "anoisesrc=r=32000:d=3,aformat=channel_layouts=5.1",
                                            "-map",
                                            "0",
                                            "-map",
                                            "1",
                                            "-map",
                                            "2",
                                            "-map",
                                            "3",
                                            "-c:v",
                                            "libx264",
                                            "-c:a:0",
                                            "aac",
                                            "-c:a:1",
                                            "libopus",
                                            "-c:a:2",
                                            "ac3",
                                            "-metadata:s:a:0",
                                            "language=eng",
                                            "-metadata:s:a:1",
                                            "language=deu"});
    const VideoFileInfo info = VideoFileInfo::inspect(QUrl::fromLocalFile(path));
    const QJsonArray streams = testtools::ffprobe(path)["streams"].toArray();
    QCOMPARE(info.audioTracks.size(), size_t(3));
    const QStringList names{"Track 1 (aac, 2ch, 48000Hz)", "Track 2 (opus, 1ch, 48000Hz)",
                            "Track 3 (ac3, 6ch, 32000Hz)"};
    for (size_t i = 0; i < 3; ++i) {
        QCOMPARE(info.audioTracks[i].id, qint64(i));
        QCOMPARE(info.audioTracks[i].name, names[int(i)]);
        QCOMPARE(info.audioTracks[i].channels, streams[int(i) + 1]["channels"].toInteger());
    }
    QCOMPARE(info.audioTracks[0].language, std::optional<QString>("en"));
    QCOMPARE(info.audioTracks[1].language, std::optional<QString>("de"));
    QCOMPARE(info.audioTracks[2].language, std::nullopt);
}

void TestVideoFileInfo::tags_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("artist");
    QTest::addColumn<QString>("album");
    QTest::addColumn<QString>("year");
    const QStringList full{"title=Harbour Lights", "artist=The Pilots", "album=Night Shift",
                           "date=2019-06-01T10:00:00Z"};
    const QStringList h264{"-c:v", "libx264", "-c:a", "aac"};
    QTest::newRow("mp4") << tagged("tags.mp4", full, h264) << "Harbour Lights"
                         << "The Pilots"
                         << "Night Shift"
                         << "2019";
    QTest::newRow("mov") << tagged("tags.mov", full, h264) << "Harbour Lights"
                         << "The Pilots"
                         << "Night Shift"
                         << "2019";
    QTest::newRow("mkv") << tagged("tags.mkv", full, h264) << "Harbour Lights"
                         << "The Pilots"
                         << "Night Shift"
                         << "2019";
    QTest::newRow("webm") << tagged("tags.webm", full, {"-c:v", "libvpx", "-c:a", "libopus"})
                          << "Harbour Lights"
                          << "The Pilots"
                          << "Night Shift"
                          << "2019";
    QTest::newRow("avi") << tagged("tags.avi", full, {"-c:v", "mpeg4", "-c:a", "libmp3lame"})
                         << "Harbour Lights"
                         << "The Pilots"
                         << "Night Shift"
                         << "2019";
    QTest::newRow("wmv") << tagged("tags.wmv",
                                   {"title=Harbour Lights", "author=The Pilots",
                                    "album=Night Shift", "year=2019"},
                                   {"-c:v", "wmv2", "-c:a", "wmav2"})
                         << "Harbour Lights"
                         << "The Pilots"
                         << "Night Shift"
                         << "2019";
    QTest::newRow("ogv") << tagged("tags.ogv", full, {"-c:v", "libtheora", "-c:a", "libvorbis"})
                         << "Harbour Lights"
                         << "The Pilots"
                         << "Night Shift"
                         << "2019";
    QTest::newRow("flv") << tagged("tags.flv", full, {"-c:v", "flv1", "-c:a", "libmp3lame"})
                         << "Harbour Lights"
                         << "The Pilots"
                         << "Night Shift"
                         << "2019";
    // Phones and cameras write QuickTime's reverse-DNS keys, as MP4 and MOV with metadata tags.
    const QStringList quickTime{"com.apple.quicktime.title=Harbour Lights",
                                "com.apple.quicktime.artist=The Pilots",
                                "com.apple.quicktime.album=Night Shift",
                                "com.apple.quicktime.creationdate=2019-06-01T10:00:00+0200"};
    const QStringList keyed = h264 + QStringList{"-movflags", "use_metadata_tags"};
    QTest::newRow("quicktime keys mov")
        << tagged("quicktime.mov", quickTime, keyed) << "Harbour Lights"
        << "The Pilots"
        << "Night Shift"
        << "2019";
    QTest::newRow("quicktime keys mp4")
        << tagged("quicktime.mp4", quickTime, keyed) << "Harbour Lights"
        << "The Pilots"
        << "Night Shift"
        << "2019";
    QTest::newRow("quicktime author")
        << tagged("quicktime author.mov", {"com.apple.quicktime.author=Camera Owner"}, keyed)
        << "quicktime author"
        << "Camera Owner"
        << "quicktime author"
        << "";
    // Matroska stores AUTHOR before ARTIST whatever the command order (ffprobe lists them so):
    // the later item in the file wins.
    QTest::newRow("later of artist and author wins")
        << tagged("author.mkv", {"artist=First", "author=Second"}, h264) << "author"
        << "First"
        << "author"
        << "";
    QTest::newRow("empty title, no album, short date")
        << tagged("empty title.mp4", {"title=", "artist=Solo", "date=19"}, h264) << "empty title"
        << "Solo"
        << "empty title"
        << "";
    QTest::newRow("no tags") << tagged("clip.final.mp4", {}, h264) << "clip.final"
                             << ""
                             << "clip.final"
                             << "";
}

void TestVideoFileInfo::tags()
{
    QFETCH(QString, path);
    QFETCH(QString, title);
    QFETCH(QString, artist);
    QFETCH(QString, album);
    QFETCH(QString, year);
    QVERIFY(!path.isEmpty());
    const VideoFileInfo info = VideoFileInfo::inspect(QUrl::fromLocalFile(path));
    // The hash the media helper adds to names is part of the base name.
    const QString base = QFileInfo(path).completeBaseName();
    auto expand = [&](const QString &text) {
        return base.startsWith(text + "-") ? base : text;
    };
    QCOMPARE(info.metadata.title, expand(title));
    QCOMPARE(info.metadata.artist, artist);
    QCOMPARE(info.metadata.album, expand(album));
    QCOMPARE(info.metadata.year, year);
    QCOMPARE(info.metadata.genre, QStringLiteral("Soundtrack"));
    QCOMPARE(info.metadata.comment, QStringLiteral("Extracted with Tonbrook"));
}

void TestVideoFileInfo::codecTexts_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("video");
    QTest::addColumn<QString>("audio");
    auto file = [](const char *name, const QStringList &codec) {
        return testmedia::make(name, testmedia::patternInput({160, 120}, 10, 2) +
                                         testmedia::noiseInput(48000, 2, 2) + codec);
    };
    QTest::newRow("h264 aac mp4") << file("c.mp4", {"-c:v", "libx264", "-c:a", "aac"}) << "avc1"
                                  << "aac";
    QTest::newRow("hevc mov") << file("c.mov",
                                      {"-c:v", "libx265", "-tag:v", "hvc1", "-c:a", "pcm_s16le"})
                              << "hvc1"
                              << "lpcm";
    QTest::newRow("vp9 vorbis webm")
        << file("c.webm", {"-c:v", "libvpx-vp9", "-c:a", "libvorbis"}) << "vp9"
        << "vorbis";
    QTest::newRow("theora flac ogv")
        << file("c.ogv", {"-c:v", "libtheora", "-c:a", "flac"}) << "theora"
        << "flac";
    QTest::newRow("mpeg2 mp2 mpg")
        << file("c.mpg", {"-c:v", "mpeg2video", "-c:a", "mp2"}) << "mpeg2video"
        << "mp2";
    QTest::newRow("wmv2 wmav2 wmv") << file("c.wmv", {"-c:v", "wmv2", "-c:a", "wmav2"}) << "WMV2"
                                    << "wmav2";
}

void TestVideoFileInfo::codecTexts()
{
    QFETCH(QString, path);
    QFETCH(QString, video);
    QFETCH(QString, audio);
    const VideoFileInfo info = VideoFileInfo::inspect(QUrl::fromLocalFile(path));
    QCOMPARE(info.videoCodec, std::optional<QString>(video));
    QCOMPARE(info.audioTracks.at(0).format, audio);
    QCOMPARE(info.videoResolution, std::optional<QSizeF>(QSizeF(160, 120)));
}

void TestVideoFileInfo::headerlessDuration()
{
    const QString path = testmedia::makePiped("recorder.webm",
                                              testmedia::patternInput({160, 120}, 10, 20) +
                                                  testmedia::noiseInput(48000, 2, 20) +
                                                  QStringList{"-c:v", "libvpx", "-c:a", "libopus"},
                                              "webm");
    QVERIFY(!std::isfinite(testmedia::formatDuration(path)));
    const VideoFileInfo info = VideoFileInfo::inspect(QUrl::fromLocalFile(path));
    QVERIFY2(std::abs(info.duration - 20.0) < 0.1, qPrintable(QString::number(info.duration)));
    QCOMPARE(info.formattedDuration(), QStringLiteral("00:20"));
    QVERIFY(info.thumbnail);
}

void TestVideoFileInfo::fileWithoutTracks()
{
    const QString subtitles =
        testmedia::writeBytes("words.srt", "1\n00:00:00,000 --> 00:00:02,000\nHello\n");
    const QString path = testmedia::make("subtitles only.mkv", {"-i", subtitles, "-c:s", "srt"});
    const VideoFileInfo info = VideoFileInfo::inspect(QUrl::fromLocalFile(path));
    QVERIFY(!info.videoResolution);
    QVERIFY(!info.videoCodec);
    QVERIFY(info.audioTracks.empty());
    QVERIFY(!info.thumbnail);
}

void TestVideoFileInfo::brokenFileFails()
{
    const QString path = testmedia::writeBytes("broken clip.mov", QByteArray(4096, 'x'));
    try {
        VideoFileInfo::inspect(QUrl::fromLocalFile(path));
        QFAIL("inspection did not fail");
    } catch (const MediaReaderError &error) {
        QVERIFY2(error.description().startsWith("broken clip.mov: "), error.what());
    }
}

void TestVideoFileInfo::posterTimeAndFailures_data()
{
    QTest::addColumn<double>("duration");
    QTest::addColumn<double>("requested");
    QTest::newRow("100 s") << 100.0 << 10.0;
    QTest::newRow("10 s") << 10.0 << 1.0;
    QTest::newRow("1.5 s") << 1.5 << 0.75;
    QTest::newRow("0 s") << 0.0 << 0.0;
    QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << 0.0;
    QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << 0.0;
    QTest::newRow("rounded to 1/600") << 2.0001 << 1.0;
}

void TestVideoFileInfo::posterTimeAndFailures()
{
    QFETCH(double, duration);
    QFETCH(double, requested);
    ScriptedAsset asset;
    asset.duration = duration;
    asset.video.push_back(videoTrack());
    const VideoFileInfo info = VideoFileInfo::inspect(QUrl::fromLocalFile("/x/clip.mov"), asset);
    QCOMPARE(asset.imageRequests.size(), size_t(1));
    QCOMPARE(asset.imageRequests[0], requested);
    QCOMPARE(info.duration, std::isfinite(duration) ? duration : 0.0);
    QCOMPARE(info.thumbnail->size(), QSize(16, 9));
    QVERIFY(info.metadata.coverArtData);
}

void TestVideoFileInfo::unreadableTagsKeepDefaults()
{
    ScriptedAsset asset;
    asset.metadataFails = true;
    MediaTrack audio;
    audio.formatDescriptions.clear();
    asset.audio.push_back(audio);
    const VideoFileInfo info = VideoFileInfo::inspect(QUrl::fromLocalFile("/x/clip.mov"), asset);
    QCOMPARE(info.metadata.title, QStringLiteral("clip"));
    QCOMPARE(info.metadata.album, QStringLiteral("clip"));
    QCOMPARE(info.metadata.genre, QStringLiteral("Soundtrack"));
    QCOMPARE(info.metadata.comment, QStringLiteral("Extracted with Tonbrook"));
    QCOMPARE(info.audioTracks.at(0).name, QStringLiteral("Track 1 (Audio, 2ch, 44100Hz)"));
    QCOMPARE(info.fileSize, qint64(0));
}

QTEST_GUILESS_MAIN(TestVideoFileInfo)
#include "tst_video_file_info.moc"
