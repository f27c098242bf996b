#include "shape_items.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <vector>

namespace tonbrook {

namespace {

// One horizontal pass of a box blur of the given radius over every channel of an ARGB image.
void boxBlurRows(QImage &image, int radius)
{
    if (radius <= 0)
        return;
    const int w = image.width();
    const int window = 2 * radius + 1;
    std::vector<uchar> line(size_t(w) * 4);
    for (int y = 0; y < image.height(); ++y) {
        uchar *row = image.scanLine(y);
        std::copy(row, row + w * 4, line.begin());
        for (int c = 0; c < 4; ++c) {
            int sum = 0;
            for (int x = -radius; x <= radius; ++x)
                sum += (x >= 0 && x < w) ? line[size_t(x) * 4 + c] : 0;
            for (int x = 0; x < w; ++x) {
                row[x * 4 + c] = uchar(sum / window);
                const int out = x - radius;
                const int in = x + radius + 1;
                sum -= (out >= 0) ? line[size_t(out) * 4 + c] : 0;
                sum += (in < w) ? line[size_t(in) * 4 + c] : 0;
            }
        }
    }
}

QImage transposed(const QImage &image)
{
    return image.transformed(QTransform(0, 1, 1, 0, 0, 0));
}

} // namespace

// --- GradientFill ---

GradientFill::GradientFill(QQuickItem *parent) : QQuickPaintedItem(parent)
{
    setAntialiasing(true);
}

void GradientFill::setGradient(const ThemeGradient &gradient)
{
    if (gradient == m_gradient)
        return;
    m_gradient = gradient;
    emit gradientChanged();
    update();
}

void GradientFill::setRadius(qreal radius)
{
    if (qFuzzyCompare(radius, m_radius))
        return;
    m_radius = radius;
    emit radiusChanged();
    update();
}

void GradientFill::paint(QPainter *painter)
{
    if (!m_gradient.isValid())
        return;
    const QRectF rect(0, 0, width(), height());
    const qreal r = qMin(m_radius, qMin(width(), height()) / 2);
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(m_gradient.brushFor(rect));
    painter->drawRoundedRect(rect, r, r);
}

// --- SoftShadow ---

SoftShadow::SoftShadow(QQuickItem *parent) : QQuickPaintedItem(parent) {}

void SoftShadow::setValue(qreal &field, qreal value)
{
    if (qFuzzyCompare(field, value))
        return;
    field = value;
    emit changed();
    update();
}

void SoftShadow::setColor(const QColor &color)
{
    if (color == m_color)
        return;
    m_color = color;
    emit changed();
    update();
}

void SoftShadow::setRadius(qreal radius)
{
    setValue(m_radius, radius);
}

void SoftShadow::setBlur(qreal blur)
{
    setValue(m_blur, blur);
}

void SoftShadow::setOffsetY(qreal offset)
{
    setValue(m_offsetY, offset);
}

qreal SoftShadow::spread() const
{
    return std::ceil(m_blur * 1.5 + std::abs(m_offsetY));
}

void SoftShadow::paint(QPainter *painter)
{
    const qreal margin = spread();
    const QRectF shape = QRectF(0, 0, width(), height())
                             .adjusted(margin, margin, -margin, -margin)
                             .translated(0, m_offsetY);
    if (shape.width() <= 0 || shape.height() <= 0 || m_color.alpha() == 0)
        return;

    QImage image(int(std::ceil(width())), int(std::ceil(height())),
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        QColor opaque = m_color;
        opaque.setAlpha(255);
        p.setBrush(opaque);
        const qreal r = qMin(m_radius, qMin(shape.width(), shape.height()) / 2);
        p.drawRoundedRect(shape, r, r);
    }
    // Three box passes each way come close to a Gaussian of the blur radius.
    const int box = qMax(1, int(std::lround(m_blur / 2)));
    for (int pass = 0; pass < 3; ++pass)
        boxBlurRows(image, box);
    image = transposed(image);
    for (int pass = 0; pass < 3; ++pass)
        boxBlurRows(image, box);
    image = transposed(image);

    painter->setOpacity(m_color.alphaF());
    painter->drawImage(QPointF(0, 0), image);
}

// --- RoundedImage ---

RoundedImage::RoundedImage(QQuickItem *parent) : QQuickPaintedItem(parent)
{
    setAntialiasing(true);
}

void RoundedImage::setImage(const QImage &image)
{
    if (image.cacheKey() == m_image.cacheKey())
        return;
    m_image = image;
    emit imageChanged();
    update();
}

void RoundedImage::setRadius(qreal radius)
{
    if (qFuzzyCompare(radius, m_radius))
        return;
    m_radius = radius;
    emit radiusChanged();
    update();
}

void RoundedImage::setBorderColor(const QColor &color)
{
    if (color == m_borderColor)
        return;
    m_borderColor = color;
    emit borderChanged();
    update();
}

void RoundedImage::setBorderWidth(qreal width)
{
    if (qFuzzyCompare(width, m_borderWidth))
        return;
    m_borderWidth = width;
    emit borderChanged();
    update();
}

QRectF RoundedImage::cropRect(QSizeF imageSize, QSizeF frameSize)
{
    if (imageSize.isEmpty() || frameSize.isEmpty())
        return {};
    const qreal scale =
        qMax(frameSize.width() / imageSize.width(), frameSize.height() / imageSize.height());
    const QSizeF visible(frameSize.width() / scale, frameSize.height() / scale);
    return QRectF(QPointF((imageSize.width() - visible.width()) / 2,
                          (imageSize.height() - visible.height()) / 2),
                  visible);
}

void RoundedImage::paint(QPainter *painter)
{
    const QRectF frame(0, 0, width(), height());
    if (frame.isEmpty())
        return;
    const qreal r = qMin(m_radius, qMin(width(), height()) / 2);
    QPainterPath path;
    path.addRoundedRect(frame, r, r);
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    if (!m_image.isNull()) {
        painter->save();
        painter->setClipPath(path);
        painter->drawImage(frame, m_image, cropRect(m_image.size(), frame.size()));
        painter->restore();
    }
    if (m_borderWidth > 0 && m_borderColor.alpha() > 0) {
        // Inset by half the width: an item cannot paint past its bounds.
        const qreal inset = m_borderWidth / 2;
        QPainterPath outline;
        outline.addRoundedRect(frame.adjusted(inset, inset, -inset, -inset), qMax(0.0, r - inset),
                               qMax(0.0, r - inset));
        QPen pen(m_borderColor, m_borderWidth, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
        pen.setMiterLimit(10);
        painter->setPen(pen);
        painter->setBrush(Qt::NoBrush);
        painter->drawPath(outline);
    }
}

// --- DashedBorder ---

DashedBorder::DashedBorder(QQuickItem *parent) : QQuickPaintedItem(parent)
{
    setAntialiasing(true);
}

template <typename T> void DashedBorder::assign(T &field, const T &value)
{
    if (field == value)
        return;
    field = value;
    emit changed();
    update();
}

void DashedBorder::setGradient(const ThemeGradient &gradient)
{
    assign(m_gradient, gradient);
}

void DashedBorder::setColor(const QColor &color)
{
    assign(m_color, color);
}

void DashedBorder::setRadius(qreal radius)
{
    assign(m_radius, radius);
}

void DashedBorder::setLineWidth(qreal width)
{
    assign(m_lineWidth, width);
}

void DashedBorder::setDash(qreal dash)
{
    assign(m_dash, dash);
}

void DashedBorder::setGap(qreal gap)
{
    assign(m_gap, gap);
}

void DashedBorder::paint(QPainter *painter)
{
    if (m_lineWidth <= 0)
        return;
    // Inset by half the line so the whole stroke stays inside the item.
    const qreal inset = m_lineWidth / 2;
    const QRectF shape = boundingRect().adjusted(inset, inset, -inset, -inset);
    const QBrush brush =
        m_gradient.isValid() ? QBrush(m_gradient.brushFor(boundingRect())) : QBrush(m_color);
    QPen pen(brush, m_lineWidth, Qt::CustomDashLine, Qt::FlatCap, Qt::MiterJoin);
    // Qt measures dash patterns in units of the line width.
    pen.setDashPattern({m_dash / m_lineWidth, m_gap / m_lineWidth});
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);
    const qreal r = qMax<qreal>(0, m_radius - inset);
    painter->drawRoundedRect(shape, r, r);
}

} // namespace tonbrook
