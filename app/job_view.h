#pragma once

#include "queue/conversion_job.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

namespace tonbrook {

// A ConversionJob as the views read and edit it: its C++-typed properties flattened into
// display texts and plain values, and per-field setters that write through into the job.
// Lives on the main thread beside the job it follows.
class JobView : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(tonbrook::ConversionJob *job READ job WRITE setJob NOTIFY jobChanged)
    Q_PROPERTY(QString fileName READ fileName NOTIFY jobChanged)

    Q_PROPERTY(Status status READ status NOTIFY statusChanged)
    Q_PROPERTY(double statusProgress READ statusProgress NOTIFY statusChanged)
    Q_PROPERTY(QString progressText READ progressText NOTIFY statusChanged)
    Q_PROPERTY(QString statusSpeed READ statusSpeed NOTIFY statusChanged)
    Q_PROPERTY(QString statusEta READ statusEta NOTIFY statusChanged)
    // "• 2.5x" beside the percentage; empty while the speed is unknown.
    Q_PROPERTY(QString speedText READ speedText NOTIFY statusChanged)
    Q_PROPERTY(QUrl completedOutputURL READ completedOutputURL NOTIFY statusChanged)

    Q_PROPERTY(bool hasFileInfo READ hasFileInfo NOTIFY fileInfoChanged)
    Q_PROPERTY(bool hasThumbnail READ hasThumbnail NOTIFY fileInfoChanged)
    Q_PROPERTY(QImage thumbnail READ thumbnail NOTIFY fileInfoChanged)
    Q_PROPERTY(QString durationText READ durationText NOTIFY fileInfoChanged)
    Q_PROPERTY(QString fileSizeText READ fileSizeText NOTIFY fileInfoChanged)
    Q_PROPERTY(QString resolutionText READ resolutionText NOTIFY fileInfoChanged)
    Q_PROPERTY(QString codecText READ codecText NOTIFY fileInfoChanged)
    Q_PROPERTY(QString headerFactsText READ headerFactsText NOTIFY fileInfoChanged)
    Q_PROPERTY(QStringList audioTrackNames READ audioTrackNames NOTIFY fileInfoChanged)
    // A track picker is offered only when there is more than one track to pick from.
    Q_PROPERTY(bool hasTrackChoice READ hasTrackChoice NOTIFY fileInfoChanged)
    Q_PROPERTY(int selectedTrackPosition READ selectedTrackPosition WRITE setSelectedTrackPosition
                   NOTIFY settingsChanged)

    Q_PROPERTY(QString outputFormatText READ outputFormatText NOTIFY settingsChanged)
    Q_PROPERTY(int bitrateIndex READ bitrateIndex WRITE setBitrateIndex NOTIFY settingsChanged)
    Q_PROPERTY(
        int sampleRateIndex READ sampleRateIndex WRITE setSampleRateIndex NOTIFY settingsChanged)
    Q_PROPERTY(int channelsIndex READ channelsIndex WRITE setChannelsIndex NOTIFY settingsChanged)
    Q_PROPERTY(bool normalizePeak READ normalizePeak WRITE setNormalizePeak NOTIFY settingsChanged)
    // Position in Options.loudnessNames; 0 is off.
    Q_PROPERTY(int loudnessIndex READ loudnessIndex WRITE setLoudnessIndex NOTIFY settingsChanged)
    Q_PROPERTY(
        bool loudnessLimiter READ loudnessLimiter WRITE setLoudnessLimiter NOTIFY settingsChanged)
    // What the last extraction said about its result, such as a loudness target it stopped
    // short of; empty when nothing.
    Q_PROPERTY(QString resultNote READ resultNote NOTIFY statusChanged)
    Q_PROPERTY(QString failureReason READ failureReason NOTIFY statusChanged)
    Q_PROPERTY(bool embedCoverArt READ embedCoverArt WRITE setEmbedCoverArt NOTIFY settingsChanged)
    Q_PROPERTY(
        double fadeInDuration READ fadeInDuration WRITE setFadeInDuration NOTIFY settingsChanged)
    Q_PROPERTY(
        double fadeOutDuration READ fadeOutDuration WRITE setFadeOutDuration NOTIFY settingsChanged)
    Q_PROPERTY(QString fadeInText READ fadeInText NOTIFY settingsChanged)
    Q_PROPERTY(QString fadeOutText READ fadeOutText NOTIFY settingsChanged)
    Q_PROPERTY(bool hasTrim READ hasTrim NOTIFY settingsChanged)
    Q_PROPERTY(QString trimStartText READ trimStartText NOTIFY settingsChanged)
    Q_PROPERTY(QString trimEndText READ trimEndText NOTIFY settingsChanged)
    Q_PROPERTY(QString trimEndPlaceholder READ trimEndPlaceholder NOTIFY settingsChanged)
    // The kept part in seconds: 0 without a start trim, the duration without an end trim.
    Q_PROPERTY(double trimStartSeconds READ trimStartSeconds NOTIFY settingsChanged)
    Q_PROPERTY(double trimEndSeconds READ trimEndSeconds NOTIFY settingsChanged)
    Q_PROPERTY(double durationSeconds READ durationSeconds NOTIFY fileInfoChanged)
    // The audio track extracted, among the source's audio tracks; -1 when it has none.
    Q_PROPERTY(int selectedTrackIndex READ selectedTrackIndex NOTIFY settingsChanged)

