// The encoder wrapper, with every MP3 it makes checked by tools that are not ours.
#include "encoder/mp3_encoder.h"
#include "pcm_signal.h"
#include "support/testtools.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QTest>

using tonbrook::MP3Encoder;
using tonbrook::MP3EncoderError;

namespace {

// Encodes `seconds` of tone plus noise in blocks of 4096 frames.
void encodeSignal(MP3Encoder &encoder, int rate, int channels, double seconds)
{
    const auto pcm = toneWithNoise(rate, channels, seconds);
    const size_t frames = pcm.size() / channels;
    for (size_t offset = 0; offset < frames; offset += 4096) {
        const int n = static_cast<int>(std::min<size_t>(4096, frames - offset));
        encoder.writePCM16Interleaved(std::span(pcm).subspan(offset * channels), n);
    }
}

QString sha256(std::span<const unsigned char> bytes)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(QByteArrayView(bytes.data(), qsizetype(bytes.size())),
                                 QCryptographicHash::Sha256)
            .toHex());
}

// The tag of the info frame ("Info" for CBR, "Xing" for VBR) in the first frame after
// the ID3v2 tag; empty when the first frame is plain audio.
QByteArray infoFrameTag(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray header = file.read(10);
    qint64 offset = 0;
    if (header.startsWith("ID3")) {
        const auto b = [&](int i) {
            return qint64(uchar(header[i]) & 0x7f);
        };
        offset = 10 + (b(6) << 21 | b(7) << 14 | b(8) << 7 | b(9));
    }
    file.seek(offset);
    const QByteArray frame = file.read(200);
    if (frame.size() < 4 || uchar(frame[0]) != 0xFF || (uchar(frame[1]) & 0xE0) != 0xE0)
        return "no frame sync";
    for (const char *tag : {"Info", "Xing"}) {
        if (frame.contains(tag))
            return tag;
    }
    return {};
}

// ffprobe's length: the signal plus the encoder's delay and end padding, under two frames.
bool durationMatches(const QString &path, double seconds, int rate)
{
    const double duration =
        testtools::ffprobe(path)["format"].toObject()["duration"].toString().toDouble();
    const bool ok = duration >= seconds && duration <= seconds + 2 * 1152.0 / rate + 0.001;
    if (!ok)
        qWarning("duration %f for %f s of signal", duration, seconds);
    return ok;
}

template <typename F> MP3EncoderError captureError(F &&f)
{
    try {
        f();
    } catch (const MP3EncoderError &e) {
        return e;
    }
    return MP3EncoderError::outputFileNotFound(); // never raised by the code under test
}

} // namespace

