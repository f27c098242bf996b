#include "queue/waveform_store.h"

#include "model/cover_art.h"
#include "model/media_reader.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QMetaObject>
#include <QStringList>

#include <algorithm>

#include <sys/resource.h>
#include <unistd.h>

namespace tonbrook {

namespace {

constexpr quint32 fileMagic = 0x54575632; // "TWV2"

// A small header, then the lowest and the highest samples, little-endian.
bool writeEnvelope(const QString &path, const WaveformEnvelope &envelope)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QDataStream out(&file);
    out.setByteOrder(QDataStream::LittleEndian);
    out << fileMagic << envelope.startSeconds << envelope.secondsPerBucket
        << quint32(envelope.bucketCount()) << envelope.problem << envelope.localizedProblem;
    for (const std::vector<qint16> *values : {&envelope.lowest, &envelope.highest})
        for (const qint16 value : *values)
            out << value;
    return out.status() == QDataStream::Ok && file.flush();
}

std::optional<WaveformEnvelope> readEnvelope(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QDataStream in(&file);
    in.setByteOrder(QDataStream::LittleEndian);
    quint32 magic = 0;
    quint32 count = 0;
    WaveformEnvelope envelope;
    in >> magic >> envelope.startSeconds >> envelope.secondsPerBucket >> count >>
        envelope.problem >> envelope.localizedProblem;
    if (in.status() != QDataStream::Ok || magic != fileMagic ||
        qint64(count) * 4 != file.size() - file.pos())
        return std::nullopt;
    for (std::vector<qint16> *values : {&envelope.lowest, &envelope.highest}) {
        values->resize(count);
        for (qint16 &value : *values)
            in >> value;
    }
    if (in.status() != QDataStream::Ok)
        return std::nullopt;
    return envelope;
}

WaveformEnvelope flatEnvelope(double durationSeconds, const TranslatableText &problem)
{
    WaveformEnvelope envelope;
    envelope.secondsPerBucket = std::max(0.0, durationSeconds) / overviewWaveformBuckets;
    envelope.lowest.assign(overviewWaveformBuckets, 0);
    envelope.highest.assign(overviewWaveformBuckets, 0);
    envelope.setProblem(problem);
    return envelope;
}

} // namespace

WaveformStore::WaveformStore(QObject *parent)
    : QObject(parent), m_worker([this](std::stop_token stop) { work(std::move(stop)); })
{
}

WaveformStore::~WaveformStore()
{
    {
        const std::lock_guard lock(m_mutex);
        m_runningStop.request_stop();
    }
    m_worker.request_stop();
    m_worker.join();
    for (const QString &file : std::as_const(m_onDisk))
        QFile::remove(file);
}

QString WaveformStore::keyOf(const QString &filePath, qint64 trackIndex)
{
    return filePath + u'\n' + QString::number(trackIndex);
}

std::optional<WaveformEnvelope> WaveformStore::envelope(const QString &filePath, qint64 trackIndex,
                                                        double durationSeconds, bool urgent)
{
    const QString key = keyOf(filePath, trackIndex);
    for (auto it = m_recent.begin(); it != m_recent.end(); ++it) {
        if (it->first == key) {
            m_recent.splice(m_recent.begin(), m_recent, it);
            return m_recent.front().second;
        }
    }
    if (const QString file = m_onDisk.value(key); !file.isEmpty()) {
        if (std::optional<WaveformEnvelope> stored = readEnvelope(file)) {
            keep(key, *stored);
            return stored;
        }
        // Gone from the cache folder, or damaged there: made again.
        m_onDisk.remove(key);
        QFile::remove(file);
    }

    const std::lock_guard lock(m_mutex);
    const auto matches = [&](const Request &request) {
        return request.filePath == filePath && request.trackIndex == trackIndex;
    };
    if ((m_running && matches(*m_running)) ||
        std::any_of(m_made.begin(), m_made.end(),
                    [&](const Made &made) { return matches(made.request); }))
        return std::nullopt;
    const auto queued = std::find_if(m_pending.begin(), m_pending.end(), matches);
    if (queued != m_pending.end()) {
        if (urgent && (queued != m_pending.begin() || !queued->urgent)) {
            Request request = *queued;
            request.urgent = true;
            m_pending.erase(queued);
            m_pending.push_front(request);
            m_wake.notify_one();
        }
        return std::nullopt;
    }
    Request request{filePath, trackIndex, durationSeconds};
    request.urgent = urgent;
    if (urgent)
        m_pending.push_front(request);
    else
        m_pending.push_back(request);
    m_wake.notify_one();
    return std::nullopt;
}

