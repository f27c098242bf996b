#include "reliability_support.h"

#include <QDirIterator>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

namespace reliability {

using tonbrook::ConversionJob;
using tonbrook::ConversionQueue;
using tonbrook::JobStatus;

std::unique_ptr<ConversionQueue> makeQueue()
{
    return std::make_unique<ConversionQueue>(std::make_unique<SilentNotifier>());
}

bool waitInspected(const ConversionJob *job, int timeoutMs)
{
    return QTest::qWaitFor([job] { return !job->status().is(JobStatus::Case::inspecting); },
                           timeoutMs);
}

bool waitFinished(const ConversionJob *job, int timeoutMs)
{
    return QTest::qWaitFor(
        [job] { return job->status().isTerminal() && !job->isExtractionRunning(); }, timeoutMs);
}

QStringList filesUnder(const QString &dir)
{
    QStringList found;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        found << QDir(dir).relativeFilePath(it.filePath());
    }
    found.sort();
    return found;
}

QStringList partialFilesUnder(const QString &dir)
{
    // The partial MP3 and, for an extraction split over several encoders, its decoded PCM.
    static const QRegularExpression partial(
        QStringLiteral(R"((^|/)\..*\.[0-9a-f]+\.(part|pcm)$)"));
    return filesUnder(dir).filter(partial);
}

bool isReadableMessage(const QString &text)
{
    static const QRegularExpression word(QStringLiteral(R"(\p{L}{3,})"));
    return text.trimmed().size() >= 8 && text.contains(word);
}

QByteArray noise(qsizetype size, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &byte : bytes)
        byte = char(random.bounded(256));
    return bytes;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

} // namespace reliability
