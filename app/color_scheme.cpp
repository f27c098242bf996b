#include "color_scheme.h"

#include "app_theme.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTimer>

namespace tonbrook {

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString settingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString appearanceGroup = QStringLiteral("org.freedesktop.appearance");
const QString colorSchemeKey = QStringLiteral("color-scheme");

// The portal may wrap the value in one variant more than it declares (Read's reply is v of v).
QVariant unwrap(QVariant value)
{
    while (value.metaType() == QMetaType::fromType<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    return value;
}

ColorScheme::Preference preferenceFrom(const QVariant &value)
{
    bool ok = false;
    const uint number = unwrap(value).toUInt(&ok);
    if (!ok || number > 2)
        return ColorScheme::Preference::none;
    return ColorScheme::Preference(number);
}

struct Roles {
    QColor window, windowText, base, alternateBase, text, button, buttonText, light, midlight,
        mid, dark, shadow, highlight, highlightedText, placeholderText, toolTipBase, toolTipText,
        link, linkVisited, brightText;
};

QPalette paletteFrom(const Roles &active, const Roles &disabled)
{
    QPalette palette;
    const auto fill = [&palette](QPalette::ColorGroup group, const Roles &r) {
        palette.setColor(group, QPalette::Window, r.window);
        palette.setColor(group, QPalette::WindowText, r.windowText);
        palette.setColor(group, QPalette::Base, r.base);
        palette.setColor(group, QPalette::AlternateBase, r.alternateBase);
        palette.setColor(group, QPalette::Text, r.text);
        palette.setColor(group, QPalette::Button, r.button);
        palette.setColor(group, QPalette::ButtonText, r.buttonText);
        palette.setColor(group, QPalette::Light, r.light);
        palette.setColor(group, QPalette::Midlight, r.midlight);
        palette.setColor(group, QPalette::Mid, r.mid);
        palette.setColor(group, QPalette::Dark, r.dark);
        palette.setColor(group, QPalette::Shadow, r.shadow);
        palette.setColor(group, QPalette::Highlight, r.highlight);
        palette.setColor(group, QPalette::HighlightedText, r.highlightedText);
        palette.setColor(group, QPalette::PlaceholderText, r.placeholderText);
        palette.setColor(group, QPalette::ToolTipBase, r.toolTipBase);
        palette.setColor(group, QPalette::ToolTipText, r.toolTipText);
        palette.setColor(group, QPalette::Link, r.link);
        palette.setColor(group, QPalette::LinkVisited, r.linkVisited);
        palette.setColor(group, QPalette::BrightText, r.brightText);
    };
    fill(QPalette::Active, active);
    fill(QPalette::Inactive, active);
    fill(QPalette::Disabled, disabled);
    return palette;
}

} // namespace

QPalette lightPalette()
{
    Roles active{
        .window = QColor(0xf3, 0xf3, 0xf6),
        .windowText = QColor(0x1d, 0x1d, 0x22),
        .base = QColor(0xff, 0xff, 0xff),
        .alternateBase = QColor(0xf7, 0xf7, 0xfa),
        .text = QColor(0x1d, 0x1d, 0x22),
        .button = QColor(0xfc, 0xfc, 0xfe),
        .buttonText = QColor(0x1d, 0x1d, 0x22),
        .light = QColor(0xff, 0xff, 0xff),
        .midlight = QColor(0xe6, 0xe6, 0xec),
        .mid = QColor(0xc6, 0xc6, 0xcf),
        .dark = QColor(0x8e, 0x8e, 0x99),
        .shadow = QColor(0x00, 0x00, 0x00),
        .highlight = AppTheme::batchColor(),
        .highlightedText = QColor(0xff, 0xff, 0xff),
        .placeholderText = QColor(0x6a, 0x6a, 0x75),
        .toolTipBase = QColor(0x2c, 0x2c, 0x32),
        .toolTipText = QColor(0xf4, 0xf4, 0xf7),
        .link = QColor(0x4a, 0x50, 0xe0),
        .linkVisited = QColor(0x8a, 0x3f, 0xd0),
        .brightText = QColor(0xff, 0xff, 0xff),
    };
    Roles disabled = active;
    disabled.windowText = disabled.text = disabled.buttonText = QColor(0xa2, 0xa2, 0xab);
    disabled.base = QColor(0xf8, 0xf8, 0xfa);
    disabled.button = QColor(0xf3, 0xf3, 0xf6);
    disabled.highlight = QColor(0xb0, 0xb3, 0xe6);
    disabled.placeholderText = QColor(0xb8, 0xb8, 0xc0);
    return paletteFrom(active, disabled);
}

QPalette darkPalette()
{
    Roles active{
        .window = QColor(0x1e, 0x1e, 0x23),
        .windowText = QColor(0xec, 0xec, 0xf1),
        .base = QColor(0x29, 0x29, 0x30),
        .alternateBase = QColor(0x24, 0x24, 0x2a),
        .text = QColor(0xec, 0xec, 0xf1),
        .button = QColor(0x33, 0x33, 0x3b),
        .buttonText = QColor(0xec, 0xec, 0xf1),
        .light = QColor(0x4a, 0x4a, 0x53),
        .midlight = QColor(0x3a, 0x3a, 0x42),
        .mid = QColor(0x4c, 0x4c, 0x56),
        .dark = QColor(0x8a, 0x8a, 0x96),
        .shadow = QColor(0x00, 0x00, 0x00),
        // The batch colour, lifted a little so that it stands out on the dark window.
        .highlight = QColor(0x68, 0x70, 0xff),
        .highlightedText = QColor(0xff, 0xff, 0xff),
        .placeholderText = QColor(0x9d, 0x9d, 0xa8),
        .toolTipBase = QColor(0x3a, 0x3a, 0x42),
        .toolTipText = QColor(0xf2, 0xf2, 0xf5),
        .link = QColor(0x8c, 0x93, 0xff),
        .linkVisited = QColor(0xb9, 0x8c, 0xff),
        .brightText = QColor(0xff, 0xff, 0xff),
    };
    Roles disabled = active;
    disabled.windowText = disabled.text = disabled.buttonText = QColor(0x6e, 0x6e, 0x78);
    disabled.base = QColor(0x25, 0x25, 0x2b);
    disabled.button = QColor(0x2a, 0x2a, 0x31);
    disabled.highlight = QColor(0x45, 0x48, 0x80);
    disabled.placeholderText = QColor(0x5c, 0x5c, 0x66);
    return paletteFrom(active, disabled);
}

// The platform theme's palette may itself follow the desktop, so it is asked each time: an
// empty application palette falls back to it.
static bool platformPaletteIsDark()
{
    QGuiApplication::setPalette(QPalette());
    return QGuiApplication::palette().color(QPalette::Window).lightnessF() < 0.5;
}

// Only a bus the environment names or the per-user bus socket: libdbus would otherwise try to
// start one through X11, which may take long.
static bool sessionBusConfigured()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"));
}

