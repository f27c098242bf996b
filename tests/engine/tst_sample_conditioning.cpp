// Gain, fades and saturation on blocks, against worked numbers.
#include "engine/sample_conditioning.h"

#include <QTest>

#include <vector>

using tonbrook::ConditioningPlan;

namespace {

std::vector<int16_t> conditioned(const ConditioningPlan &plan, std::vector<int16_t> samples,
                                 int channels = 1, qint64 before = 0)
{
    const qint64 frames = qint64(samples.size()) / channels;
    if (plan.blockNeedsConditioning(before, frames, channels, qsizetype(samples.size())))
        plan.conditionBlock(samples, frames, channels, before);
    return samples;
}

// The gain a constant full block of 10000 ends up with at frame p.
double gainAt(const ConditioningPlan &plan, qint64 p)
{
    std::vector<int16_t> one{10000};
    plan.conditionBlock(one, 1, 1, p);
    return one[0] / 10000.0;
}

} // namespace

class TestSampleConditioning : public QObject {
    Q_OBJECT

private slots:
    void gains_data()
    {
        QTest::addColumn<double>("db");
        QTest::addColumn<bool>("unity");
        QTest::addColumn<QList<int>>("input");
        QTest::addColumn<QList<int>>("output");
        QTest::newRow("0 dB leaves every sample")
            << 0.0 << true << QList<int>{32767, -32768, 1, -1} << QList<int>{32767, -32768, 1, -1};
        QTest::newRow("0.005 dB counts as unity")
            << 0.005 << true << QList<int>{30000, -30000} << QList<int>{30000, -30000};
        QTest::newRow("0.01 dB multiplies and truncates")
            << 0.01 << false << QList<int>{30000, -30000, 1} << QList<int>{30034, -30034, 1};
        QTest::newRow("+6 dB saturates both ways")
            << 6.0 << false << QList<int>{20000, -20000, 1000} << QList<int>{32767, -32768, 1995};
        QTest::newRow("-6 dB truncates toward zero")
            << -6.0 << false << QList<int>{-3, 3, -32768} << QList<int>{-1, 1, -16422};
    }
    void gains()
    {
        QFETCH(double, db);
        QFETCH(QList<int>, input);
        QFETCH(QList<int>, output);
        const auto plan = ConditioningPlan::make(tonbrook::volumeGain(db), 10.0, 44100, 0, 0);
        QTEST(plan.unity, "unity");
        std::vector<int16_t> samples(input.begin(), input.end());
        const auto result = conditioned(plan, samples);
        QCOMPARE(QList<int>(result.begin(), result.end()), output);
    }

    void unityBlocksAreNotTouched()
    {
        const auto plan = ConditioningPlan::make(1.0f, 10.0, 48000, 0, 2.0);
        // Before the fade-out, and when the block ends exactly at its start, nothing is done.
        QVERIFY(!plan.blockNeedsConditioning(0, 4800, 2, 9600));
        QVERIFY(!plan.blockNeedsConditioning(384000 - 4800 - 1, 4800, 2, 9600));
        QVERIFY(plan.blockNeedsConditioning(384000 - 4800, 4800, 2, 9600));
        // No whole frame: never touched.
        QVERIFY(!ConditioningPlan::make(2.0f, 10, 48000, 0, 0).blockNeedsConditioning(0, 0, 2, 1));
    }

    void peakGain_data()
    {
        QTest::addColumn<int>("peak");
        QTest::addColumn<float>("gain");
        QTest::newRow("16000") << 16000 << 2.0f;
        QTest::newRow("4000 is capped at 6") << 4000 << 6.0f;
        QTest::newRow("silence") << 1 << 6.0f;
        QTest::newRow("full scale") << 32767 << 1.0f;
        QTest::newRow("-32768") << 32768 << 1.0f;
        QTest::newRow("32500 attenuates") << 32500 << 32000.0f / 32500.0f;
    }
    void peakGain()
    {
        QFETCH(int, peak);
        QFETCH(float, gain);
        QCOMPARE(tonbrook::peakGainForPeak(peak), gain);
        QVERIFY(qAbs(tonbrook::peakGainForPeak(32500) - 0.98462f) < 1e-5f);
    }

