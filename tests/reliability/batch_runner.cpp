// Runs one batch through the real queue, for tests that need another user or process:
// batch_runner <source> <output.mp3> [<source> <output.mp3>...]
// Prints one line per job: <status title>\t<source>\t<error>.
#include "reliability_support.h"

#include <QCoreApplication>
#include <QTest>
#include <QTextStream>

using namespace tonbrook;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty() || args.size() % 2 != 0)
        return 2;
    auto queue = reliability::makeQueue();
    for (qsizetype i = 0; i < args.size(); i += 2) {
        queue->addFiles({QUrl::fromLocalFile(args[i])});
        queue->jobs().last()->setOutputURL(QUrl::fromLocalFile(args[i + 1]));
    }
    for (const ConversionJob *job : queue->jobs()) {
        if (!reliability::waitInspected(job, 60000))
            return 3;
    }
    queue->startBatch();
    for (const ConversionJob *job : queue->jobs()) {
        if (!job->status().isTerminal() && !reliability::waitFinished(job, 120000))
            return 3;
    }
    QTextStream out(stdout);
    for (const ConversionJob *job : queue->jobs())
        out << job->status().title() << '\t' << job->sourceURL().toLocalFile() << '\t'
            << job->status().error() << '\n';
    return 0;
}
