#include "job_view.h"

#include "extraction_options.h"
#include "queue/waveform_store.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <cmath>

namespace tonbrook {

namespace {

const AudioExtractionSettings &noSettings()
{
    static const AudioExtractionSettings value;
    return value;
}

const MediaMetadata &noMetadata()
{
    static const MediaMetadata value;
    return value;
}

std::optional<double> parseLocaleNumber(const QString &text)
{
    bool ok = false;
    const double value = QLocale().toDouble(text.trimmed(), &ok);
    if (!ok)
        return std::nullopt;
    return value;
}

} // namespace

JobView::JobView(QObject *parent) : QObject(parent) {}

void JobView::setJob(ConversionJob *job)
{
    if (job == m_job)
        return;
    if (m_job)
        disconnect(m_job, nullptr, this, nullptr);
    m_job = job;
    if (job) {
        connect(job, &ConversionJob::statusChanged, this, &JobView::statusChanged);
        connect(job, &ConversionJob::fileInfoChanged, this, [this] {
            m_thumbnail.reset();
            emit fileInfoChanged();
            // The End field and the track picker read the source as well as the settings.
            emit settingsChanged();
        });
        connect(job, &ConversionJob::settingsChanged, this, &JobView::settingsChanged);
        connect(job, &ConversionJob::metadataChanged, this, [this] {
            refreshCoverArt();
            emit metadataChanged();
        });
        connect(job, &QObject::destroyed, this, [this] {
            m_thumbnail.reset();
            m_shownCoverArt.reset();
            m_coverArtImage = QImage();
            emitAll();
        });
    }
    m_thumbnail.reset();
    refreshCoverArt();
    emitAll();
}

void JobView::emitAll()
{
    emit jobChanged();
    emit statusChanged();
    emit fileInfoChanged();
    emit settingsChanged();
    emit metadataChanged();
}

QString JobView::fileName() const
{
    return m_job ? QFileInfo(m_job->sourceURL().path()).fileName() : QString();
}

// --- status ---

JobView::Status JobView::status() const
{
    return m_job ? Status(int(m_job->status().caseValue())) : Pending;
}

double JobView::statusProgress() const
{
    return m_job ? m_job->status().progress() : 0.0;
}

QString JobView::progressText() const
{
    return percentText(statusProgress());
}

QString JobView::statusSpeed() const
{
    return m_job ? m_job->status().speed() : QString();
}

QString JobView::statusEta() const
{
    return m_job ? m_job->etaString() : QString();
}

QString JobView::speedText() const
{
    const QString speed = statusSpeed();
    return speed.isEmpty() ? QString() : QStringLiteral("• ") + speed;
}

QUrl JobView::completedOutputURL() const
{
    return m_job ? m_job->status().outputURL() : QUrl();
}

QString JobView::percentText(double progress)
{
    return formatFixed(progress * 100.0, 0) + QLatin1Char('%');
}

QString JobView::localeNumber(double value)
{
    return QLocale().toString(value, 'f', QLocale::FloatingPointShortest);
}

// --- source description ---

bool JobView::hasFileInfo() const
{
    return m_job && m_job->fileInfo().has_value();
}

bool JobView::hasThumbnail() const
{
    return hasFileInfo() && m_job->fileInfo()->thumbnail.has_value();
}

QImage JobView::thumbnail() const
{
    if (!hasThumbnail())
        return QImage();
    if (!m_thumbnail)
        // Decoded once, in the format the scene graph draws without converting on every paint.
        m_thumbnail = m_job->fileInfo()->thumbnail->image().convertToFormat(
            QImage::Format_ARGB32_Premultiplied);
    return *m_thumbnail;
}

QString JobView::durationText() const
{
    return hasFileInfo() ? m_job->fileInfo()->formattedDuration() : QString();
}

QString JobView::fileSizeText() const
{
    return hasFileInfo() ? m_job->fileInfo()->formattedFileSize() : QString();
}

QString JobView::resolutionText() const
{
    if (!hasFileInfo() || !m_job->fileInfo()->videoResolution)
        return {};
    const QSizeF size = *m_job->fileInfo()->videoResolution;
    // Whole numbers with the fraction dropped.
    return QStringLiteral("%1×%2").arg(qint64(size.width())).arg(qint64(size.height()));
}

QString JobView::codecText() const
{
    if (!hasFileInfo() || !m_job->fileInfo()->videoCodec)
        return {};
    return QCoreApplication::translate("JobView", "Codec: %1").arg(*m_job->fileInfo()->videoCodec);
}

QString JobView::headerFactsText() const
{
    if (!hasFileInfo())
        return {};
    return fileSizeText() + QStringLiteral(" • ") + durationText();
}

QStringList JobView::audioTrackNames() const
{
    QStringList names;
    if (hasFileInfo()) {
        for (const AudioTrackInfo &track : m_job->fileInfo()->audioTracks)
            names << track.name;
    }
    return names;
}

bool JobView::hasTrackChoice() const
{
    return hasFileInfo() && m_job->fileInfo()->audioTracks.size() > 1;
}

int JobView::selectedTrackPosition() const
{
    if (!hasFileInfo())
        return -1;
    const auto &tracks = m_job->fileInfo()->audioTracks;
    for (size_t i = 0; i < tracks.size(); ++i) {
        if (tracks[i].id == m_job->settings().selectedTrackIndex)
            return int(i);
    }
    return -1;
}

void JobView::setSelectedTrackPosition(int position)
{
    if (!hasFileInfo() || position < 0 || size_t(position) >= m_job->fileInfo()->audioTracks.size())
        return;
    const qint64 id = m_job->fileInfo()->audioTracks[size_t(position)].id;
    editSettings([id](AudioExtractionSettings &s) { s.selectedTrackIndex = id; });
}

// --- settings ---

template <typename Edit> void JobView::editSettings(Edit edit)
{
    if (!m_job)
        return;
    AudioExtractionSettings settings = m_job->settings();
    edit(settings);
    if (!(settings == m_job->settings()))
        m_job->setSettings(settings);
}

QString JobView::outputFormatText() const
{
    const QString bitrate = m_job ? m_job->writtenBitrateName() : noSettings().bitrate.shortName();
    return QStringLiteral("→ ") + bitrate + QStringLiteral(" MP3");
}

int JobView::bitrateIndex() const
{
    return ExtractionOptions::indexOf(m_job ? m_job->settings().bitrate : BitrateOption());
}

int JobView::sampleRateIndex() const
{
    return ExtractionOptions::indexOf(m_job ? m_job->settings().sampleRate : SampleRateOption());
}

int JobView::channelsIndex() const
{
    return ExtractionOptions::indexOf(m_job ? m_job->settings().channels : AudioChannelOption());
}

bool JobView::normalizePeak() const
{
    return m_job && m_job->settings().normalizePeak;
}

int JobView::loudnessIndex() const
{
    return ExtractionOptions::loudnessIndexOf(m_job ? m_job->settings().loudnessTarget
                                                    : std::nullopt);
}

bool JobView::embedCoverArt() const
{
    return (m_job ? m_job->settings() : noSettings()).embedCoverArt;
}

double JobView::fadeInDuration() const
{
    return m_job ? m_job->settings().fadeInDuration : 0.0;
}

double JobView::fadeOutDuration() const
{
    return m_job ? m_job->settings().fadeOutDuration : 0.0;
}

QString JobView::fadeInText() const
{
    return QCoreApplication::translate("JobView", "Fade In: %1s")
        .arg(QLocale().toString(fadeInDuration(), 'f', 1));
}

QString JobView::fadeOutText() const
{
    return QCoreApplication::translate("JobView", "Fade Out: %1s")
        .arg(QLocale().toString(fadeOutDuration(), 'f', 1));
}

bool JobView::hasTrim() const
{
    return m_job && (m_job->settings().trimStartSeconds.has_value() ||
                     m_job->settings().trimEndSeconds.has_value());
}

QString JobView::trimStartText() const
{
    return localeNumber(m_job ? m_job->settings().trimStartSeconds.value_or(0.0) : 0.0);
}

QString JobView::trimEndText() const
{
    const double duration = hasFileInfo() ? m_job->fileInfo()->duration : 0.0;
    return localeNumber(m_job ? m_job->settings().trimEndSeconds.value_or(duration) : 0.0);
}

double JobView::trimStartSeconds() const
{
    return m_job ? m_job->settings().trimStartSeconds.value_or(0.0) : 0.0;
}

double JobView::trimEndSeconds() const
{
    const double duration = hasFileInfo() ? m_job->fileInfo()->duration : 0.0;
    return m_job ? m_job->settings().trimEndSeconds.value_or(duration) : 0.0;
}

double JobView::durationSeconds() const
{
    return hasFileInfo() ? m_job->fileInfo()->duration : 0.0;
}

int JobView::selectedTrackIndex() const
{
    return m_job ? int(WaveformStore::sourceOf(*m_job).second) : -1;
}

QString JobView::trimEndPlaceholder() const
{
    return hasFileInfo() ? QLocale().toString(m_job->fileInfo()->duration, 'f', 1)
                         : QCoreApplication::translate("JobView", "End");
}

void JobView::setBitrateIndex(int index)
{
    editSettings(
        [index](AudioExtractionSettings &s) { s.bitrate = ExtractionOptions::bitrateAt(index); });
}

void JobView::setSampleRateIndex(int index)
{
    editSettings([index](AudioExtractionSettings &s) {
        s.sampleRate = ExtractionOptions::sampleRateAt(index);
    });
}

void JobView::setChannelsIndex(int index)
{
    editSettings(
        [index](AudioExtractionSettings &s) { s.channels = ExtractionOptions::channelsAt(index); });
}

void JobView::setNormalizePeak(bool value)
{
    editSettings([value](AudioExtractionSettings &s) { s.normalizePeak = value; });
}

bool JobView::loudnessLimiter() const
{
    return m_job && m_job->settings().loudnessLimiter;
}

QString JobView::resultNote() const
{
    return m_job ? m_job->localizedResultNote() : QString();
}

QString JobView::failureReason() const
{
    if (!m_job || !m_job->status().is(JobStatus::Case::failed))
        return {};
    return m_job->status().reason().localized();
}

void JobView::setLoudnessLimiter(bool value)
{
    editSettings([value](AudioExtractionSettings &s) { s.loudnessLimiter = value; });
}

void JobView::setLoudnessIndex(int index)
{
    editSettings([index](AudioExtractionSettings &s) {
        s.loudnessTarget = ExtractionOptions::loudnessAt(index);
    });
}

void JobView::setEmbedCoverArt(bool value)
{
    editSettings([value](AudioExtractionSettings &s) { s.embedCoverArt = value; });
}

void JobView::setFadeInDuration(double seconds)
{
    editSettings([seconds](AudioExtractionSettings &s) { s.fadeInDuration = seconds; });
}

void JobView::setFadeOutDuration(double seconds)
{
    editSettings([seconds](AudioExtractionSettings &s) { s.fadeOutDuration = seconds; });
}

void JobView::commitTrimStart(const QString &text)
{
    if (const std::optional<double> value = parseLocaleNumber(text))
        commitTrimStartSeconds(*value);
}

void JobView::commitTrimStartSeconds(double v)
{
    if (!std::isfinite(v))
        return;
    editSettings([v](AudioExtractionSettings &s) {
        s.trimStartSeconds = v > 0 ? std::optional<double>(v) : std::nullopt;
    });
}

void JobView::commitTrimEnd(const QString &text)
{
    if (const std::optional<double> value = parseLocaleNumber(text))
        commitTrimEndSeconds(*value);
}

void JobView::commitTrimEndSeconds(double v)
{
    if (!m_job || !std::isfinite(v))
        return;
    const std::optional<double> duration =
        hasFileInfo() ? std::optional<double>(m_job->fileInfo()->duration) : std::nullopt;
    editSettings([v, duration](AudioExtractionSettings &s) {
        // The end of the file is no end trim at all.
        const bool clears = v <= 0 || (duration && v == *duration);
        s.trimEndSeconds = clears ? std::nullopt : std::optional<double>(v);
    });
}

void JobView::resetTrim()
{
    editSettings([](AudioExtractionSettings &s) {
        s.trimStartSeconds.reset();
        s.trimEndSeconds.reset();
    });
}

// --- tags ---

template <typename Edit> void JobView::editMetadata(Edit edit)
{
    if (!m_job)
        return;
    MediaMetadata metadata = m_job->metadata();
    edit(metadata);
    if (!(metadata == m_job->metadata()))
        m_job->setMetadata(metadata);
}

QString JobView::title() const
{
    return (m_job ? m_job->metadata() : noMetadata()).title;
}

QString JobView::artist() const
{
    return (m_job ? m_job->metadata() : noMetadata()).artist;
}

QString JobView::album() const
{
    return (m_job ? m_job->metadata() : noMetadata()).album;
}

QString JobView::year() const
{
    return (m_job ? m_job->metadata() : noMetadata()).year;
}

QString JobView::genre() const
{
    return (m_job ? m_job->metadata() : noMetadata()).genre;
}

bool JobView::hasCoverArt() const
{
    return m_job && m_job->metadata().coverArtData.has_value();
}

QString JobView::playerTitle() const
{
    const QString tag = title();
    return tag.isEmpty() ? fileName() : tag;
}

void JobView::setTitle(const QString &text)
{
    editMetadata([&text](MediaMetadata &m) { m.title = text; });
}

void JobView::setArtist(const QString &text)
{
    editMetadata([&text](MediaMetadata &m) { m.artist = text; });
}

void JobView::setAlbum(const QString &text)
{
    editMetadata([&text](MediaMetadata &m) { m.album = text; });
}

void JobView::setYear(const QString &text)
{
    editMetadata([&text](MediaMetadata &m) { m.year = text; });
}

void JobView::setGenre(const QString &text)
{
    editMetadata([&text](MediaMetadata &m) { m.genre = text; });
}

bool JobView::loadCoverArt(const QUrl &file)
{
    if (!m_job || !file.isLocalFile())
        return false;
    QFile input(file.toLocalFile());
    if (!input.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = input.readAll();
    if (input.error() != QFileDevice::NoError)
        return false;
    editMetadata([&bytes](MediaMetadata &m) { m.coverArtData = bytes; });
    return true;
}

void JobView::refreshCoverArt()
{
    // Decoded only for the well, and only when the art itself changed; undecodable or
    // unreadable bytes give a null image and stay in the job.
    const std::optional<CoverArt> art =
        hasCoverArt() ? m_job->metadata().coverArtData : std::nullopt;
    if (art == m_shownCoverArt)
        return;
    m_shownCoverArt = art;
    const std::optional<QByteArray> bytes = art ? art->read() : std::nullopt;
    m_coverArtImage = bytes ? QImage::fromData(*bytes) : QImage();
}

} // namespace tonbrook
