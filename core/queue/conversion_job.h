#pragma once

#include "engine/extraction_progress.h"
#include "model/extraction_settings.h"
#include "model/media_records.h"
#include "queue/job_status.h"

#include <QObject>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <algorithm>
#include <atomic>
#include <exception>
#include <map>
#include <memory>
#include <optional>

class QThreadPool;

namespace tonbrook {

class AudioExtractionEngine;

// One source video on its way to one MP3 file. Lives on the main thread: every property is
// written there, and the inspection and extraction workers report back through queued calls.
class ConversionJob : public QObject {
    Q_OBJECT
    Q_PROPERTY(QUuid id READ id CONSTANT)
    Q_PROPERTY(QUrl sourceURL READ sourceURL CONSTANT)
    Q_PROPERTY(QUrl outputURL READ outputURL WRITE setOutputURL NOTIFY outputURLChanged)
    Q_PROPERTY(std::optional<tonbrook::VideoFileInfo> fileInfo READ fileInfo NOTIFY fileInfoChanged)
    Q_PROPERTY(tonbrook::AudioExtractionSettings settings READ settings WRITE setSettings NOTIFY
                   settingsChanged)
    Q_PROPERTY(
        tonbrook::MediaMetadata metadata READ metadata WRITE setMetadata NOTIFY metadataChanged)
    Q_PROPERTY(tonbrook::JobStatus status READ status NOTIFY statusChanged)
    Q_PROPERTY(double progress READ progress NOTIFY progressChanged)
    Q_PROPERTY(QString speedString READ speedString NOTIFY speedStringChanged)
    Q_PROPERTY(QString etaString READ etaString NOTIFY etaStringChanged)
    Q_PROPERTY(std::optional<QString> errorMessage READ errorMessage NOTIFY errorMessageChanged)

public:
    // A pending job writing <outputDirectory or the source's folder>/<base name>.mp3.
    ConversionJob(const QUrl &sourceURL, const std::optional<QUrl> &outputDirectory,
                  const AudioExtractionSettings &defaultSettings, QObject *parent = nullptr);
    // Cancels and waits for an extraction still running (the queue keeps removed jobs alive
    // until their extraction has ended, so this only happens when the application closes).
    ~ConversionJob() override;

    const QUuid &id() const noexcept { return m_id; }
    const QUrl &sourceURL() const noexcept { return m_sourceURL; }
    const QUrl &outputURL() const noexcept { return m_outputURL; }
    const std::optional<VideoFileInfo> &fileInfo() const noexcept { return m_fileInfo; }
    const AudioExtractionSettings &settings() const noexcept { return m_settings; }
    const MediaMetadata &metadata() const noexcept { return m_metadata; }
    const JobStatus &status() const noexcept { return m_status; }
    double progress() const noexcept { return m_progress; }
    const QString &speedString() const noexcept { return m_speedString; }
    const QString &etaString() const noexcept { return m_etaString; }
    // Why the last inspection or extraction failed, in English (status().reason() gives it
    // in the user's language); nothing while it has not failed.
    const std::optional<QString> &errorMessage() const noexcept { return m_errorMessage; }
    // The last extraction's note on its result (ExtractionProgress::note), in English; empty
    // when none.
    QString resultNote() const { return m_resultNote.english(); }
    // The same in the user's language.
    QString localizedResultNote() const { return m_resultNote.localized(); }

    // The bitrate the MP3 carries with the current settings, named as BitrateOption::shortName()
    // does ("160k" for 320k at an output rate of 24 kHz); the option's own name until the
    // inspection has told the source's rate.
    QString writtenBitrateName() const;

    void setOutputURL(const QUrl &url);
    void setSettings(const AudioExtractionSettings &settings);
    void setMetadata(const MediaMetadata &metadata);

    // Inspects the source on a worker of inspectionPool(); the job becomes ready or failed.
    Q_INVOKABLE void inspect();
    // Starts an extraction when the job is ready, pending, cancelled or failed; else nothing.
    Q_INVOKABLE void startExtraction();
    // Asks the running extraction to stop and marks the job cancelled, in any state.
    Q_INVOKABLE void cancel();

