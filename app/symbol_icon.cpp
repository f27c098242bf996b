#include "symbol_icon.h"

#include <QCache>
#include <QFile>
#include <QHash>
#include <QMutex>
#include <QPainter>
#include <QQuickWindow>
#include <QSvgRenderer>

namespace tonbrook {

namespace {

// Design symbol name -> Lucide file under :/tonbrook/icons.
const QHash<QString, QString> &symbolTable()
{
    static const QHash<QString, QString> table = {
        {"film", "film"},
        {"checkmark", "check"},
        {"play.circle.fill", "circle-play"},
        {"pause.circle.fill", "circle-pause"},
        {"stop.circle.fill", "circle-stop"},
        {"folder", "folder"},
        {"folder.fill", "folder"},
        {"arrow.clockwise.circle.fill", "refresh-cw"},
        {"xmark.circle", "circle-x"},
        {"slider.horizontal.3", "sliders-horizontal"},
        {"scissors", "scissors"},
        {"tag.fill", "tag"},
        {"photo", "image"},
        {"music.note", "music"},
        {"square.and.arrow.up", "share"},
        {"gobackward.10", "rotate-ccw"},
        {"goforward.10", "rotate-cw"},
        {"speaker.wave.2.fill", "volume-2"},
        {"speaker.slash.fill", "volume-x"},
        {"plus", "plus"},
        {"plus.circle.dashed", "circle-plus"},
        {"plus.circle.fill", "circle-plus"},
        {"trash", "trash-2"},
        {"stop.fill", "square"},
        {"bolt.fill", "zap"},
        {"gearshape", "settings"},
        {"line.3.horizontal", "menu"},
        {"checkmark.circle.fill", "circle-check"},
        {"arrow.down.circle.fill", "circle-arrow-down"},
        {"waveform.and.person.filled", "audio-waveform"},
        {"folder.badge.plus", "folder-plus"},
    };
    return table;
}

// The icon file drawn opaque at a pixel size; null when the file is not bundled. Rendering an
// SVG costs more than a frame's share when a screenful of rows is built at once, so the
// drawings are kept. Paint may run on a render thread.
QImage coverage(const QString &file, const QSize &pixels)
{
    static QMutex mutex;
    static QCache<QString, QImage> drawn(256);
    const QString key =
        QStringLiteral("%1@%2x%3").arg(file).arg(pixels.width()).arg(pixels.height());
    const QMutexLocker lock(&mutex);
    if (const QImage *image = drawn.object(key))
        return *image;

    QFile svg(QStringLiteral(":/tonbrook/icons/%1.svg").arg(file));
    if (!svg.open(QIODevice::ReadOnly)) {
        qWarning("SymbolIcon: icon file %s is not bundled", qPrintable(svg.fileName()));
        return {};
    }
    // Lucide strokes with currentColor; render opaque and tint the coverage afterwards.
    QByteArray data = svg.readAll();
    data.replace("currentColor", "#000000");
    QSvgRenderer renderer(data);
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(pixels)));
    }
    drawn.insert(key, new QImage(image));
    return image;
}

} // namespace

SymbolIcon::SymbolIcon(QQuickItem *parent) : QQuickPaintedItem(parent)
{
    setAntialiasing(true);
    setImplicitSize(m_size, m_size);
}

QString SymbolIcon::symbolFile(const QString &symbol)
{
    return symbolTable().value(symbol);
}

void SymbolIcon::setSymbol(const QString &symbol)
{
    if (symbol == m_symbol)
        return;
    m_symbol = symbol;
    if (!symbol.isEmpty() && symbolFile(symbol).isEmpty())
        qWarning("SymbolIcon: no icon for symbol \"%s\"", qPrintable(symbol));
    emit symbolChanged();
    update();
}

void SymbolIcon::setColor(const QColor &color)
{
    if (color == m_color)
        return;
    m_color = color;
    emit colorChanged();
    update();
}

void SymbolIcon::setGradient(const ThemeGradient &gradient)
{
    if (gradient == m_gradient)
        return;
    m_gradient = gradient;
    emit gradientChanged();
    update();
}

void SymbolIcon::setSize(qreal size)
{
    if (qFuzzyCompare(size, m_size))
        return;
    m_size = size;
    setImplicitSize(size, size);
    emit sizeChanged();
}

void SymbolIcon::paint(QPainter *painter)
{
    const QString file = symbolFile(m_symbol);
    if (file.isEmpty() || width() <= 0 || height() <= 0)
        return;
    const qreal side = qMin(width(), height());
    const QRectF target((width() - side) / 2, (height() - side) / 2, side, side);
    const qreal dpr = window() ? window()->effectiveDevicePixelRatio() : 1.0;
    QImage mask = coverage(file, (target.size() * dpr).toSize());
    if (mask.isNull())
        return;
    mask.setDevicePixelRatio(dpr);
    {
        QPainter maskPainter(&mask);
        maskPainter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        const QRectF local(QPointF(0, 0), target.size());
        if (m_gradient.isValid())
            maskPainter.fillRect(local, m_gradient.brushFor(local));
        else
            maskPainter.fillRect(local, m_color);
    }
    painter->drawImage(target.topLeft(), mask);
}

} // namespace tonbrook
