#include "app_theme.h"

#include <QEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPalette>
#include <QQuickItem>
#include <QQuickWindow>

namespace tonbrook {

namespace {

QColor srgb(double r, double g, double b)
{
    return QColor::fromRgbF(float(r), float(g), float(b), 1.0f);
}

QPalette palette()
{
    return QGuiApplication::palette();
}

} // namespace

QLinearGradient ThemeGradient::brushFor(const QRectF &rect) const
{
    const auto at = [&rect](QPointF unit) {
        return QPointF(rect.left() + unit.x() * rect.width(),
                       rect.top() + unit.y() * rect.height());
    };
    QLinearGradient gradient(at(m_startPoint), at(m_endPoint));
    gradient.setColorAt(0.0, m_start);
    gradient.setColorAt(1.0, m_end);
    return gradient;
}

AppTheme::AppTheme(QObject *parent) : QObject(parent)
{
    if (qApp)
        qApp->installEventFilter(this);
}

namespace {

// The controls inside a popup (a sheet's controls, a menu's items) keep the palette they
// resolved when they were made: the popup takes the new one, but does not pass it on (and
// resetting theirs crashes Qt 6.4). So each gets the window's palette, top down. Items made
// by repeaters have no object parent, hence the walk over the item tree.
void passPalette(QQuickItem *item, const QVariant &palette)
{
    if (item->inherits("QQuickControl"))
        item->setProperty("palette", palette);
    for (QQuickItem *child : item->childItems())
        passPalette(child, palette);
}

void refreshPopupPalettes(QQuickItem *item, const QVariant &palette)
{
    for (QObject *child : item->children()) {
        if (!child->inherits("QQuickPopup"))
            continue;
        child->setProperty("palette", palette);
        if (auto *content = child->property("contentItem").value<QQuickItem *>())
            passPalette(content, palette);
    }
    for (QQuickItem *childItem : item->childItems())
        refreshPopupPalettes(childItem, palette);
}

} // namespace

bool AppTheme::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange) {
        // Once the windows have taken the new palette, which they do after this filter.
        QMetaObject::invokeMethod(
            this,
            [] {
                for (QWindow *window : QGuiApplication::topLevelWindows()) {
                    if (auto *quickWindow = qobject_cast<QQuickWindow *>(window))
                        refreshPopupPalettes(quickWindow->contentItem(),
                                             quickWindow->contentItem()->property("palette"));
                }
            },
            Qt::QueuedConnection);
        emit paletteChanged();
    }
    return QObject::eventFilter(watched, event);
}

const ThemeGradient &AppTheme::primaryGradient()
{
    static const ThemeGradient value(srgb(0.35, 0.38, 0.98), srgb(0.65, 0.28, 0.95), {0, 0},
                                     {1, 1});
    return value;
}

const ThemeGradient &AppTheme::accentGradient()
{
    static const ThemeGradient value(srgb(0.05, 0.75, 0.95), srgb(0.35, 0.38, 0.98), {0, 0.5},
                                     {1, 0.5});
    return value;
}

const ThemeGradient &AppTheme::successGradient()
{
    static const ThemeGradient value(srgb(0.15, 0.85, 0.55), srgb(0.05, 0.70, 0.65), {0, 0},
                                     {1, 1});
    return value;
}

const QColor &AppTheme::activeBorder()
{
    static const QColor value = srgb(0.45, 0.45, 0.98);
    return value;
}

const QColor &AppTheme::batchColor()
{
    static const QColor value = srgb(0.35, 0.38, 0.98);
    return value;
}

QString AppTheme::monospaceFamily()
{
    return QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
}

QColor AppTheme::withOpacity(const QColor &c, double opacity)
{
    QColor result = c;
    result.setAlphaF(float(c.alphaF() * opacity));
    return result;
}

QColor AppTheme::cardBackground()
{
    return withOpacity(controlBackground(), 0.7);
}

QColor AppTheme::cardHoverBackground()
{
    return withOpacity(palette().color(QPalette::Highlight), 0.12);
}

QColor AppTheme::borderSubtle()
{
    return withOpacity(separator(), 0.4);
}

QColor AppTheme::primaryText()
{
    return palette().color(QPalette::WindowText);
}

QColor AppTheme::secondary()
{
    return palette().color(QPalette::PlaceholderText);
}

QColor AppTheme::accent()
{
    return palette().color(QPalette::Highlight);
}

QColor AppTheme::controlBackground()
{
    return palette().color(QPalette::Base);
}

QColor AppTheme::separator()
{
    return palette().color(QPalette::Mid);
}

QColor AppTheme::windowBackground()
{
    return palette().color(QPalette::Window);
}

bool AppTheme::isDark()
{
    return windowBackground().lightnessF() < 0.5;
}

// The desktop palette has no such roles; these are the usual system hues per scheme.
QColor AppTheme::blue()
{
    return isDark() ? QColor(10, 132, 255) : QColor(0, 122, 255);
}

QColor AppTheme::red()
{
    return isDark() ? QColor(255, 69, 58) : QColor(255, 59, 48);
}

QColor AppTheme::orange()
{
    return isDark() ? QColor(255, 159, 10) : QColor(255, 149, 0);
}

QColor AppTheme::green()
{
    return isDark() ? QColor(48, 209, 88) : QColor(52, 199, 89);
}

} // namespace tonbrook
