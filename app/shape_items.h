#pragma once

#include "app_theme.h"

#include <QColor>
#include <QImage>
#include <QQuickPaintedItem>
#include <QtQml/qqmlregistration.h>

namespace tonbrook {

// A rounded rectangle filled with a theme gradient (Qt Quick's own gradients cannot run
// diagonally).
class GradientFill : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(
        tonbrook::ThemeGradient gradient READ gradient WRITE setGradient NOTIFY gradientChanged)
    Q_PROPERTY(qreal radius READ radius WRITE setRadius NOTIFY radiusChanged)

public:
    explicit GradientFill(QQuickItem *parent = nullptr);

    ThemeGradient gradient() const { return m_gradient; }
    qreal radius() const { return m_radius; }
    void setGradient(const ThemeGradient &gradient);
    void setRadius(qreal radius);

    void paint(QPainter *painter) override;

signals:
    void gradientChanged();
    void radiusChanged();

private:
    ThemeGradient m_gradient;
    qreal m_radius = 0;
};

// The blurred, offset shadow of a rounded rectangle. Make the item larger than the shape by
// spread() on every side (anchors.margins: -spread); the shape is the item inset by it.
class SoftShadow : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QColor color READ color WRITE setColor NOTIFY changed)
    Q_PROPERTY(qreal radius READ radius WRITE setRadius NOTIFY changed)
    Q_PROPERTY(qreal blur READ blur WRITE setBlur NOTIFY changed)
    Q_PROPERTY(qreal offsetY READ offsetY WRITE setOffsetY NOTIFY changed)
    // How far the shadow reaches beyond the shape on each side.
    Q_PROPERTY(qreal spread READ spread NOTIFY changed)

public:
    explicit SoftShadow(QQuickItem *parent = nullptr);

    QColor color() const { return m_color; }
    qreal radius() const { return m_radius; }
    qreal blur() const { return m_blur; }
    qreal offsetY() const { return m_offsetY; }
    void setColor(const QColor &color);
    void setRadius(qreal radius);
    void setBlur(qreal blur);
    void setOffsetY(qreal offset);

    qreal spread() const;

    void paint(QPainter *painter) override;

signals:
    void changed();

private:
    void setValue(qreal &field, qreal value);

    QColor m_color = QColor(0, 0, 0, 10);
    qreal m_radius = 0;
    qreal m_blur = 4;
    qreal m_offsetY = 2;
};

// An image scaled to fill its rounded frame with its aspect kept, excess cropped.
class RoundedImage : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QImage image READ image WRITE setImage NOTIFY imageChanged)
    Q_PROPERTY(qreal radius READ radius WRITE setRadius NOTIFY radiusChanged)
    Q_PROPERTY(QColor borderColor READ borderColor WRITE setBorderColor NOTIFY borderChanged)
    Q_PROPERTY(qreal borderWidth READ borderWidth WRITE setBorderWidth NOTIFY borderChanged)

public:
    explicit RoundedImage(QQuickItem *parent = nullptr);

    QImage image() const { return m_image; }
    qreal radius() const { return m_radius; }
    QColor borderColor() const { return m_borderColor; }
    qreal borderWidth() const { return m_borderWidth; }
    void setImage(const QImage &image);
    void setRadius(qreal radius);
    void setBorderColor(const QColor &color);
    void setBorderWidth(qreal width);

    // The part of an image of imageSize that fills a frame of frameSize, centred.
    static QRectF cropRect(QSizeF imageSize, QSizeF frameSize);

    void paint(QPainter *painter) override;

signals:
    void imageChanged();
    void radiusChanged();
    void borderChanged();

private:
    QImage m_image;
    qreal m_radius = 0;
    QColor m_borderColor = Qt::transparent;
    qreal m_borderWidth = 0;
};

// A dashed outline drawn inside the edge of a rounded rectangle, in a theme gradient or, when
// the gradient is unset, in a plain colour.
class DashedBorder : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(tonbrook::ThemeGradient gradient READ gradient WRITE setGradient NOTIFY changed)
    Q_PROPERTY(QColor color READ color WRITE setColor NOTIFY changed)
    Q_PROPERTY(qreal radius READ radius WRITE setRadius NOTIFY changed)
    Q_PROPERTY(qreal lineWidth READ lineWidth WRITE setLineWidth NOTIFY changed)
    // Dash and gap lengths in logical pixels.
    Q_PROPERTY(qreal dash READ dash WRITE setDash NOTIFY changed)
    Q_PROPERTY(qreal gap READ gap WRITE setGap NOTIFY changed)

public:
    explicit DashedBorder(QQuickItem *parent = nullptr);

    ThemeGradient gradient() const { return m_gradient; }
    QColor color() const { return m_color; }
    qreal radius() const { return m_radius; }
    qreal lineWidth() const { return m_lineWidth; }
    qreal dash() const { return m_dash; }
    qreal gap() const { return m_gap; }
    void setGradient(const ThemeGradient &gradient);
    void setColor(const QColor &color);
    void setRadius(qreal radius);
    void setLineWidth(qreal width);
    void setDash(qreal dash);
    void setGap(qreal gap);

    void paint(QPainter *painter) override;

signals:
    void changed();

private:
    template <typename T> void assign(T &field, const T &value);

    ThemeGradient m_gradient;
    QColor m_color = Qt::gray;
    qreal m_radius = 0;
    qreal m_lineWidth = 1;
    qreal m_dash = 8;
    qreal m_gap = 6;
};

} // namespace tonbrook