ColorScheme::ColorScheme(QObject *parent) : QObject(parent)
{
    apply(Preference::none);
    // A platform theme that notices the desktop's change itself puts its own palette back.
    qApp->installEventFilter(this);

    if (!sessionBusConfigured())
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    bus.connect(portalService, portalPath, settingsInterface, QStringLiteral("SettingChanged"),
                this, SLOT(onSettingChanged(QString,QString,QDBusVariant)));
    QDBusMessage read = QDBusMessage::createMethodCall(portalService, portalPath,
                                                       settingsInterface, QStringLiteral("Read"));
    read << appearanceGroup << colorSchemeKey;
    // A portal that is activatable but slow to start only delays the switch, not the window.
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(read, 5000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher *call) {
                call->deleteLater();
                const QDBusPendingReply<QDBusVariant> reply = *call;
                if (reply.isError() || m_changeSeen)
                    return;
                apply(preferenceFrom(reply.argumentAt(0)));
            });
}

bool ColorScheme::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == qApp && event->type() == QEvent::ThemeChange)
        QTimer::singleShot(0, this, [this] { apply(m_preference); });
    return QObject::eventFilter(watched, event);
}

void ColorScheme::onSettingChanged(const QString &group, const QString &key,
                                   const QDBusVariant &value)
{
    if (group != appearanceGroup || key != colorSchemeKey)
        return;
    m_changeSeen = true;
    apply(preferenceFrom(value.variant()));
}

void ColorScheme::apply(Preference preference)
{
    m_preference = preference;
    const bool dark = preference == Preference::none ? platformPaletteIsDark()
                                                     : preference == Preference::dark;
    const bool changed = dark != m_dark;
    m_dark = dark;
    QGuiApplication::setPalette(dark ? darkPalette() : lightPalette());
    if (changed)
        emit darkChanged();
}

} // namespace tonbrook