std::pair<QString, qint64> WaveformStore::sourceOf(const ConversionJob &job)
{
    const QString path = job.sourceURL().toLocalFile();
    if (!job.fileInfo())
        return {path, -1};
    const auto track = resolveTrackIndex(job.settings().selectedTrackIndex,
                                         qint64(job.fileInfo()->audioTracks.size()));
    return {path, track.value_or(-1)};
}

std::optional<WaveformEnvelope> WaveformStore::envelopeOf(const ConversionJob &job, bool urgent)
{
    const auto [path, track] = sourceOf(job);
    if (track < 0)
        return std::nullopt;
    return envelope(path, track, job.fileInfo()->duration, urgent);
}

std::optional<WaveformEnvelope> WaveformStore::detail(const QString &filePath, qint64 trackIndex,
                                                      double startSeconds, double endSeconds,
                                                      int buckets)
{
    Request request{filePath, trackIndex, endSeconds, true, startSeconds, std::max(buckets, 1)};
    if (m_detailWanted == request)
        return m_detail;
    m_detailWanted = request;
    m_detail.reset();
    const std::lock_guard lock(m_mutex);
    // Someone is looking at this; an overview being made for later starts again after it.
    if (m_running) {
        if (!m_running->isDetail) {
            // Back behind the urgent ones, which stay at the front.
            const auto behindUrgent =
                std::find_if(m_pending.begin(), m_pending.end(),
                             [](const Request &pending) { return !pending.urgent; });
            m_pending.insert(m_running->urgent ? m_pending.begin() : behindUrgent, *m_running);
        }
        m_runningStop.request_stop();
    }
    std::erase_if(m_made, [](const Made &made) { return made.request.isDetail; });
    m_detailPending = request;
    m_wake.notify_one();
    return std::nullopt;
}

void WaveformStore::forget(const QString &filePath)
{
    if (m_detailWanted && m_detailWanted->filePath == filePath) {
        m_detailWanted.reset();
        m_detail.reset();
    }
    QStringList unwanted;
    {
        const std::lock_guard lock(m_mutex);
        if (m_detailPending && m_detailPending->filePath == filePath)
            m_detailPending.reset();
        std::erase_if(m_pending,
                      [&](const Request &request) { return request.filePath == filePath; });
        std::erase_if(m_made, [&](const Made &made) {
            if (made.request.filePath != filePath)
                return false;
            if (!made.file.isEmpty())
                unwanted.append(made.file);
            return true;
        });
        if (m_running && m_running->filePath == filePath)
            m_runningStop.request_stop();
    }
    for (const QString &file : std::as_const(unwanted))
        QFile::remove(file);
    const QString prefix = filePath + u'\n';
    std::erase_if(m_recent, [&](const auto &entry) { return entry.first.startsWith(prefix); });
    for (auto it = m_onDisk.begin(); it != m_onDisk.end();) {
        if (it.key().startsWith(prefix)) {
            QFile::remove(it.value());
            it = m_onDisk.erase(it);
        } else {
            ++it;
        }
    }
}

void WaveformStore::holdBackground(std::chrono::milliseconds duration)
{
    // Called on every frame a list moves: only a hold that ends sooner than the last one
    // takes the lock, to wake the worker.
    const auto until = (std::chrono::steady_clock::now() + duration).time_since_epoch().count();
    if (m_backgroundHeldUntil.exchange(until) > until) {
        const std::lock_guard lock(m_mutex);
        m_wake.notify_one();
    }
}

bool WaveformStore::hasWorkToStart() const
{
    // Urgent requests are at the front, so the front alone says whether one may start.
    return m_detailPending ||
           (!m_pending.empty() && (m_pending.front().urgent ||
                                   std::chrono::steady_clock::now() >= backgroundHeldUntil()));
}

std::chrono::steady_clock::time_point WaveformStore::backgroundHeldUntil() const
{
    return std::chrono::steady_clock::time_point(
        std::chrono::steady_clock::duration(m_backgroundHeldUntil.load()));
}

