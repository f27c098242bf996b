#include "waveform_plot.h"

#include "engine/sample_conditioning.h"

#include <QCoreApplication>
#include <QPainter>
#include <QQuickWindow>

#include <algorithm>
#include <cmath>

namespace tonbrook {

namespace {

// A zoomed view asks for detail once its overview buckets are wider than a pixel, and gets a
// little more than it shows on each side, so that a short scroll needs no more.
constexpr double pixelsPerBucketForDetail = 1.0;
constexpr double detailMargin = 0.5;
constexpr int detailDelayMs = 120;

// Whether scaling samples between low and high takes any past what 16 bits hold; a source
// already at full scale is not clipped by a gain of 1.
bool passesFullScale(int low, int high, double scale)
{
    return double(high) * scale > 32767.0 || double(low) * scale < -32768.0;
}

} // namespace

WaveformStore *WaveformPlot::sharedStore()
{
    static QPointer<WaveformStore> store;
    if (!store)
        store = new WaveformStore(QCoreApplication::instance());
    return store;
}

WaveformPlot::WaveformPlot(QQuickItem *parent) : QQuickPaintedItem(parent), m_store(sharedStore())
{
    setAntialiasing(false);
    m_detailDelay.setSingleShot(true);
    m_detailDelay.setInterval(detailDelayMs);
    connect(&m_detailDelay, &QTimer::timeout, this, &WaveformPlot::fetchDetail);
    connect(m_store, &WaveformStore::envelopeReady, this,
            [this](const QString &filePath, qint64 trackIndex) {
                if (!m_overview && m_source == std::pair{filePath, trackIndex})
                    fetchOverview();
            });
    connect(m_store, &WaveformStore::detailReady, this, &WaveformPlot::fetchDetail);
    for (auto signal :
         {&WaveformPlot::viewChanged, &WaveformPlot::trimChanged, &WaveformPlot::colorsChanged,
          &WaveformPlot::envelopeChanged, &WaveformPlot::shapeChanged})
        connect(this, signal, this, [this] { update(); });
    connect(this, &WaveformPlot::viewChanged, this, &WaveformPlot::planDetail);
    connect(this, &WaveformPlot::trimChanged, this, &WaveformPlot::reshape);
}

void WaveformPlot::setJob(ConversionJob *job)
{
    if (job == m_job)
        return;
    if (m_job)
        disconnect(m_job, nullptr, this, nullptr);
    m_job = job;
    if (job) {
        connect(job, &ConversionJob::fileInfoChanged, this, &WaveformPlot::fetchOverview);
        // A new track is another envelope; gain and fades only change the drawing.
        connect(job, &ConversionJob::settingsChanged, this, [this] {
            if (m_job && WaveformStore::sourceOf(*m_job) != m_source)
                fetchOverview();
            else
                reshape();
        });
        connect(job, &QObject::destroyed, this, [this] {
            m_job = nullptr;
            fetchOverview();
            emit jobChanged();
        });
    }
    fetchOverview();
    emit jobChanged();
}

void WaveformPlot::fetchOverview()
{
    const bool had = m_overview.has_value();
    m_source = m_job ? WaveformStore::sourceOf(*m_job) : std::pair<QString, qint64>{};
    m_overview.reset();
    m_detail.reset();
    m_detailAsked.reset();
    if (m_job && m_store && m_job->fileInfo()) {
        if (m_source.second >= 0) {
            m_overview = m_store->envelopeOf(*m_job, true);
        } else {
            // Nothing to decode: the line stays flat at once, with the reason.
            WaveformEnvelope flat;
            flat.secondsPerBucket = std::max(duration(), 0.0) / overviewWaveformBuckets;
            flat.lowest.assign(overviewWaveformBuckets, 0);
            flat.highest.assign(overviewWaveformBuckets, 0);
            flat.setProblem(TranslatableText(
                "tonbrook::WaveformPlot",
                QT_TRANSLATE_NOOP("tonbrook::WaveformPlot", "The file has no audio track.")));
            m_overview = std::move(flat);
        }
    }
    if (had || m_overview)
        emit envelopeChanged();
    reshape();
    planDetail();
}

void WaveformPlot::planDetail()
{
    if (!m_overview || !m_overview->problem.isEmpty() || width() <= 0.0)
        return;
    const double span = viewEnd() - m_viewStart;
    if (!(span > 0.0))
        return;
    const double bucketPixels = m_overview->secondsPerBucket / span * deviceWidth();
    if (bucketPixels <= pixelsPerBucketForDetail) {
        m_detailDelay.stop();
        if (m_detail) {
            m_detail.reset();
            emit envelopeChanged();
        }
        return;
    }
    // What is on screen is already covered, finely enough.
    if (m_detail && m_detail->startSeconds <= m_viewStart &&
        m_detail->startSeconds + m_detail->secondsPerBucket * double(m_detail->bucketCount()) >=
            viewEnd() &&
        m_detail->secondsPerBucket / span * deviceWidth() <= pixelsPerBucketForDetail)
        return;
    m_detailDelay.start();
}

void WaveformPlot::fetchDetail()
{
    if (!m_overview || !m_store || m_source.second < 0)
        return;
    const double span = viewEnd() - m_viewStart;
    if (!m_detailAsked || sender() == &m_detailDelay) {
        const double start = std::max(0.0, m_viewStart - span * detailMargin);
        const double end = std::min(duration(), viewEnd() + span * detailMargin);
        const int buckets = int(std::ceil((end - start) / span * deviceWidth()));
        m_detailAsked = DetailRange{start, end, std::max(buckets, 1)};
    }
    if (std::optional<WaveformEnvelope> made =
            m_store->detail(m_source.first, m_source.second, m_detailAsked->start,
                            m_detailAsked->end, m_detailAsked->buckets)) {
        if (made->problem.isEmpty()) {
            m_detail = std::move(made);
            emit envelopeChanged();
        }
    }
}

double WaveformPlot::viewEnd() const
{
    return m_viewEnd > 0.0 ? m_viewEnd : duration();
}

void WaveformPlot::setViewStart(double seconds)
{
    if (seconds == m_viewStart)
        return;
    m_viewStart = seconds;
    emit viewChanged();
}

void WaveformPlot::setViewEnd(double seconds)
{
    if (seconds == m_viewEnd)
        return;
    m_viewEnd = seconds;
    emit viewChanged();
}

double WaveformPlot::trimEnd() const
{
    return m_trimEnd > 0.0 ? m_trimEnd : duration();
}

void WaveformPlot::setTrimStart(double seconds)
{
    if (seconds == m_trimStart)
        return;
    m_trimStart = seconds;
    emit trimChanged();
}

void WaveformPlot::setTrimEnd(double seconds)
{
    if (seconds == m_trimEnd)
        return;
    m_trimEnd = seconds;
    emit trimChanged();
}

#define TONBROOK_COLOR_SETTER(setter, member)                                                      \
    void WaveformPlot::setter(const QColor &color)                                                 \
    {                                                                                              \
        if (color == member)                                                                       \
            return;                                                                                \
        member = color;                                                                            \
        emit colorsChanged();                                                                      \
    }
TONBROOK_COLOR_SETTER(setWaveColor, m_waveColor)
TONBROOK_COLOR_SETTER(setDimColor, m_dimColor)
TONBROOK_COLOR_SETTER(setClipColor, m_clipColor)
TONBROOK_COLOR_SETTER(setGuideColor, m_guideColor)
#undef TONBROOK_COLOR_SETTER

double WaveformPlot::duration() const
{
    return m_job && m_job->fileInfo() ? m_job->fileInfo()->duration : 0.0;
}

double WaveformPlot::secondsPerBucket() const
{
    const WaveformEnvelope *shown = shownEnvelope();
    return shown ? shown->secondsPerBucket : 0.0;
}

const WaveformEnvelope *WaveformPlot::shownEnvelope() const
{
    if (m_detail)
        return &*m_detail;
    return m_overview ? &*m_overview : nullptr;
}

double WaveformPlot::fadeFactor(double seconds) const
{
    if (!m_job)
        return 1.0;
    const AudioExtractionSettings &settings = m_job->settings();
    double factor = 1.0;
    if (settings.fadeInDuration > 0.0)
        factor = std::min(factor, (seconds - m_trimStart) / settings.fadeInDuration);
    if (settings.fadeOutDuration > 0.0)
        factor = std::min(factor, (trimEnd() - seconds) / settings.fadeOutDuration);
    return std::clamp(factor, 0.0, 1.0);
}

void WaveformPlot::reshape()
{
    double gain = 1.0;
    QVariantList clipped;
    if (m_job && m_overview && m_overview->problem.isEmpty()) {
        const AudioExtractionSettings &settings = m_job->settings();
        const WaveformEnvelope &envelope = *m_overview;
        const auto bucketAt = [&](double seconds) {
            return std::clamp<qint64>(
                qint64(std::floor((seconds - envelope.startSeconds) / envelope.secondsPerBucket)),
                0, qint64(envelope.bucketCount()));
        };
        const qint64 first = bucketAt(m_trimStart);
        const qint64 last = bucketAt(trimEnd());
        gain = volumeGain(settings.volumeGainDb);
        if (settings.normalizePeak && !resolveLoudnessTarget(settings.loudnessTarget)) {
            int peak = 0;
            for (qint64 i = first; i < last; ++i)
                peak = std::max({peak, -int(envelope.lowest[std::size_t(i)]),
                                 int(envelope.highest[std::size_t(i)])});
            gain *= peakGainForPeak(peak);
        }
        // Runs of buckets whose loudest sample, shaped as the extraction shapes it, passes
        // full scale.
        double runStart = -1.0;
        for (qint64 i = first; i <= last; ++i) {
            bool clips = false;
            if (i < last) {
                const double at =
                    envelope.startSeconds + (double(i) + 0.5) * envelope.secondsPerBucket;
                clips = passesFullScale(envelope.lowest[std::size_t(i)],
                                        envelope.highest[std::size_t(i)], gain * fadeFactor(at));
            }
            const double edge = envelope.startSeconds + double(i) * envelope.secondsPerBucket;
            if (clips && runStart < 0.0) {
                runStart = edge;
            } else if (!clips && runStart >= 0.0) {
                clipped.append(QVariantMap{{QStringLiteral("start"), runStart},
                                           {QStringLiteral("end"), edge}});
                runStart = -1.0;
            }
        }
    }
    if (gain == m_displayGain && clipped == m_clippedRanges) {
        update();
        return;
    }
    m_displayGain = gain;
    m_clippedRanges = clipped;
    emit shapeChanged();
}

double WaveformPlot::levelAt(double seconds) const
{
    const WaveformEnvelope *envelope = shownEnvelope();
    if (!envelope || !(envelope->secondsPerBucket > 0.0))
        return 0.0;
    const auto i =
        qint64(std::floor((seconds - envelope->startSeconds) / envelope->secondsPerBucket));
    if (i < 0 || i >= qint64(envelope->bucketCount()))
        return 0.0;
    return std::max(-double(envelope->lowest[std::size_t(i)]),
                    double(envelope->highest[std::size_t(i)])) /
           32768.0;
}

double WaveformPlot::deviceWidth() const
{
    return width() * (window() ? std::max(1.0, window()->effectiveDevicePixelRatio()) : 1.0);
}

void WaveformPlot::geometryChange(const QRectF &newGeometry, const QRectF &oldGeometry)
{
    QQuickPaintedItem::geometryChange(newGeometry, oldGeometry);
    if (newGeometry.width() != oldGeometry.width())
        planDetail();
}

void WaveformPlot::paint(QPainter *painter)
{
    const double w = width();
    if (!(w > 0.0))
        return;
    const double h = height();
    const double middle = std::round(h / 2.0);
    painter->fillRect(QRectF(0, middle, w, 1), m_guideColor);
    const WaveformEnvelope *envelope = shownEnvelope();
    const double span = viewEnd() - m_viewStart;
    if (!envelope || !envelope->problem.isEmpty() || !(span > 0.0) ||
        !(envelope->secondsPerBucket > 0.0))
        return;

    // One column per device pixel, so a high-density screen shows twice the detail.
    const double ratio = deviceWidth() / w;
    const double column = 1.0 / ratio;
    const double secondsPerPixel = span / w * column;
    const double halfHeight = h / 2.0 - 1.0;
    const auto count = qint64(envelope->bucketCount());
    for (int c = 0; c < int(std::ceil(w * ratio)); ++c) {
        const double x = c * column;
        const double from = m_viewStart + c * secondsPerPixel;
        const double to = from + secondsPerPixel;
        const qint64 first =
            qint64(std::floor((from - envelope->startSeconds) / envelope->secondsPerBucket));
        const qint64 last =
            std::max(first + 1,
                     qint64(std::ceil((to - envelope->startSeconds) / envelope->secondsPerBucket)));
        if (last <= 0 || first >= count)
            continue;
        int low = 0;
        int high = 0;
        for (qint64 i = std::max<qint64>(first, 0); i < std::min(last, count); ++i) {
            low = std::min(low, int(envelope->lowest[std::size_t(i)]));
            high = std::max(high, int(envelope->highest[std::size_t(i)]));
        }
        const double at = (from + to) / 2.0;
        const bool kept = at >= m_trimStart && at <= trimEnd();
        const double scale = m_displayGain * (kept ? fadeFactor(at) : 1.0);
        const bool clips = kept && passesFullScale(low, high, scale);
        const double top = std::max(-1.0, -high * scale / 32768.0);
        const double bottom = std::min(1.0, -low * scale / 32768.0);
        // Even silence keeps a hairline, so the kept part reads as a line, not as nothing.
        const double y0 = std::min(middle - 0.5, middle + top * halfHeight);
        const double y1 = std::max(middle + 1.5, middle + bottom * halfHeight);
        painter->fillRect(QRectF(x, y0, column, y1 - y0),
                          clips ? m_clipColor : (kept ? m_waveColor : m_dimColor));
    }
}

} // namespace tonbrook
