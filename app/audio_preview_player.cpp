#include "audio_preview_player.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QFileInfo>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tonbrook {

namespace {

void reportInitFailure(const QString &reason)
{
    std::printf("Failed to init audio player: %s\n", qPrintable(reason));
    std::fflush(stdout);
}

} // namespace

AudioPreviewPlayer::AudioPreviewPlayer(QObject *parent)
    : QObject(parent), m_timer(new QTimer(this)), m_devices(new QMediaDevices(this)),
      m_devicePoll(new QTimer(this)),
      m_hasOutputDevice(!QMediaDevices::defaultAudioOutput().isNull())
{
    m_timer->setInterval(tickIntervalMs);
    connect(m_timer, &QTimer::timeout, this, &AudioPreviewPlayer::tick);
    connect(m_devices, &QMediaDevices::audioOutputsChanged, this,
            &AudioPreviewPlayer::followOutputDevices);
    // Qt 6.4's PulseAudio back end updates its device list without emitting
    // audioOutputsChanged, so while there is no device the list is also looked at now and then.
    m_devicePoll->setInterval(devicePollIntervalMs);
    connect(m_devicePoll, &QTimer::timeout, this, &AudioPreviewPlayer::followOutputDevices);
    if (!m_hasOutputDevice)
        m_devicePoll->start();
}

void AudioPreviewPlayer::followOutputDevices()
{
    const bool present = !QMediaDevices::defaultAudioOutput().isNull();
    if (present == m_hasOutputDevice)
        return;
    m_hasOutputDevice = present;
    if (present)
        m_devicePoll->stop();
    else
        m_devicePoll->start();
    if (m_player) {
        if (present) {
            attachOutput();
        } else {
            // Writing to a sink whose device is gone crashes Qt 6.4's FFmpeg back end.
            if (m_isPlaying)
                togglePlay();
            m_player->setAudioOutput(nullptr);
            delete m_output;
            m_output = nullptr;
        }
    }
    emit hasOutputDeviceChanged();
}

void AudioPreviewPlayer::attachOutput()
{
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull() || m_output)
        return;
    m_output = new QAudioOutput(device, m_player);
    m_output->setVolume(m_volume);
    m_player->setAudioOutput(m_output);
}

AudioPreviewPlayer::~AudioPreviewPlayer()
{
    m_timer->stop();
    if (m_player)
        m_player->stop();
}

void AudioPreviewPlayer::setSource(const QUrl &source)
{
    if (source == m_source)
        return;
    m_source = source;
    emit sourceChanged();
    // A view that now shows another file starts over with a player for it.
    if (m_player) {
        stopPlayer();
        setCurrentTime(0.0);
        setupPlayer();
    }
}

double AudioPreviewPlayer::seekMaximum() const
{
    return std::max(m_duration, 0.1);
}

bool AudioPreviewPlayer::isTimerRunning() const
{
    return m_timer->isActive();
}

void AudioPreviewPlayer::setVolume(float volume)
{
    volume = std::clamp(volume, 0.0f, 1.0f);
    if (volume == m_volume)
        return;
    m_volume = volume;
    if (m_output)
        m_output->setVolume(volume);
    emit volumeChanged();
}

void AudioPreviewPlayer::setupPlayer()
{
    const QString path = m_source.toLocalFile();
    if (!m_source.isLocalFile() || !QFileInfo(path).isFile()) {
        reportInitFailure(QStringLiteral("The file \"%1\" could not be opened.")
                              .arg(m_source.toDisplayString(QUrl::PreferLocalFile)));
        return;
    }
    discardPlayer();
    m_player = new QMediaPlayer(this);
    // Qt 6.4's FFmpeg back end crashes writing to a sink without a device, so the output is
    // attached only while one exists.
    attachOutput();
    connect(m_player, &QMediaPlayer::durationChanged, this,
            [this](qint64 ms) { setDuration(double(ms) / 1000.0); });
    connect(m_player, &QMediaPlayer::errorOccurred, this,
            [this](QMediaPlayer::Error, const QString &text) {
                // Opening is asynchronous here, so a file the decoder rejects fails late.
                if (m_player && m_player->mediaStatus() == QMediaPlayer::InvalidMedia) {
                    reportInitFailure(text);
                    discardPlayer();
                }
            });
    m_player->setSource(m_source);
    emit hasPlayerChanged();
    setDuration(double(m_player->duration()) / 1000.0);
}

void AudioPreviewPlayer::discardPlayer()
{
    if (!m_player)
        return;
    m_timer->stop();
    setPlaying(false);
    m_player->disconnect(this);
    m_player->stop();
    m_player->deleteLater();
    m_player = nullptr;
    m_output = nullptr;
    emit hasPlayerChanged();
}

void AudioPreviewPlayer::togglePlay()
{
    if (!m_player) {
        setupPlayer();
        return;
    }
    if (m_isPlaying) {
        m_player->pause();
        m_timer->stop();
        setPlaying(false);
        return;
    }
    // The device may have gone without a signal.
    followOutputDevices();
    if (!m_hasOutputDevice)
        return;
    m_player->play();
    setPlaying(true);
    m_timer->start();
}

void AudioPreviewPlayer::tick()
{
    if (!m_player) {
        m_timer->stop();
        return;
    }
    setCurrentTime(playerPosition());
    if (m_player->playbackState() != QMediaPlayer::PlayingState) {
        // Played to the end: back to the start, and no timer left ticking.
        m_timer->stop();
        setPlaying(false);
        setCurrentTime(0.0);
    }
}

void AudioPreviewPlayer::stopPlayer()
{
    if (m_player)
        m_player->stop();
    m_timer->stop();
    setPlaying(false);
}

void AudioPreviewPlayer::seek(double seconds)
{
    setCurrentTime(seconds);
    if (m_player)
        m_player->setPosition(qint64(std::llround(seconds * 1000.0)));
}

void AudioPreviewPlayer::skipBackward()
{
    if (m_player)
        moveTo(std::max(playerPosition() - skipSeconds, 0.0));
}

void AudioPreviewPlayer::skipForward()
{
    if (m_player)
        moveTo(std::min(playerPosition() + skipSeconds, m_duration));
}

void AudioPreviewPlayer::moveTo(double seconds)
{
    m_player->setPosition(qint64(std::llround(seconds * 1000.0)));
    setCurrentTime(seconds);
}

double AudioPreviewPlayer::playerPosition() const
{
    return m_player ? double(m_player->position()) / 1000.0 : 0.0;
}

QString AudioPreviewPlayer::formatTime(double seconds)
{
    const qint64 whole = std::isfinite(seconds) ? qint64(std::floor(seconds)) : 0;
    return QString::asprintf("%02lld:%02lld", whole / 60, whole % 60);
}

void AudioPreviewPlayer::setPlaying(bool playing)
{
    if (playing == m_isPlaying)
        return;
    m_isPlaying = playing;
    emit isPlayingChanged();
}

void AudioPreviewPlayer::setCurrentTime(double seconds)
{
    if (seconds == m_currentTime)
        return;
    m_currentTime = seconds;
    emit currentTimeChanged();
}

void AudioPreviewPlayer::setDuration(double seconds)
{
    if (seconds == m_duration)
        return;
    m_duration = seconds;
    emit durationChanged();
}

} // namespace tonbrook
