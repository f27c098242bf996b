#include "source_audition.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QMediaDevices>
#include <QMediaMetaData>
#include <QMediaPlayer>

#include <algorithm>
#include <cmath>

namespace tonbrook {

namespace {

qint64 milliseconds(double seconds)
{
    return qint64(std::llround(std::max(seconds, 0.0) * 1000.0));
}

} // namespace

SourceAudition::SourceAudition(QObject *parent)
    : QObject(parent), m_devices(new QMediaDevices(this)),
      m_hasOutputDevice(!QMediaDevices::defaultAudioOutput().isNull())
{
    m_timer.setInterval(tickIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &SourceAudition::tick);
    connect(m_devices, &QMediaDevices::audioOutputsChanged, this,
            &SourceAudition::followOutputDevices);
    // Qt 6.4's PulseAudio back end does not always signal a new device; look now and then.
    m_devicePoll.setInterval(1000);
    connect(&m_devicePoll, &QTimer::timeout, this, &SourceAudition::followOutputDevices);
    if (!m_hasOutputDevice)
        m_devicePoll.start();
}

SourceAudition::~SourceAudition()
{
    m_timer.stop();
    if (m_player)
        m_player->stop();
}

void SourceAudition::setSource(const QUrl &source)
{
    if (source == m_source)
        return;
    discardPlayer();
    m_source = source;
    emit sourceChanged();
}

void SourceAudition::setTrackIndex(int index)
{
    if (index == m_trackIndex)
        return;
    stop();
    m_trackIndex = index;
    emit trackIndexChanged();
}

void SourceAudition::followOutputDevices()
{
    const bool present = !QMediaDevices::defaultAudioOutput().isNull();
    if (present == m_hasOutputDevice)
        return;
    m_hasOutputDevice = present;
    if (present) {
        m_devicePoll.stop();
    } else {
        m_devicePoll.start();
        // Writing to a sink whose device is gone crashes Qt 6.4's FFmpeg back end.
        discardPlayer();
    }
    emit hasOutputDeviceChanged();
}

void SourceAudition::play(double fromSeconds, double untilSeconds)
{
    followOutputDevices();
    if (!m_hasOutputDevice || !m_source.isLocalFile() || !(untilSeconds > fromSeconds))
        return;
    if (!m_player) {
        m_player = new QMediaPlayer(this);
        m_output = new QAudioOutput(QMediaDevices::defaultAudioOutput(), m_player);
        m_player->setAudioOutput(m_output);
        connect(m_player, &QMediaPlayer::mediaStatusChanged, this,
                &SourceAudition::startWhenLoaded);
        connect(m_player, &QMediaPlayer::errorOccurred, this, [this] {
            m_waiting.reset();
            m_timer.stop();
            setPlaying(false);
        });
        m_player->setSource(m_source);
    }
    m_player->pause();
    m_waiting = Stretch{fromSeconds, untilSeconds};
    setPosition(fromSeconds);
    setPlaying(true);
    startWhenLoaded();
}

void SourceAudition::startWhenLoaded()
{
    if (!m_player || !m_waiting)
        return;
    const QMediaPlayer::MediaStatus status = m_player->mediaStatus();
    if (status == QMediaPlayer::LoadingMedia || status == QMediaPlayer::NoMedia)
        return;
    if (status == QMediaPlayer::InvalidMedia) {
        m_waiting.reset();
        setPlaying(false);
        return;
    }
    const Stretch stretch = *m_waiting;
    m_waiting.reset();
    // Turning the pictures off with setActiveVideoTrack(-1) crashes Qt 6.4's FFmpeg back end;
    // without a video output they are not shown anyway.
    if (m_trackIndex < m_player->audioTracks().size() &&
        m_trackIndex != m_player->activeAudioTrack())
        m_player->setActiveAudioTrack(m_trackIndex);
    m_until = stretch.until;
    m_from = stretch.from;
    // Qt 6.4's FFmpeg back end drops a seek made before playing starts, so it is made again
    // once playing, and the position counts only once it has arrived.
    if (m_output)
        m_output->setMuted(true);
    m_player->setPosition(milliseconds(stretch.from));
    m_player->play();
    m_player->setPosition(milliseconds(stretch.from));
    m_seeking = true;
    m_timer.start();
}

void SourceAudition::tick()
{
    if (!m_player) {
        m_timer.stop();
        return;
    }
    const double at = double(m_player->position()) / 1000.0;
    const bool playing = m_player->playbackState() == QMediaPlayer::PlayingState;
    if (m_seeking) {
        if (std::abs(at - m_from) > 1.0 && playing)
            return;
        m_seeking = false;
    }
    // The seek lands on a packet before the start; what comes before it is not heard.
    if (at < m_from - 0.02 && playing)
        return;
    if (m_output)
        m_output->setMuted(false);
    if (at >= m_until || !playing) {
        m_player->pause();
        m_timer.stop();
        setPosition(std::min(at, m_until));
        setPlaying(false);
        return;
    }
    setPosition(at);
}

void SourceAudition::stop()
{
    m_waiting.reset();
    m_timer.stop();
    if (m_player)
        m_player->pause();
    setPlaying(false);
}

void SourceAudition::discardPlayer()
{
    stop();
    if (!m_player)
        return;
    m_player->disconnect(this);
    m_player->stop();
    m_player->deleteLater();
    m_player = nullptr;
    m_output = nullptr;
}

void SourceAudition::setPlaying(bool playing)
{
    if (playing == m_isPlaying)
        return;
    m_isPlaying = playing;
    emit isPlayingChanged();
}

void SourceAudition::setPosition(double seconds)
{
    if (seconds == m_position)
        return;
    m_position = seconds;
    emit positionChanged();
}

} // namespace tonbrook
