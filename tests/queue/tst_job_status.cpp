// Titles, terminal states and structural equality of the job status.
#include "queue/job_status.h"

#include <QTest>

using namespace tonbrook;
using Case = JobStatus::Case;

class TestJobStatus : public QObject {
    Q_OBJECT

private slots:
    void titlesAndTerminalStates_data();
    void titlesAndTerminalStates();
    void percentageIsPrintfRounding_data();
    void percentageIsPrintfRounding();
    void equalityComparesEveryPayloadField();
};

void TestJobStatus::titlesAndTerminalStates_data()
{
    QTest::addColumn<JobStatus>("status");
    QTest::addColumn<int>("caseValue");
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("terminal");

    const QUrl out = QUrl::fromLocalFile("/x/clip.mp3");
    QTest::newRow("pending") << JobStatus::pending() << int(Case::pending) << "Queued" << false;
    QTest::newRow("default is pending") << JobStatus() << int(Case::pending) << "Queued" << false;
    QTest::newRow("inspecting") << JobStatus::inspecting() << int(Case::inspecting)
                                << "Analyzing..." << false;
    QTest::newRow("ready") << JobStatus::ready() << int(Case::ready) << "Ready" << false;
    QTest::newRow("converting") << JobStatus::converting(0.423, "2.5x", "59s remaining")
                                << int(Case::converting) << "Extracting (42%)" << false;
    QTest::newRow("completed") << JobStatus::completed(out, 1234, 60.0) << int(Case::completed)
                               << "Extracted" << true;
    QTest::newRow("failed") << JobStatus::failed("Boom") << int(Case::failed) << "Failed" << true;
    QTest::newRow("failed, empty text")
        << JobStatus::failed("") << int(Case::failed) << "Failed" << true;
    QTest::newRow("cancelled") << JobStatus::cancelled() << int(Case::cancelled) << "Cancelled"
                               << true;
}

void TestJobStatus::titlesAndTerminalStates()
{
    QFETCH(JobStatus, status);
    QFETCH(int, caseValue);
    QFETCH(QString, title);
    QFETCH(bool, terminal);
    QCOMPARE(int(status.caseValue()), caseValue);
    QCOMPARE(status.title(), title);
    QCOMPARE(status.isTerminal(), terminal);
}

void TestJobStatus::percentageIsPrintfRounding_data()
{
    QTest::addColumn<double>("progress");
    QTest::addColumn<QString>("title");
    QTest::newRow("zero") << 0.0 << "Extracting (0%)";
    QTest::newRow("whole") << 1.0 << "Extracting (100%)";
    QTest::newRow("rounds up") << 0.996 << "Extracting (100%)";
    QTest::newRow("rounds down") << 0.4249 << "Extracting (42%)";
    QTest::newRow("half, even") << 0.125 << "Extracting (12%)";
    QTest::newRow("tiny") << 0.004 << "Extracting (0%)";
}

void TestJobStatus::percentageIsPrintfRounding()
{
    QFETCH(double, progress);
    QFETCH(QString, title);
    QCOMPARE(JobStatus::converting(progress, "", "").title(), title);
}

void TestJobStatus::equalityComparesEveryPayloadField()
{
    const QUrl out = QUrl::fromLocalFile("/x/clip.mp3");
    QCOMPARE(JobStatus::ready(), JobStatus::ready());
    QVERIFY(JobStatus::ready() != JobStatus::pending());
    QVERIFY(JobStatus::cancelled() != JobStatus::failed(""));

    QCOMPARE(JobStatus::converting(0.5, "2.0x", "9s remaining"),
             JobStatus::converting(0.5, "2.0x", "9s remaining"));
    QVERIFY(JobStatus::converting(0.5, "2.0x", "9s remaining") !=
            JobStatus::converting(0.5, "2.1x", "9s remaining"));
    QVERIFY(JobStatus::converting(0.5, "2.0x", "9s remaining") !=
            JobStatus::converting(0.5, "2.0x", "8s remaining"));
    QVERIFY(JobStatus::converting(0.5, "", "") != JobStatus::converting(0.51, "", ""));

    QCOMPARE(JobStatus::completed(out, 10, 1.5), JobStatus::completed(out, 10, 1.5));
    QVERIFY(JobStatus::completed(out, 10, 1.5) != JobStatus::completed(out, 10, 1.6));
    QVERIFY(JobStatus::completed(out, 10, 1.5) != JobStatus::completed(out, 11, 1.5));
    QVERIFY(JobStatus::completed(out, 10, 1.5) !=
            JobStatus::completed(QUrl::fromLocalFile("/x/other.mp3"), 10, 1.5));

    QCOMPARE(JobStatus::failed("a"), JobStatus::failed("a"));
    QVERIFY(JobStatus::failed("a") != JobStatus::failed("b"));
    // Payload-free cases compare as plain cases.
    QCOMPARE(JobStatus::converting(0, "", "").caseValue(), Case::converting);
}

QTEST_APPLESS_MAIN(TestJobStatus)
#include "tst_job_status.moc"
