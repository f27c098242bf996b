#pragma once

#include "queue/batch_notifier.h"
#include "queue/conversion_queue.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

namespace reliability {

// Batch notices go nowhere: these tests look at jobs and files only.
class SilentNotifier : public tonbrook::BatchNotifier {
public:
    void requestPermission() override {}
    void playCompletionSound() override {}
    void postNotification(const QString &, const QString &) override {}
};

std::unique_ptr<tonbrook::ConversionQueue> makeQueue();

// Waits until the job leaves "inspecting" (true) or the time is up (false).
bool waitInspected(const tonbrook::ConversionJob *job, int timeoutMs);
// Waits until the job is completed, failed or cancelled and no extraction worker is left.
bool waitFinished(const tonbrook::ConversionJob *job, int timeoutMs);

// Every entry under dir, hidden ones included, relative to dir; empty when dir is missing.
QStringList filesUnder(const QString &dir);
// Temporary ".<name>.<hex>.part" files under dir.
QStringList partialFilesUnder(const QString &dir);

// A failure text a person can act on: words, not a bare number or an empty line.
bool isReadableMessage(const QString &text);

// Reproducible pseudo-random bytes.
QByteArray noise(qsizetype size, quint32 seed);

QByteArray readAll(const QString &path);
bool writeAll(const QString &path, const QByteArray &bytes);

} // namespace reliability
