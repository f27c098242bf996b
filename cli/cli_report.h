#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

namespace tonbrook {
class ConversionJob;
}

namespace tonbrook::cli {

// --inspect: the job's description after its inspection, or {file, error} when it failed.
QJsonObject inspectObject(const ConversionJob &job);

// --json events, each with an "event" field.
QJsonObject addedEvent(const ConversionJob &job);
QJsonObject startedEvent(const ConversionJob &job);
QJsonObject progressEvent(const ConversionJob &job);
QJsonObject completedEvent(const ConversionJob &job);
QJsonObject failedEvent(const ConversionJob &job, const QString &error);
QJsonObject cancelledEvent(const ConversionJob &job);
QJsonObject batchEvent(int completed, int failed, int cancelled, double seconds);

// One compact JSON document and a newline.
QByteArray jsonLine(const QJsonObject &object);

// "[#########.........]" filled by fraction (clamped to 0…1), width characters inside.
QString progressBar(double fraction, int width);
// The text cut to width characters, ending in "…" when cut.
QString elide(const QString &text, int width);
// "3 completed, 1 failed, 0 cancelled in 12.4 s"
QString summaryLine(int completed, int failed, int cancelled, double seconds);

} // namespace tonbrook::cli
