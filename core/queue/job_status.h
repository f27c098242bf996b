#pragma once

#include "model/translatable_text.h"

#include <QMetaType>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QtGlobal>

namespace tonbrook {

// The state of one conversion job with its payload; a plain value compared field by field.
class JobStatus {
    Q_GADGET
    Q_PROPERTY(Case caseValue READ caseValue CONSTANT)
    Q_PROPERTY(QString title READ title CONSTANT)
    Q_PROPERTY(bool isTerminal READ isTerminal CONSTANT)
    Q_PROPERTY(double progress READ progress CONSTANT)
    Q_PROPERTY(QString speed READ speed CONSTANT)
    Q_PROPERTY(QString eta READ eta CONSTANT)
    Q_PROPERTY(QUrl outputURL READ outputURL CONSTANT)
    Q_PROPERTY(qint64 outputSize READ outputSize CONSTANT)
    Q_PROPERTY(double duration READ duration CONSTANT)
    Q_PROPERTY(QString error READ error CONSTANT)

public:
    // In lifecycle order.
    enum class Case { pending, inspecting, ready, converting, completed, failed, cancelled };
    Q_ENUM(Case)

    // pending
    JobStatus() = default;

    static JobStatus pending() { return JobStatus(Case::pending); }
    static JobStatus inspecting() { return JobStatus(Case::inspecting); }
    static JobStatus ready() { return JobStatus(Case::ready); }
    static JobStatus converting(double progress, const QString &speed, const QString &eta);
    static JobStatus completed(const QUrl &outputURL, qint64 outputSize, double duration);
    static JobStatus failed(const TranslatableText &reason);
    // A reason that reads the same in every language.
    static JobStatus failed(const QString &error);
    static JobStatus cancelled() { return JobStatus(Case::cancelled); }

    Case caseValue() const noexcept { return m_case; }
    bool is(Case value) const noexcept { return m_case == value; }

    // "Queued", "Analyzing...", "Ready", "Extracting (42%)", "Extracted", "Failed", "Cancelled"
    QString title() const;
    // completed, failed and cancelled.
    bool isTerminal() const noexcept;

    // Payloads; each reads as its default value in the other cases.
    double progress() const noexcept { return m_progress; }
    const QString &speed() const noexcept { return m_speed; }
    const QString &eta() const noexcept { return m_eta; }
    const QUrl &outputURL() const noexcept { return m_outputURL; }
    qint64 outputSize() const noexcept { return m_outputSize; }
    double duration() const noexcept { return m_duration; }
    // In English: machine-readable output carries it.
    const QString &error() const noexcept { return m_error; }
    // The same, to be put together in the user's language for people to read.
    const TranslatableText &reason() const noexcept { return m_reason; }

    // Unused payload fields always hold their defaults, so comparing all fields is structural.
    bool operator==(const JobStatus &) const = default;

private:
    explicit JobStatus(Case value) : m_case(value) {}

    Case m_case = Case::pending;
    double m_progress = 0.0;
    QString m_speed;
    QString m_eta;
    QUrl m_outputURL;
    qint64 m_outputSize = 0;
    double m_duration = 0.0;
    QString m_error;
    TranslatableText m_reason;
};

// printf's "%.<decimals>f" in every locale: rounded from the exact binary value, with a full stop.
QString formatFixed(double value, int decimals);

} // namespace tonbrook

Q_DECLARE_METATYPE(tonbrook::JobStatus)