    // Encoder threads the next extraction may use (1 unless the queue grants more); with more
    // than one a long file is encoded in that many segments at once.
    int encoderThreads() const noexcept { return m_encoderThreads; }
    void setEncoderThreads(int threads) { m_encoderThreads = std::max(1, threads); }

    // Whether an extraction leaves a file at the output that Tonbrook did not write and writes
    // the next numbered name instead (true unless the queue is told to replace such files).
    bool keepsForeignFiles() const noexcept { return m_keepsForeignFiles; }
    void setKeepsForeignFiles(bool keep) { m_keepsForeignFiles = keep; }

    // An extraction has been started and neither ended nor been cancelled.
    bool hasActiveTask() const noexcept { return m_activeGeneration != 0; }
    // Some extraction of this job still has its worker running (also one being cancelled).
    bool isExtractionRunning() const noexcept { return !m_extractions.empty(); }

    // The source's file name without its last extension (talk.final.mov gives talk.final).
    static QString baseName(const QUrl &sourceURL);
    // <folder>/<baseName>.mp3
    static QUrl outputURLFor(const QUrl &sourceURL, const QUrl &folder);
    // Shared by all jobs and bounded, so a folder of a thousand files never starts a thousand
    // threads.
    static QThreadPool *inspectionPool();
    // Inspections run at this nice value (0 to 19) from their next start on. A window sets it
    // so that its main thread gets the processor first while a large drop is inspected beside
    // it; a command-line run leaves it at 0, as the inspections are its work.
    static void setInspectionNiceness(int niceness);

signals:
    void outputURLChanged();
    void fileInfoChanged();
    void settingsChanged();
    void metadataChanged();
    void statusChanged();
    void progressChanged();
    void speedStringChanged();
    void etaStringChanged();
    void errorMessageChanged();
    // An extraction is about to start and will write to outputURL; it may still be changed.
    void extractionAboutToStart();
    // The worker of an extraction has ended and its outcome has been applied.
    void extractionEnded();

private:
    struct Extraction {
        std::unique_ptr<AudioExtractionEngine> engine;
        bool cancelRequested = false;
    };

    void assertOwningThread() const;
    void setFileInfo(std::optional<VideoFileInfo> info);
    void setStatus(const JobStatus &status);
    void setProgress(double progress);
    void setSpeedString(const QString &text);
    void setEtaString(const QString &text);
    void setErrorMessage(const std::optional<QString> &text);

    void finishInspection(quint64 extractionsBefore, std::optional<VideoFileInfo> info,
                          const TranslatableText &error);
    void applyProgress(quint64 generation, const ExtractionProgress &progress);
    void finishExtraction(quint64 generation, const QUrl &output, std::exception_ptr failure,
                          qint64 outputSize, std::optional<double> outputDuration);

    const QUuid m_id;
    const QUrl m_sourceURL;
    QUrl m_outputURL;
    int m_encoderThreads = 1;
    bool m_keepsForeignFiles = true;
    std::optional<VideoFileInfo> m_fileInfo;
    AudioExtractionSettings m_settings;
    MediaMetadata m_metadata;
    JobStatus m_status;
    double m_progress = 0.0;
    QString m_speedString;
    QString m_etaString;
    std::optional<QString> m_errorMessage;
    TranslatableText m_resultNote;

    // Every extraction gets the next number; 0 means none.
    quint64 m_lastGeneration = 0;
    // Cleared when the job is destroyed, so queued inspections of a gone job do no work.
    std::shared_ptr<std::atomic_bool> m_alive = std::make_shared<std::atomic_bool>(true);
    // The extraction cancel() would stop; 0 when there is none.
    quint64 m_activeGeneration = 0;
    // Engines whose workers have not reported their end yet, by generation.
    std::map<quint64, Extraction> m_extractions;
};

} // namespace tonbrook
