#pragma once

#include "queue/conversion_job.h"
#include "queue/waveform_store.h"

#include <QColor>
#include <QPointer>
#include <QQuickPaintedItem>
#include <QTimer>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <optional>

namespace tonbrook {

// The envelope of the job's selected audio track between viewStart and viewEnd, as the
// extraction would shape it: scaled by the job's gain or peak normalisation, dimmed outside
// the trim, and marked where the gain would clip. The envelope comes from the application's
// waveform store; a zoomed view asks it for finer detail of what is on screen.
class WaveformPlot : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(tonbrook::ConversionJob *job READ job WRITE setJob NOTIFY jobChanged)
    // The stretch shown, in seconds of the source; viewEnd of 0 or less means the duration.
    Q_PROPERTY(double viewStart READ viewStart WRITE setViewStart NOTIFY viewChanged)
    Q_PROPERTY(double viewEnd READ viewEnd WRITE setViewEnd NOTIFY viewChanged)
    // The kept part as shown, which may run ahead of the job's settings while a handle moves.
    Q_PROPERTY(double trimStart READ trimStart WRITE setTrimStart NOTIFY trimChanged)
    Q_PROPERTY(double trimEnd READ trimEnd WRITE setTrimEnd NOTIFY trimChanged)
    Q_PROPERTY(QColor waveColor READ waveColor WRITE setWaveColor NOTIFY colorsChanged)
    Q_PROPERTY(QColor dimColor READ dimColor WRITE setDimColor NOTIFY colorsChanged)
    Q_PROPERTY(QColor clipColor READ clipColor WRITE setClipColor NOTIFY colorsChanged)
    Q_PROPERTY(QColor guideColor READ guideColor WRITE setGuideColor NOTIFY colorsChanged)

    Q_PROPERTY(double duration READ duration NOTIFY jobChanged)
    // An envelope is there to draw (perhaps a flat one with a problem).
    Q_PROPERTY(bool isReady READ isReady NOTIFY envelopeChanged)
    // Why the envelope is flat, in the user's language; empty when the audio decoded.
    Q_PROPERTY(QString problem READ problem NOTIFY envelopeChanged)
    // The seconds one drawn bucket stands for, finer once a zoomed view's detail is in.
    Q_PROPERTY(double secondsPerBucket READ secondsPerBucket NOTIFY envelopeChanged)
    // The amplitude factor drawn: the job's gain, or what peak normalisation will apply.
    Q_PROPERTY(double displayGain READ displayGain NOTIFY shapeChanged)
    // Where the kept part would clip, as {start, end} in seconds, merged and in order.
    Q_PROPERTY(QVariantList clippedRanges READ clippedRanges NOTIFY shapeChanged)

public:
    explicit WaveformPlot(QQuickItem *parent = nullptr);

    ConversionJob *job() const { return m_job; }
    void setJob(ConversionJob *job);
    double viewStart() const { return m_viewStart; }
    double viewEnd() const;
    void setViewStart(double seconds);
    void setViewEnd(double seconds);
    double trimStart() const { return m_trimStart; }
    double trimEnd() const;
    void setTrimStart(double seconds);
    void setTrimEnd(double seconds);
    QColor waveColor() const { return m_waveColor; }
    QColor dimColor() const { return m_dimColor; }
    QColor clipColor() const { return m_clipColor; }
    QColor guideColor() const { return m_guideColor; }
    void setWaveColor(const QColor &color);
    void setDimColor(const QColor &color);
    void setClipColor(const QColor &color);
    void setGuideColor(const QColor &color);

    double duration() const;
    bool isReady() const { return m_overview.has_value(); }
    QString problem() const { return m_overview ? m_overview->localizedProblem : QString(); }
    double secondsPerBucket() const;
    double displayGain() const { return m_displayGain; }
    QVariantList clippedRanges() const { return m_clippedRanges; }

    // The highest level at that time as drawn, before the gain: 0 for silence, 1 for full
    // scale.
    Q_INVOKABLE double levelAt(double seconds) const;

    void paint(QPainter *painter) override;

    // The store every plot and the queue share, made on first use and kept by the application.
    static WaveformStore *sharedStore();

signals:
    void jobChanged();
    void viewChanged();
    void trimChanged();
    void colorsChanged();
    void envelopeChanged();
    void shapeChanged();

protected:
    void geometryChange(const QRectF &newGeometry, const QRectF &oldGeometry) override;

private:
    void fetchOverview();
    void fetchDetail();
    void planDetail();
    // Gain and clipping from the envelope and the job's settings.
    void reshape();
    const WaveformEnvelope *shownEnvelope() const;
    double fadeFactor(double seconds) const;
    // The width in the screen's own pixels.
    double deviceWidth() const;

    QPointer<ConversionJob> m_job;
    QPointer<WaveformStore> m_store;
    std::pair<QString, qint64> m_source;
    std::optional<WaveformEnvelope> m_overview;
    std::optional<WaveformEnvelope> m_detail;
    struct DetailRange {
        double start = 0.0;
        double end = 0.0;
        int buckets = 0;
    };
    std::optional<DetailRange> m_detailAsked;
    QTimer m_detailDelay;

    double m_viewStart = 0.0;
    double m_viewEnd = 0.0;
    double m_trimStart = 0.0;
    double m_trimEnd = 0.0;
    QColor m_waveColor = Qt::darkGray;
    QColor m_dimColor = Qt::lightGray;
    QColor m_clipColor = Qt::red;
    QColor m_guideColor = Qt::gray;
    double m_displayGain = 1.0;
    QVariantList m_clippedRanges;
};

} // namespace tonbrook
