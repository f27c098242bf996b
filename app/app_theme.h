#pragma once

#include <QColor>
#include <QLinearGradient>
#include <QObject>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace tonbrook {

// A two-stop linear gradient; the ends are in unit coordinates of the shape it fills.
class ThemeGradient {
    Q_GADGET
    QML_VALUE_TYPE(themeGradient)
    Q_PROPERTY(QColor start READ start CONSTANT)
    Q_PROPERTY(QColor end READ end CONSTANT)
    Q_PROPERTY(QPointF startPoint READ startPoint CONSTANT)
    Q_PROPERTY(QPointF endPoint READ endPoint CONSTANT)

public:
    ThemeGradient() = default;
    ThemeGradient(QColor start, QColor end, QPointF startPoint, QPointF endPoint)
        : m_start(start), m_end(end), m_startPoint(startPoint), m_endPoint(endPoint)
    {
    }

    QColor start() const { return m_start; }
    QColor end() const { return m_end; }
    QPointF startPoint() const { return m_startPoint; }
    QPointF endPoint() const { return m_endPoint; }
    // A default-constructed gradient paints nothing; items then use their plain colour.
    bool isValid() const { return m_start.isValid() && m_end.isValid(); }

    // The gradient laid across rect, first stop at 0 and second at 1.
    QLinearGradient brushFor(const QRectF &rect) const;

    bool operator==(const ThemeGradient &) const = default;

private:
    QColor m_start;
    QColor m_end;
    QPointF m_startPoint;
    QPointF m_endPoint;
};

// The shared look: fixed brand colours and gradients, and the palette roles the views draw
// with, which follow the current light or dark scheme.
class AppTheme : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(Theme)
    QML_SINGLETON

    Q_PROPERTY(tonbrook::ThemeGradient primaryGradient READ primaryGradient CONSTANT)
    Q_PROPERTY(tonbrook::ThemeGradient accentGradient READ accentGradient CONSTANT)
    Q_PROPERTY(tonbrook::ThemeGradient successGradient READ successGradient CONSTANT)
    Q_PROPERTY(QColor activeBorder READ activeBorder CONSTANT)
    Q_PROPERTY(QColor batchColor READ batchColor CONSTANT)
    Q_PROPERTY(QString monospaceFamily READ monospaceFamily CONSTANT)

    Q_PROPERTY(QColor cardBackground READ cardBackground NOTIFY paletteChanged)
    Q_PROPERTY(QColor cardHoverBackground READ cardHoverBackground NOTIFY paletteChanged)
    Q_PROPERTY(QColor borderSubtle READ borderSubtle NOTIFY paletteChanged)
    Q_PROPERTY(QColor primaryText READ primaryText NOTIFY paletteChanged)
    Q_PROPERTY(QColor secondary READ secondary NOTIFY paletteChanged)
    Q_PROPERTY(QColor accent READ accent NOTIFY paletteChanged)
    Q_PROPERTY(QColor controlBackground READ controlBackground NOTIFY paletteChanged)
    Q_PROPERTY(QColor separator READ separator NOTIFY paletteChanged)
    Q_PROPERTY(QColor windowBackground READ windowBackground NOTIFY paletteChanged)
    Q_PROPERTY(QColor blue READ blue NOTIFY paletteChanged)
    Q_PROPERTY(QColor red READ red NOTIFY paletteChanged)
    Q_PROPERTY(QColor orange READ orange NOTIFY paletteChanged)
    Q_PROPERTY(QColor green READ green NOTIFY paletteChanged)
    Q_PROPERTY(bool isDark READ isDark NOTIFY paletteChanged)

public:
    explicit AppTheme(QObject *parent = nullptr);

    // Created once on first use (thread-safe) and never changed.
    static const ThemeGradient &primaryGradient();
    static const ThemeGradient &accentGradient();
    static const ThemeGradient &successGradient();
    static const QColor &activeBorder();
    // The first stop of primaryGradient: progress bars, sliders, the play icon.
    static const QColor &batchColor();
    static QString monospaceFamily();

    static QColor cardBackground();
    static QColor cardHoverBackground();
    static QColor borderSubtle();
    static QColor primaryText();
    static QColor secondary();
    static QColor accent();
    static QColor controlBackground();
    static QColor separator();
    static QColor windowBackground();
    static QColor blue();
    static QColor red();
    static QColor orange();
    static QColor green();
    static bool isDark();

    // c with its alpha multiplied by opacity, for QML's translucent variants of palette colours.
    Q_INVOKABLE static QColor withOpacity(const QColor &c, double opacity);

signals:
    void paletteChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

} // namespace tonbrook
