#pragma once

#include "app_theme.h"

#include <QColor>
#include <QImage>
#include <QQuickPaintedItem>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace tonbrook {

// One symbol of the bundled icon set, painted in a colour or a theme gradient. Views name
// symbols by the design's symbol names ("play.circle.fill"); symbolFile() maps them to files.
class SymbolIcon : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QString symbol READ symbol WRITE setSymbol NOTIFY symbolChanged)
    Q_PROPERTY(QColor color READ color WRITE setColor NOTIFY colorChanged)
    Q_PROPERTY(
        tonbrook::ThemeGradient gradient READ gradient WRITE setGradient NOTIFY gradientChanged)
    // The symbol's nominal size in logical pixels; sets the implicit size.
    Q_PROPERTY(qreal size READ size WRITE setSize NOTIFY sizeChanged)

public:
    explicit SymbolIcon(QQuickItem *parent = nullptr);

    // The icon file (without folder and extension) for a symbol name; empty when unknown.
    Q_INVOKABLE static QString symbolFile(const QString &symbol);

    QString symbol() const { return m_symbol; }
    QColor color() const { return m_color; }
    ThemeGradient gradient() const { return m_gradient; }
    qreal size() const { return m_size; }
    void setSymbol(const QString &symbol);
    void setColor(const QColor &color);
    void setGradient(const ThemeGradient &gradient);
    void setSize(qreal size);

    void paint(QPainter *painter) override;

signals:
    void symbolChanged();
    void colorChanged();
    void gradientChanged();
    void sizeChanged();

private:
    QString m_symbol;
    QColor m_color = Qt::black;
    ThemeGradient m_gradient;
    qreal m_size = 16;
};

} // namespace tonbrook
