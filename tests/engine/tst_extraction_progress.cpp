// Progress texts and the engine's error descriptions, exactly as users see them.
#include "engine/extraction_progress.h"

#include <QTest>

#include <limits>

using tonbrook::AudioExtractionError;
using tonbrook::ExtractionProgress;

class TestExtractionProgress : public QObject {
    Q_OBJECT

private slots:
    void formattedSpeed_data()
    {
        QTest::addColumn<double>("speed");
        QTest::addColumn<QString>("text");
        QTest::newRow("rounds down") << 12.34 << "12.3x";
        QTest::newRow("zero") << 0.0 << "0.0x";
        QTest::newRow("rounds up a digit") << 9.96 << "10.0x";
        QTest::newRow("hundred") << 100.0 << "100.0x";
    }
    void formattedSpeed()
    {
        QFETCH(double, speed);
        ExtractionProgress p;
        p.speedMultiplier = speed;
        QTEST(p.formattedSpeed(), "text");
    }

    void formattedETA_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("text");
        const double inf = std::numeric_limits<double>::infinity();
        QTest::newRow("minutes and padded seconds") << 125.7 << "2m 05s remaining";
        QTest::newRow("no hours") << 3725.0 << "62m 05s remaining";
        QTest::newRow("one minute") << 60.0 << "1m 00s remaining";
        QTest::newRow("just under a minute") << 59.999 << "59s remaining";
        QTest::newRow("under a second") << 0.4 << "0s remaining";
        QTest::newRow("tiny positive") << 0.0001 << "0s remaining";
        QTest::newRow("zero") << 0.0 << "Finishing...";
        QTest::newRow("negative") << -3.0 << "Finishing...";
        QTest::newRow("infinite") << inf << "Finishing...";
        QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << "Finishing...";
        QTest::newRow("beyond 64 bits") << 1e300 << "Finishing...";
    }
    void formattedETA()
    {
        QFETCH(double, seconds);
        ExtractionProgress p;
        p.estimatedRemainingTime = seconds;
        QTEST(p.formattedETA(), "text");
    }

    void reportsDuringAndAtTheEnd()
    {
        // 5 s of a 10 s range written in 0.5 s of wall time: 10x, 0.5 s to go.
        const auto p = ExtractionProgress::report(220500, 44100, 10.0, 0.5);
        QCOMPARE(p.processedDuration, 5.0);
        QCOMPARE(p.fractionCompleted, 0.5);
        QCOMPARE(p.speedMultiplier, 10.0);
        QCOMPARE(p.estimatedRemainingTime, 0.5);
        QVERIFY(!p.isComplete);

        // The reader may deliver a little more than the range: clamp, never complete.
        const auto over = ExtractionProgress::report(441100, 44100, 10.0, 0.0);
        QCOMPARE(over.fractionCompleted, 1.0);
        QCOMPARE(over.estimatedRemainingTime, 0.0);
        QCOMPARE(over.speedMultiplier, (441100.0 / 44100) / 0.001);
        QVERIFY(!over.isComplete);

        const auto last = ExtractionProgress::finalReport(441000, 44100, 10.0, 2.0);
        QCOMPARE(last.fractionCompleted, 1.0);
        QCOMPARE(last.processedDuration, 10.0);
        QCOMPARE(last.totalDuration, 10.0);
        QCOMPARE(last.speedMultiplier, 5.0);
        QCOMPARE(last.estimatedRemainingTime, 0.0);
        QVERIFY(last.isComplete);
    }

    void errorDescriptions_data()
    {
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("expected");
        auto row = [](const char *name, const AudioExtractionError &e, const char *text) {
            QTest::newRow(name) << e.errorDescription() << QString::fromUtf8(text);
        };
        row("asset", AudioExtractionError::assetLoadingFailed("File has zero or invalid duration."),
            "Failed to open video file: File has zero or invalid duration.");
        row("reader init",
            AudioExtractionError::readerInitializationFailed(
                "Cannot add audio track output to reader."),
            "Could not initialize audio reader: Cannot add audio track output to reader.");
        row("reader failed, empty text", AudioExtractionError::readerFailed(""),
            "Audio decoding error: ");
        row("reader failed", AudioExtractionError::readerFailed("Reader failed unexpectedly"),
            "Audio decoding error: Reader failed unexpectedly");
        row("no track", AudioExtractionError::noAudioTrackFound(),
            "The selected video file contains no audio tracks.");
        row("directory", AudioExtractionError::outputDirectoryCreationFailed(),
            "Failed to create output destination directory.");
        row("cancelled", AudioExtractionError::cancelled(), "Audio extraction was cancelled.");
        row("unicode payload", AudioExtractionError::readerFailed("Ошибка – café"),
            "Audio decoding error: Ошибка – café");
    }
    void errorDescriptions()
    {
        QFETCH(QString, description);
        QTEST(description, "expected");
    }
};

QTEST_GUILESS_MAIN(TestExtractionProgress)
#include "tst_extraction_progress.moc"