    Q_PROPERTY(QString title READ title WRITE setTitle NOTIFY metadataChanged)
    Q_PROPERTY(QString artist READ artist WRITE setArtist NOTIFY metadataChanged)
    Q_PROPERTY(QString album READ album WRITE setAlbum NOTIFY metadataChanged)
    Q_PROPERTY(QString year READ year WRITE setYear NOTIFY metadataChanged)
    Q_PROPERTY(QString genre READ genre WRITE setGenre NOTIFY metadataChanged)
    Q_PROPERTY(bool hasCoverArt READ hasCoverArt NOTIFY metadataChanged)
    Q_PROPERTY(QImage coverArtImage READ coverArtImage NOTIFY metadataChanged)
    Q_PROPERTY(bool hasCoverArtImage READ hasCoverArtImage NOTIFY metadataChanged)
    Q_PROPERTY(QString playerTitle READ playerTitle NOTIFY metadataChanged)

public:
    // JobStatus::Case, in lifecycle order.
    enum Status { Pending, Inspecting, Ready, Converting, Completed, Failed, Cancelled };
    Q_ENUM(Status)

    explicit JobView(QObject *parent = nullptr);

    ConversionJob *job() const { return m_job; }
    void setJob(ConversionJob *job);
    QString fileName() const;

    Status status() const;
    double statusProgress() const;
    QString progressText() const;
    QString statusSpeed() const;
    QString statusEta() const;
    QString speedText() const;
    QUrl completedOutputURL() const;

    bool hasFileInfo() const;
    bool hasThumbnail() const;
    QImage thumbnail() const;
    QString durationText() const;
    QString fileSizeText() const;
    QString resolutionText() const;
    QString codecText() const;
    QString headerFactsText() const;
    QStringList audioTrackNames() const;
    bool hasTrackChoice() const;
    int selectedTrackPosition() const;
    void setSelectedTrackPosition(int position);

    QString outputFormatText() const;
    int bitrateIndex() const;
    int sampleRateIndex() const;
    int channelsIndex() const;
    bool normalizePeak() const;
    int loudnessIndex() const;
    bool loudnessLimiter() const;
    QString resultNote() const;
    // Why the job failed, in the user's language; empty unless it failed.
    QString failureReason() const;
    bool embedCoverArt() const;
    double fadeInDuration() const;
    double fadeOutDuration() const;
    QString fadeInText() const;
    QString fadeOutText() const;
    bool hasTrim() const;
    QString trimStartText() const;
    QString trimEndText() const;
    QString trimEndPlaceholder() const;
    double trimStartSeconds() const;
    double trimEndSeconds() const;
    double durationSeconds() const;
    int selectedTrackIndex() const;
    void setBitrateIndex(int index);
    void setSampleRateIndex(int index);
    void setChannelsIndex(int index);
    void setNormalizePeak(bool value);
    void setLoudnessIndex(int index);
    void setLoudnessLimiter(bool value);
    void setEmbedCoverArt(bool value);
    void setFadeInDuration(double seconds);
    void setFadeOutDuration(double seconds);

    QString title() const;
    QString artist() const;
    QString album() const;
    QString year() const;
    QString genre() const;
    bool hasCoverArt() const;
    QImage coverArtImage() const { return m_coverArtImage; }
    bool hasCoverArtImage() const { return !m_coverArtImage.isNull(); }
    QString playerTitle() const;
    void setTitle(const QString &text);
    void setArtist(const QString &text);
    void setAlbum(const QString &text);
    void setYear(const QString &text);
    void setGenre(const QString &text);

    // A number typed into the Start field: above 0 sets the start trim, 0 or less clears it.
    // Text that is not a number in the user's locale changes nothing.
    Q_INVOKABLE void commitTrimStart(const QString &text);
    // A number typed into the End field: 0 or less, or exactly the source's duration, clears
    // the end trim; anything else sets it.
    Q_INVOKABLE void commitTrimEnd(const QString &text);
    // The same for a number of seconds, as the waveform's handles set them.
    Q_INVOKABLE void commitTrimStartSeconds(double seconds);
    Q_INVOKABLE void commitTrimEndSeconds(double seconds);
    Q_INVOKABLE void resetTrim();
    // Stores the file's bytes, unchanged, as the cover art; false (and no change) when the
    // file cannot be read.
    Q_INVOKABLE bool loadCoverArt(const QUrl &file);

    // "42%" for 0.42: no decimals, ordinary rounding (0.999 gives 100%).
    Q_INVOKABLE static QString percentText(double progress);
    // A number as the trim fields show it in the user's locale.
    Q_INVOKABLE static QString localeNumber(double value);

signals:
    void jobChanged();
    void statusChanged();
    void fileInfoChanged();
    void settingsChanged();
    void metadataChanged();

private:
    template <typename Edit> void editSettings(Edit edit);
    template <typename Edit> void editMetadata(Edit edit);
    void refreshCoverArt();
    void emitAll();

    QPointer<ConversionJob> m_job;
    // Decoded for this view only: the job keeps the compressed thumbnail and the art on disk.
    mutable std::optional<QImage> m_thumbnail;
    std::optional<CoverArt> m_shownCoverArt;
    QImage m_coverArtImage;
};

} // namespace tonbrook
