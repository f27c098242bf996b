#include "engine/extraction_progress.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>

namespace tonbrook {

QString ExtractionProgress::formattedSpeed() const
{
    return QString::asprintf("%.1fx", speedMultiplier);
}

namespace {

QString describeETA(double t, bool translated)
{
    const auto text = [translated](const char *source) {
        return translated ? QCoreApplication::translate("ExtractionProgress", source)
                          : QString::fromLatin1(source);
    };
    // Beyond what a 64-bit count of seconds holds; never produced by the engine.
    if (!std::isfinite(t) || t <= 0.0 || t >= 9.2e18)
        return text(QT_TRANSLATE_NOOP("ExtractionProgress", "Finishing..."));
    const auto s = static_cast<qint64>(t);
    if (s > 59)
        return text(QT_TRANSLATE_NOOP("ExtractionProgress", "%1m %2s remaining"))
            .arg(s / 60)
            .arg(s % 60, 2, 10, QLatin1Char('0'));
    return text(QT_TRANSLATE_NOOP("ExtractionProgress", "%1s remaining")).arg(s);
}

} // namespace

QString ExtractionProgress::formattedETA() const
{
    return describeETA(estimatedRemainingTime, false);
}

QString ExtractionProgress::localizedETA() const
{
    return describeETA(estimatedRemainingTime, true);
}

ExtractionProgress ExtractionProgress::report(qint64 framesWritten, int sampleRate,
                                              double totalDuration, double elapsedSeconds)
{
    ExtractionProgress p;
    p.totalDuration = totalDuration;
    p.processedDuration = double(framesWritten) / sampleRate;
    p.fractionCompleted = std::clamp(p.processedDuration / totalDuration, 0.0, 1.0);
    p.speedMultiplier = p.processedDuration / std::max(elapsedSeconds, 0.001);
    const double left = std::max(totalDuration - p.processedDuration, 0.0);
    p.estimatedRemainingTime = p.speedMultiplier > 0.0 ? left / p.speedMultiplier : 0.0;
    p.isComplete = false;
    return p;
}

ExtractionProgress ExtractionProgress::finalReport(qint64 framesWritten, int sampleRate,
                                                   double totalDuration, double elapsedSeconds)
{
    ExtractionProgress p;
    p.fractionCompleted = 1.0;
    p.processedDuration = totalDuration;
    p.totalDuration = totalDuration;
    p.speedMultiplier = (double(framesWritten) / sampleRate) / std::max(elapsedSeconds, 0.001);
    p.estimatedRemainingTime = 0.0;
    p.isComplete = true;
    return p;
}

AudioExtractionError::AudioExtractionError(Kind kind, const QString &text,
                                           const QString &description)
    : std::runtime_error(description.toStdString()), m_kind(kind), m_text(text)
{
}

AudioExtractionError AudioExtractionError::assetLoadingFailed(const QString &text)
{
    return {Kind::assetLoadingFailed, text, QStringLiteral("Failed to open video file: ") + text};
}

AudioExtractionError AudioExtractionError::readerInitializationFailed(const QString &text)
{
    return {Kind::readerInitializationFailed, text,
            QStringLiteral("Could not initialize audio reader: ") + text};
}

AudioExtractionError AudioExtractionError::readerFailed(const QString &text)
{
    return {Kind::readerFailed, text, QStringLiteral("Audio decoding error: ") + text};
}

AudioExtractionError AudioExtractionError::noAudioTrackFound()
{
    return {Kind::noAudioTrackFound,
            {},
            QStringLiteral("The selected video file contains no audio tracks.")};
}

AudioExtractionError AudioExtractionError::outputDirectoryCreationFailed()
{
    return {Kind::outputDirectoryCreationFailed,
            {},
            QStringLiteral("Failed to create output destination directory.")};
}

AudioExtractionError AudioExtractionError::cancelled()
{
    return {Kind::cancelled, {}, QStringLiteral("Audio extraction was cancelled.")};
}

} // namespace tonbrook