bool WaveformStore::isIdle() const
{
    const std::lock_guard lock(m_mutex);
    return m_pending.empty() && !m_detailPending && !m_running && m_made.empty();
}

void WaveformStore::work(std::stop_token stop)
{
    // Envelopes are for later: the window, the conversions and the inspections go first.
    ::setpriority(PRIO_PROCESS, ::gettid(), 19);
    while (!stop.stop_requested()) {
        Request request;
        std::stop_token itemStop;
        {
            std::unique_lock lock(m_mutex);
            while (!hasWorkToStart()) {
                if (stop.stop_requested())
                    return;
                if (m_pending.empty())
                    m_wake.wait(lock, stop,
                                [this] { return !m_pending.empty() || m_detailPending; });
                else
                    m_wake.wait_until(lock, stop, backgroundHeldUntil(),
                                      [this] { return hasWorkToStart(); });
            }
            // A zoomed view is waiting on its detail; overviews are for later.
            if (m_detailPending) {
                request = *m_detailPending;
                m_detailPending.reset();
            } else {
                request = m_pending.front();
                m_pending.pop_front();
            }
            m_running = request;
            m_runningStop = std::stop_source();
            itemStop = m_runningStop.get_token();
        }
        std::optional<WaveformEnvelope> made;
        try {
            const auto asset = openMediaAsset(request.filePath, MediaUse::audioOnly);
            const std::vector<MediaTrack> tracks = asset->loadTracks(MediaType::audio);
            if (request.trackIndex >= 0 && request.trackIndex < qint64(tracks.size()))
                made = computeWaveform(*asset, tracks[std::size_t(request.trackIndex)],
                                       request.startSeconds, request.durationSeconds,
                                       request.buckets, itemStop);
            else
                made = flatEnvelope(
                    request.durationSeconds,
                    TranslatableText(
                        "WaveformStore",
                        QT_TRANSLATE_NOOP("WaveformStore", "The file has no audio track %1."),
                        {TranslatableText::verbatim(QString::number(request.trackIndex))}));
        } catch (const std::exception &) {
            made = flatEnvelope(request.durationSeconds, failureText(std::current_exception()));
        }
        // Written here rather than on the main thread, where a disk busy writing back would
        // stall the window.
        QString file;
        if (made && !request.isDetail && !itemStop.stop_requested())
            file = writeToCache(request.filePath, request.trackIndex, *made);
        bool dropped = false;
        {
            const std::lock_guard lock(m_mutex);
            m_running.reset();
            dropped = !made || itemStop.stop_requested();
            if (!dropped)
                m_made.push_back({request, std::move(*made), file});
        }
        if (dropped) {
            if (!file.isEmpty())
                QFile::remove(file);
            continue;
        }
        // Only the call crosses threads; what was made waits under the lock.
        QMetaObject::invokeMethod(this, &WaveformStore::collect, Qt::QueuedConnection);
    }
}

QString WaveformStore::writeToCache(const QString &filePath, qint64 trackIndex,
                                    const WaveformEnvelope &envelope)
{
    const QString folder = cacheSessionFolder();
    if (folder.isEmpty())
        return {};
    const QByteArray key = keyOf(filePath, trackIndex).toUtf8();
    const QString file = QDir(folder).filePath(
        QStringLiteral("waveform-%1.bin")
            .arg(QString::fromLatin1(
                QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex())));
    return writeEnvelope(file, envelope) ? file : QString();
}

void WaveformStore::collect()
{
    std::vector<Made> made;
    {
        const std::lock_guard lock(m_mutex);
        made.swap(m_made);
    }
    for (Made &item : made) {
        if (item.request.isDetail) {
            if (item.request == m_detailWanted) {
                m_detail = std::move(item.envelope);
                emit detailReady();
            }
            continue;
        }
        const QString key = keyOf(item.request.filePath, item.request.trackIndex);
        if (!item.file.isEmpty())
            m_onDisk.insert(key, item.file);
        keep(key, item.envelope);
        emit envelopeReady(item.request.filePath, item.request.trackIndex);
    }
}

void WaveformStore::keep(const QString &key, const WaveformEnvelope &envelope)
{
    std::erase_if(m_recent, [&](const auto &entry) { return entry.first == key; });
    m_recent.emplace_front(key, envelope);
    while (m_recent.size() > std::size_t(keptInMemory))
        m_recent.pop_back();
}

} // namespace tonbrook
