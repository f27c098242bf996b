#include "queue/job_status.h"

#include <charconv>

namespace tonbrook {

QString formatFixed(double value, int decimals)
{
    char text[400];
    const auto result =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    if (result.ec != std::errc())
        return QString::number(value, 'f', decimals);
    return QString::fromLatin1(text, result.ptr - text);
}

JobStatus JobStatus::converting(double progress, const QString &speed, const QString &eta)
{
    JobStatus status(Case::converting);
    status.m_progress = progress;
    status.m_speed = speed;
    status.m_eta = eta;
    return status;
}

JobStatus JobStatus::completed(const QUrl &outputURL, qint64 outputSize, double duration)
{
    JobStatus status(Case::completed);
    status.m_outputURL = outputURL;
    status.m_outputSize = outputSize;
    status.m_duration = duration;
    return status;
}

JobStatus JobStatus::failed(const QString &error)
{
    JobStatus status(Case::failed);
    status.m_error = error;
    return status;
}

QString JobStatus::title() const
{
    switch (m_case) {
    case Case::pending:
        return QStringLiteral("Queued");
    case Case::inspecting:
        return QStringLiteral("Analyzing...");
    case Case::ready:
        return QStringLiteral("Ready");
    case Case::converting:
        return QStringLiteral("Extracting (%1%)").arg(formatFixed(m_progress * 100.0, 0));
    case Case::completed:
        return QStringLiteral("Extracted");
    case Case::failed:
        return QStringLiteral("Failed");
    case Case::cancelled:
        return QStringLiteral("Cancelled");
    }
    return {};
}

bool JobStatus::isTerminal() const noexcept
{
    return m_case == Case::completed || m_case == Case::failed || m_case == Case::cancelled;
}

} // namespace tonbrook