class TestMP3Encoder : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void errorDescriptions_data()
    {
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("expected");
        auto row = [](const char *name, const MP3EncoderError &e, const char *text) {
            QTest::newRow(name) << QString::fromStdString(e.what()) << QString::fromUtf8(text);
        };
        row("init -2", MP3EncoderError::initializationFailed(-2),
            "MP3 encoder initialization failed with code -2.");
        row("init 0", MP3EncoderError::initializationFailed(0),
            "MP3 encoder initialization failed with code 0.");
        row("write -3", MP3EncoderError::writeFailed(-3),
            "MP3 encoder write failed with error -3.");
        row("write 12", MP3EncoderError::writeFailed(12),
            "MP3 encoder write failed with error 12.");
        row("context", MP3EncoderError::contextCreationFailed(),
            "Failed to create MP3 encoder instance.");
        row("output", MP3EncoderError::outputFileNotFound(),
            "MP3 output file could not be created or written.");
        row("cancelled", MP3EncoderError::encodingCancelled(), "Audio extraction was cancelled.");
    }
    void errorDescriptions()
    {
        QFETCH(QString, description);
        QTEST(description, "expected");
    }

    void constructionResolvesRates()
    {
        MP3Encoder a(48000, 0, 2, 320, -1, m_dir.filePath("a.mp3").toStdString());
        QCOMPARE(a.inputSampleRate(), 48000);
        QCOMPARE(a.outputSampleRate(), 48000);
        MP3Encoder b(0, 0, 0, 0, -1, m_dir.filePath("b.mp3").toStdString());
        QCOMPARE(b.inputSampleRate(), 44100);
        QCOMPARE(b.outputSampleRate(), 44100);
        QCOMPARE(b.channels(), 2);
    }

    // The reason the file could not be made follows the message (root too meets these).
    void constructionFailureNamesTheReason_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        QFile blocker(m_dir.filePath("blocker"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        QTest::newRow("missing folder")
            << m_dir.filePath("nowhere/out.mp3")
            << "Failed to create MP3 encoder instance. No such file or directory.";
        QTest::newRow("file as folder")
            << m_dir.filePath("blocker/out.mp3")
            << "Failed to create MP3 encoder instance. Not a directory.";
    }
    void constructionFailureNamesTheReason()
    {
        QFETCH(QString, path);
        const auto error =
            captureError([&] { MP3Encoder(44100, 44100, 2, 320, -1, path.toStdString()); });
        QCOMPARE(error.kind(), MP3EncoderError::Kind::contextCreationFailed);
        QTEST(QString::fromStdString(error.what()), "expected");
        QVERIFY(!QFile::exists(path));
    }

    // Never read past the caller's samples, however the count is stated.
    void writesValidateTheirInput()
    {
        MP3Encoder encoder(44100, 44100, 2, 320, -1, m_dir.filePath("guard.mp3").toStdString());
        encoder.prepare();
        std::vector<int16_t> pcm(1000 * 2);
        auto error = captureError([&] { encoder.writePCM16Interleaved(pcm, 1001); });
        QCOMPARE(error, MP3EncoderError::writeFailed(-1));
        error = captureError([&] { encoder.writePCM16Interleaved(pcm, 0); });
        QCOMPARE(error, MP3EncoderError::writeFailed(-1));
        std::vector<float> left(100), right(99);
        error = captureError([&] { encoder.writeFloat32(left, std::span<const float>(right)); });
        QCOMPARE(error, MP3EncoderError::writeFailed(-1));
        encoder.writePCM16Interleaved(pcm, 1000);
        encoder.writeFloat32(left);
    }

    void finishWithoutWritesSucceeds()
    {
        const QString path = m_dir.filePath("nothing.mp3");
        MP3Encoder encoder(44100, 44100, 2, 320, -1, path.toStdString());
        encoder.setMetadata("Silence", {}, {}, {}, {}, {});
        encoder.prepare();
        encoder.finish();
    }

    void fullDiskFailsTheFinish()
    {
        if (!QFile::exists("/dev/full"))
            QSKIP("/dev/full is not available");
        MP3Encoder encoder(44100, 44100, 2, 128, -1, "/dev/full");
        encoder.prepare();
        std::vector<int16_t> pcm(1152 * 2);
        encoder.writePCM16Interleaved(pcm, 1152);
        const auto error = captureError([&] { encoder.finish(); });
        QCOMPARE(error, MP3EncoderError::writeFailed(-3));
        QCOMPARE(QString::fromStdString(error.what()),
                 QString("MP3 encoder write failed with error -3. The disk is full."));
    }

    // Every bitrate option at both rates and both layouts, as other tools see the file.
    void bitrateOptionsProduceValidFiles_data()
    {
        QTest::addColumn<int>("kbps");
        QTest::addColumn<int>("vbrQuality");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        struct Option {
            const char *name;
            int kbps;
            int vbr;
        };
        const Option options[] = {{"cbr320", 320, -1}, {"cbr256", 256, -1}, {"cbr192", 192, -1},
                                  {"cbr128", 128, -1}, {"vbr0", 256, 0},    {"vbr2", 192, 2}};
        for (const auto &o : options) {
            for (int rate : {44100, 48000}) {
                for (int channels : {1, 2}) {
                    QTest::addRow("%s %d Hz %d ch", o.name, rate, channels)
                        << o.kbps << o.vbr << rate << channels;
                }
            }
        }
    }
    void bitrateOptionsProduceValidFiles()
    {
        QFETCH(int, kbps);
        QFETCH(int, vbrQuality);
        QFETCH(int, rate);
        QFETCH(int, channels);
        const QString path = m_dir.filePath(
            QStringLiteral("%1-%2-%3-%4.mp3").arg(kbps).arg(vbrQuality).arg(rate).arg(channels));
        const double seconds = 3.0;
        {
            MP3Encoder encoder(rate, rate, channels, kbps, vbrQuality, path.toStdString());
            encoder.setMetadata("Tone", "Generator", {}, {}, {}, {});
            encoder.prepare();
            encodeSignal(encoder, rate, channels, seconds);
            encoder.finish();
        }

        const QStringList problems = testtools::mp3valProblems(path);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));

        const auto audio = testtools::mediainfoTrack(path, "Audio");
        QCOMPARE(audio["SamplingRate"].toString(), QString::number(rate));
        QCOMPARE(audio["Channels"].toString(), QString::number(channels));
        QVERIFY2(audio["Encoded_Library"].toString().startsWith("LAME"),
                 qPrintable(audio["Encoded_Library"].toString()));
        if (vbrQuality < 0) {
            QCOMPARE(audio["BitRate_Mode"].toString(), QString("CBR"));
            QCOMPARE(audio["BitRate"].toString(), QString::number(kbps * 1000));
        } else {
            QCOMPARE(audio["BitRate_Mode"].toString(), QString("VBR"));
            QVERIFY(audio["Encoded_Library_Settings"].toString().contains(
                QStringLiteral("-V %1").arg(vbrQuality)));
        }
        if (channels == 2)
            QCOMPARE(audio["Format_Settings_Mode"].toString(), QString("Joint stereo"));

        QCOMPARE(infoFrameTag(path), QByteArray(vbrQuality < 0 ? "Info" : "Xing"));
        QVERIFY(durationMatches(path, seconds, rate));
    }

    // Tags read back through an independent reader exactly as they were set.
    void tagsReadBack_data()
    {
        QTest::addColumn<QStringList>("fields"); // title, artist, album, year, genre, comment
        QTest::newRow("ascii") << QStringList{"Title", "Artist",     "Album",
                                              "2024",  "Soundtrack", "Extracted with Tonbrook"};
        QTest::newRow("non-ascii")
            << QStringList{"Café – 東京", "Björk Guðmundsdóttir", "Ærø 🎵", "２０２４",
                           "Électro",     "Commentaire: déjà vu"};
        QTest::newRow("latin-1 only")
            << QStringList{"Señor", "Müller", "Ça", "1999", "Rock", "naïve"};
    }
    void tagsReadBack()
    {
        QFETCH(QStringList, fields);
        const QString path =
            m_dir.filePath(QStringLiteral("tags-%1.mp3").arg(QTest::currentDataTag()));
        {
            MP3Encoder encoder(44100, 44100, 2, 192, -1, path.toStdString());
            encoder.setMetadata(fields[0].toStdString(), fields[1].toStdString(),
                                fields[2].toStdString(), fields[3].toStdString(),
                                fields[4].toStdString(), fields[5].toStdString());
            encoder.prepare();
            encodeSignal(encoder, 44100, 2, 1.0);
            encoder.finish();
        }
        const auto tag = testtools::id3(path);
        QVERIFY(tag["v2"].toBool());
        const auto frames = tag["frames"].toObject();
        const char *ids[] = {"TIT2", "TPE1", "TALB", "TYER", "TCON", "COMM"};
        for (int i = 0; i < 6; ++i)
            QCOMPARE(frames[ids[i]].toObject()["text"].toString(), fields[i]);
        QVERIFY(!frames.contains("APIC"));
        QVERIFY(testtools::mp3valProblems(path).isEmpty());
    }

    void absentAndEmptyFieldsAreLeftOut()
    {
        const QString path = m_dir.filePath("sparse.mp3");
        {
            MP3Encoder encoder(44100, 44100, 2, 192, -1, path.toStdString());
            encoder.setMetadata("Only title", std::nullopt, std::string(), std::nullopt,
                                std::string(), std::nullopt, {});
            encoder.prepare();
            encodeSignal(encoder, 44100, 2, 1.0);
            encoder.finish();
        }
        const auto frames = testtools::id3(path)["frames"].toObject();
        QCOMPARE(frames["TIT2"].toObject()["text"].toString(), QString("Only title"));
        for (const char *id : {"TPE1", "TALB", "TYER", "TCON", "COMM", "APIC"})
            QVERIFY2(!frames.contains(id), id);
    }

    void noTextStillWritesAnId3v2Tag()
    {
        const QString path = m_dir.filePath("untagged.mp3");
        {
            MP3Encoder encoder(44100, 44100, 2, 192, -1, path.toStdString());
            const std::vector<unsigned char> emptyArt;
            encoder.setMetadata({}, {}, {}, {}, {}, {}, emptyArt);
            encoder.prepare();
            encodeSignal(encoder, 44100, 2, 1.0);
            encoder.finish();
        }
        const auto tag = testtools::id3(path);
        QVERIFY(tag["v2"].toBool());
        QVERIFY(!tag["frames"].toObject().contains("APIC"));
    }

    // Art far beyond what LAME's own tag writer survives, read back byte for byte.
    void coverArtReadsBackExactly_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("100 KiB") << 100 * 1024;
        QTest::newRow("300 KiB") << 300 * 1024;
        QTest::newRow("2 MiB") << 2 * 1024 * 1024;
    }
    void coverArtReadsBackExactly()
    {
        QFETCH(int, size);
        const auto art = jpegLikeBytes(size_t(size));
        const QString path = m_dir.filePath(QStringLiteral("art-%1.mp3").arg(size));
        const double seconds = 2.0;
        {
            MP3Encoder encoder(48000, 48000, 2, 0 /* default */, 2, path.toStdString());
            encoder.setMetadata("With art", {}, {}, {}, {}, {}, art);
            encoder.prepare();
            encodeSignal(encoder, 48000, 2, seconds);
            encoder.finish();
        }
        const auto apic = testtools::id3(path)["frames"].toObject()["APIC"].toObject();
        QCOMPARE(apic["mime"].toString(), QString("image/jpeg"));
        QCOMPARE(apic["type"].toInt(), 3); // front cover
        QCOMPARE(apic["length"].toInt(), size);
        QCOMPARE(apic["sha256"].toString(), sha256(art));
        QVERIFY(testtools::mp3valProblems(path).isEmpty());
        // The info frame still follows the tag, so the length is known exactly.
        QCOMPARE(infoFrameTag(path), QByteArray("Xing"));
        QVERIFY(durationMatches(path, seconds, 48000));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestMP3Encoder)
#include "tst_mp3_encoder.moc"
