// The C layer over LAME: defaults, guards, buffer rules, failures on the file side.
#include "encoder/lame_encoder.h"
#include "pcm_signal.h"
#include "support/testtools.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

struct ContextDeleter {
    void operator()(LameEncoderContext *ctx) const { lame_encoder_destroy(ctx); }
};
using ContextPtr = std::unique_ptr<LameEncoderContext, ContextDeleter>;

ContextPtr create(int in, int out, int channels, int kbps, int vbr, const QString &path)
{
    const QByteArray utf8 = path.toUtf8();
    return ContextPtr(lame_encoder_create(in, out, channels, kbps, vbr,
                                          path.isNull() ? nullptr : utf8.constData()));
}

} // namespace

class TestLameEncoder : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void createResolvesDefaults_data()
    {
        QTest::addColumn<int>("in");
        QTest::addColumn<int>("out");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("kbps");
        QTest::addColumn<int>("expectedIn");
        QTest::addColumn<int>("expectedOut");
        QTest::addColumn<int>("expectedChannels");
        QTest::addColumn<int>("expectedKbps");
        QTest::newRow("all zero") << 0 << 0 << 0 << 0 << 44100 << 44100 << 2 << 320;
        QTest::newRow("negative in") << -5 << 48000 << 1 << 128 << 44100 << 48000 << 1 << 128;
        QTest::newRow("out follows in") << 22050 << 0 << 2 << -1 << 22050 << 22050 << 2 << 320;
    }
    void createResolvesDefaults()
    {
        QFETCH(int, in);
        QFETCH(int, out);
        QFETCH(int, channels);
        QFETCH(int, kbps);
        auto ctx = create(in, out, channels, kbps, -7, {});
        QVERIFY(ctx);
        QTEST(int(ctx->inSampleRate), "expectedIn");
        QTEST(int(ctx->outSampleRate), "expectedOut");
        QTEST(int(ctx->numChannels), "expectedChannels");
        QTEST(int(ctx->bitrateKbps), "expectedKbps");
        QCOMPARE(ctx->vbrQuality, -7);
        QCOMPARE(ctx->mp3BufferSize, size_t(1048576));
        QVERIFY(ctx->mp3Buffer);
        QVERIFY(ctx->gfp);
    }

    // Without a file the context can be configured, but nothing can be written.
    void contextWithoutFileRefusesWrites_data()
    {
        QTest::addColumn<bool>("emptyString");
        QTest::newRow("absent path") << false;
        QTest::newRow("empty path") << true;
    }
    void contextWithoutFileRefusesWrites()
    {
        QFETCH(bool, emptyString);
        auto ctx = create(44100, 0, 2, 320, -1, emptyString ? QString("") : QString());
        QVERIFY(ctx);
        QVERIFY(!ctx->outputFile);
        QCOMPARE(lame_encoder_set_metadata(ctx.get(), "t", nullptr, nullptr, nullptr, nullptr,
                                           nullptr, nullptr, 0),
                 0);
        QCOMPARE(lame_encoder_init(ctx.get()), 0);
        const auto pcm = toneWithNoise(44100, 2, 0.1);
        QCOMPARE(lame_encoder_write_pcm16(ctx.get(), pcm.data(), 4410), -1);
        const float left[4] = {0, 0.1f, 0.2f, 0.3f};
        QCOMPARE(lame_encoder_write_float32(ctx.get(), left, nullptr, 4), -1);
        QCOMPARE(lame_encoder_finish(ctx.get()), -1);
    }

    void createFailsCleanlyForMissingFolder()
    {
        const QString path = m_dir.filePath("missing/folder/out.mp3");
        QVERIFY(!create(44100, 44100, 2, 320, -1, path));
        QVERIFY(!QFile::exists(path));
    }

    void absentContextIsRejectedEverywhere()
    {
        QCOMPARE(lame_encoder_set_metadata(nullptr, "t", 0, 0, 0, 0, 0, 0, 0), -1);
        QCOMPARE(lame_encoder_init(nullptr), -1);
        const int16_t pcm[2] = {0, 0};
        QCOMPARE(lame_encoder_write_pcm16(nullptr, pcm, 1), -1);
        QCOMPARE(lame_encoder_write_float32(nullptr, nullptr, nullptr, 1), -1);
        QCOMPARE(lame_encoder_finish(nullptr), -1);
        const unsigned char *bytes = reinterpret_cast<const unsigned char *>(pcm);
        QCOMPARE(lame_encoder_encode_pcm16(nullptr, pcm, 1, &bytes), -1);
        QVERIFY(!bytes);
        bytes = reinterpret_cast<const unsigned char *>(pcm);
        QCOMPARE(lame_encoder_flush(nullptr, &bytes), -1);
        QVERIFY(!bytes);
        unsigned char tag[128];
        QCOMPARE(lame_encoder_get_lametag_frame(nullptr, tag, sizeof tag), -1);
        QCOMPARE(lame_encoder_get_id3v2_tag(nullptr, tag, sizeof tag), -1);
        QCOMPARE(lame_encoder_get_id3v1_tag(nullptr, tag, sizeof tag), -1);
        QCOMPARE(lame_encoder_get_encoder_delay(nullptr), -1);
        QCOMPARE(lame_encoder_get_mpeg_version(nullptr), -1);
        lame_encoder_destroy(nullptr);
    }

    void writeGuards()
    {
        auto ctx = create(44100, 44100, 2, 320, -1, m_dir.filePath("guards.mp3"));
        QVERIFY(ctx);
        QCOMPARE(lame_encoder_init(ctx.get()), 0);
        const auto pcm = toneWithNoise(44100, 2, 0.1);
        QCOMPARE(lame_encoder_write_pcm16(ctx.get(), pcm.data(), 0), -1);
        QCOMPARE(lame_encoder_write_pcm16(ctx.get(), pcm.data(), -4), -1);
        QCOMPARE(lame_encoder_write_pcm16(ctx.get(), nullptr, 10), -1);
        QCOMPARE(lame_encoder_write_float32(ctx.get(), nullptr, nullptr, 10), -1);
        const unsigned char *bytes = nullptr;
        QCOMPARE(lame_encoder_encode_pcm16(ctx.get(), pcm.data(), 0, &bytes), -1);
        QCOMPARE(lame_encoder_encode_pcm16(ctx.get(), nullptr, 10, &bytes), -1);
        QCOMPARE(lame_encoder_encode_pcm16(ctx.get(), pcm.data(), 10, nullptr), -1);
        QCOMPARE(lame_encoder_flush(ctx.get(), nullptr), -1);
        QCOMPARE(lame_encoder_get_lametag_frame(ctx.get(), nullptr, 10), -1);
        QCOMPARE(ctx->mp3BufferSize, size_t(1048576));
    }

    void bufferGrowsOnlyWhenNeeded()
    {
        auto ctx = create(44100, 44100, 2, 320, -1, m_dir.filePath("grow.mp3"));
        QVERIFY(ctx);
        std::vector<unsigned char> smallArt(100 * 1024, 0xAB);
        QCOMPARE(lame_encoder_set_metadata(ctx.get(), nullptr, nullptr, nullptr, nullptr, nullptr,
                                           nullptr, smallArt.data(), smallArt.size()),
                 0);
        QCOMPARE(ctx->mp3BufferSize, size_t(1048576));

        auto big = create(44100, 44100, 2, 320, -1, m_dir.filePath("grow2.mp3"));
        std::vector<unsigned char> art(2 * 1024 * 1024, 0xCD);
        QCOMPARE(lame_encoder_set_metadata(big.get(), nullptr, nullptr, nullptr, nullptr, nullptr,
                                           nullptr, art.data(), art.size()),
                 0);
        QCOMPARE(big->mp3BufferSize, size_t(2359296));

        // 16-bit blocks up to 786432 frames fit the first buffer; larger ones grow it exactly.
        QCOMPARE(lame_encoder_init(ctx.get()), 0);
        auto pcm = toneWithNoise(44100, 2, 20.0);
        QVERIFY(lame_encoder_write_pcm16(ctx.get(), pcm.data(), 786432) >= 0);
        QCOMPARE(ctx->mp3BufferSize, size_t(1048576));
        QVERIFY(lame_encoder_write_pcm16(ctx.get(), pcm.data(), 800000) >= 0);
        QCOMPARE(ctx->mp3BufferSize, size_t(1.25 * 800000 + 65536));
        QCOMPARE(lame_encoder_finish(ctx.get()), 0);
    }

    // Bytes that never reached the disk must not be reported as written.
    void fullDiskIsAFailure_data()
    {
        QTest::addColumn<int>("frames");
        QTest::newRow("large block: the write itself fails") << 441000;
        QTest::newRow("small block: the final flush fails") << 1152;
    }
    void fullDiskIsAFailure()
    {
        QFETCH(int, frames);
        if (!QFile::exists("/dev/full"))
            QSKIP("/dev/full is not available");
        auto ctx = create(44100, 44100, 2, 128, -1, "/dev/full");
        QVERIFY(ctx);
        QCOMPARE(lame_encoder_init(ctx.get()), 0);
        const auto pcm = toneWithNoise(44100, 2, 10.0);
        const int written = lame_encoder_write_pcm16(ctx.get(), pcm.data(), frames);
        if (frames > 100000)
            QCOMPARE(written, -3);
        else
            QVERIFY(written >= 0);
        QCOMPARE(lame_encoder_finish(ctx.get()), -3);
    }

    void tagThatCannotBeWrittenFailsInit()
    {
        if (!QFile::exists("/dev/full"))
            QSKIP("/dev/full is not available");
        auto ctx = create(44100, 44100, 2, 128, -1, "/dev/full");
        const auto art = jpegLikeBytes(64 * 1024);
        lame_encoder_set_metadata(ctx.get(), "Title", nullptr, nullptr, nullptr, nullptr, nullptr,
                                  art.data(), art.size());
        QCOMPARE(lame_encoder_init(ctx.get()), -3);
    }

    void finishWithoutWritesSucceeds()
    {
        const QString path = m_dir.filePath("empty.mp3");
        auto ctx = create(44100, 44100, 2, 320, -1, path);
        QCOMPARE(lame_encoder_init(ctx.get()), 0);
        QCOMPARE(lame_encoder_finish(ctx.get()), 0);
    }

    void floatInputEncodesMonoAndStereo_data()
    {
        QTest::addColumn<int>("channels");
        QTest::newRow("mono, left only") << 1;
        QTest::newRow("stereo") << 2;
    }
    void floatInputEncodesMonoAndStereo()
    {
        QFETCH(int, channels);
        const QString path = m_dir.filePath(QStringLiteral("float%1.mp3").arg(channels));
        auto ctx = create(48000, 48000, channels, 192, -1, path);
        QCOMPARE(lame_encoder_set_metadata(ctx.get(), "Float", nullptr, nullptr, nullptr, nullptr,
                                           nullptr, nullptr, 0),
                 0);
        QCOMPARE(lame_encoder_init(ctx.get()), 0);
        std::vector<float> left(48000 * 2), right(48000 * 2);
        for (size_t i = 0; i < left.size(); ++i) {
            left[i] = 0.5f * std::sin(2.0 * M_PI * 440.0 * i / 48000.0);
            right[i] = 0.5f * std::sin(2.0 * M_PI * 660.0 * i / 48000.0);
        }
        int total = 0;
        for (size_t offset = 0; offset < left.size(); offset += 4800) {
            const int r =
                lame_encoder_write_float32(ctx.get(), left.data() + offset,
                                           channels == 2 ? right.data() + offset : nullptr, 4800);
            QVERIFY(r >= 0);
            total += r;
        }
        QVERIFY(total > 0);
        QCOMPARE(lame_encoder_finish(ctx.get()), 0);
        ctx.reset();
        QVERIFY2(testtools::mp3valProblems(path).isEmpty(),
                 qPrintable(testtools::mp3valProblems(path).join('\n')));
        const auto audio = testtools::mediainfoTrack(path, "Audio");
        QCOMPARE(audio["SamplingRate"].toString(), QString("48000"));
        QCOMPARE(audio["Channels"].toString(), QString::number(channels));
    }

    // Malformed UTF-8 must neither crash nor swallow the rest of the text.
    void malformedUtf8IsReplacedNotTruncated()
    {
        const QString path = m_dir.filePath("malformed.mp3");
        auto ctx = create(44100, 44100, 2, 128, -1, path);
        QCOMPARE(lame_encoder_set_metadata(ctx.get(), "A\xC3(B\xE2\x82", "ok\xF0\x9F\x8E\xB5",
                                           nullptr, nullptr, nullptr, nullptr, nullptr, 0),
                 0);
        QCOMPARE(lame_encoder_init(ctx.get()), 0);
        QCOMPARE(lame_encoder_finish(ctx.get()), 0);
        ctx.reset();
        const auto frames = testtools::id3(path)["frames"].toObject();
        QCOMPARE(frames["TIT2"].toObject()["text"].toString(),
                 QString::fromUtf8("A\uFFFD(B\uFFFD\uFFFD"));
        QCOMPARE(frames["TPE1"].toObject()["text"].toString(), QString::fromUtf8("ok🎵"));
    }

    // Released without finish: the file is closed as is, and the first frame was never
    // turned into an info frame.
    void destroyWithoutFinishLeavesNoInfoFrame()
    {
        const QString path = m_dir.filePath("unfinished.mp3");
        auto ctx = create(44100, 44100, 2, 128, -1, path);
        QCOMPARE(lame_encoder_init(ctx.get()), 0);
        const auto pcm = toneWithNoise(44100, 2, 3.0);
        QVERIFY(lame_encoder_write_pcm16(ctx.get(), pcm.data(), 44100 * 3) > 0);
        ctx.reset();
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray head = file.read(1024);
        QVERIFY(head.size() > 0);
        QVERIFY(!head.contains("Info") && !head.contains("Xing"));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestLameEncoder)
#include "tst_lame_encoder.moc"
