#include "queue/job_status.h"

#include <QCoreApplication>

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
    return failed(TranslatableText::verbatim(error));
}

JobStatus JobStatus::failed(const TranslatableText &reason)
{
    JobStatus status(Case::failed);
    status.m_error = reason.english();
    status.m_reason = reason;
    return status;
}

QString JobStatus::title() const
{
    switch (m_case) {
    case Case::pending:
        return QCoreApplication::translate("JobStatus", "Queued");
    case Case::inspecting:
        return QCoreApplication::translate("JobStatus", "Analyzing...");
    case Case::ready:
        return QCoreApplication::translate("JobStatus", "Ready");
    case Case::converting:
        return QCoreApplication::translate("JobStatus", "Extracting (%1%)")
            .arg(formatFixed(m_progress * 100.0, 0));
    case Case::completed:
        return QCoreApplication::translate("JobStatus", "Extracted");
    case Case::failed:
        return QCoreApplication::translate("JobStatus", "Failed");
    case Case::cancelled:
        return QCoreApplication::translate("JobStatus", "Cancelled");
    }
    return {};
}

bool JobStatus::isTerminal() const noexcept
{
    return m_case == Case::completed || m_case == Case::failed || m_case == Case::cancelled;
}

} // namespace tonbrook