    void normalisationMultipliesWithVolume()
    {
        const float g = tonbrook::peakGainForPeak(16000) * tonbrook::volumeGain(3.0);
        QVERIFY(qAbs(16000 * g - 45200) < 100);
        const auto plan = ConditioningPlan::make(g, 1.0, 44100, 0, 0);
        QCOMPARE(conditioned(plan, {16000})[0], int16_t(32767));
    }

    void fadeIn()
    {
        // 1 s at 44100 Hz: frame 0 silent, 22050 at half gain, 44100 on at full gain.
        const auto plan = ConditioningPlan::make(1.0f, 10.0, 44100, 1.0, 0);
        QCOMPARE(gainAt(plan, 0), 0.0);
        QCOMPARE(gainAt(plan, 22050), 0.5);
        QCOMPARE(gainAt(plan, 44099), 0.9999); // (Fi - 1) / Fi, truncated
        QCOMPARE(gainAt(plan, 44100), 1.0);
        QVERIFY(!plan.blockNeedsConditioning(44100, 1024, 1, 1024));
        QVERIFY(plan.blockNeedsConditioning(44000, 1024, 1, 1024));

        // A fade-in longer than the range never reaches full gain.
        const auto longFade = ConditioningPlan::make(1.0f, 1.0, 1000, 2.0, 0);
        QVERIFY(gainAt(longFade, 999) < 0.5);
    }

    void fadeOut()
    {
        // 2 s on a 10 s range at 48000 Hz.
        const auto plan = ConditioningPlan::make(1.0f, 10.0, 48000, 0, 2.0);
        QCOMPARE(plan.fadeOutStart, qint64(384000));
        QCOMPARE(plan.fadeOutLength, qint64(96000));
        QCOMPARE(gainAt(plan, 383999), 1.0);
        QCOMPARE(gainAt(plan, 384000), 1.0);
        QCOMPARE(gainAt(plan, 432000), 0.5);
        std::vector<int16_t> loud{32767};
        plan.conditionBlock(loud, 1, 1, 479999);
        QCOMPARE(loud[0], int16_t(0)); // 32767 / 96000 truncates to 0
        QCOMPARE(gainAt(plan, 480000), 0.0);
        QCOMPARE(gainAt(plan, 480500), 0.0); // frames past N

        // Longer than the range: fades from frame 0.
        const auto whole = ConditioningPlan::make(1.0f, 3.0, 1000, 0, 5.0);
        QCOMPARE(whole.fadeOutStart, qint64(0));
        QCOMPARE(gainAt(whole, 0), 1.0);
        QCOMPARE(gainAt(whole, 1500), 0.5);
    }

    void fadesMultiplyWhereTheyOverlap()
    {
        const auto plan = ConditioningPlan::make(1.0f, 1.0, 1000, 1.0, 1.0);
        QCOMPARE(gainAt(plan, 500), 0.25);
    }

    // Fo truncates to 0: no fade, but blocks from S on go through the multiply anyway.
    void fadeOutTooShortForOneFrame()
    {
        const auto plan = ConditioningPlan::make(1.0f, 10.0, 44100, 0, 0.00001);
        QCOMPARE(plan.fadeOutFrames, qint64(0));
        QCOMPARE(plan.fadeOutStart, qint64(441000));
        QVERIFY(plan.blockNeedsConditioning(440000, 1024, 1, 1024));
        QCOMPARE(conditioned(plan, {1234, -1234}, 1, 441000), (std::vector<int16_t>{1234, -1234}));
    }

    void stereoFramesShareOneGain()
    {
        const auto plan = ConditioningPlan::make(1.0f, 1.0, 4, 1.0, 0);
        const auto out = conditioned(plan, {1000, -1000, 1000, -1000, 1000, -1000, 7}, 2);
        QCOMPARE(out, (std::vector<int16_t>{0, 0, 250, -250, 500, -500, 7})); // trailing half frame
    }

    void nonFiniteGainNeverProducesGarbage()
    {
        const auto plan =
            ConditioningPlan::make(std::numeric_limits<float>::infinity(), 1.0, 1000, 0, 0);
        QCOMPARE(conditioned(plan, {0, 5, -5}), (std::vector<int16_t>{0, 32767, -32768}));
    }
};

QTEST_GUILESS_MAIN(TestSampleConditioning)
#include "tst_sample_conditioning.moc"
