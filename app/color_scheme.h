#pragma once

#include <QObject>
#include <QPalette>

class QDBusVariant;

namespace tonbrook {

// The app's two complete palettes. Highlight is the batch colour, the style's accent.
QPalette lightPalette();
QPalette darkPalette();

// Applies the light or the dark palette as the application palette, following the desktop's
// preference as the XDG settings portal reports it (org.freedesktop.appearance color-scheme),
// live. Without a portal, a session bus or a preference, the platform's own palette decides:
// dark when its window colour is dark. Start-up never waits for the portal: the fallback
// applies at once and the portal's answer, when it comes, replaces it.
class ColorScheme : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool dark READ isDark NOTIFY darkChanged)

public:
    // The values of the portal's color-scheme setting.
    enum class Preference : uint { none = 0, dark = 1, light = 2 };

    explicit ColorScheme(QObject *parent = nullptr);

    bool isDark() const { return m_dark; }

signals:
    void darkChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void onSettingChanged(const QString &group, const QString &key, const QDBusVariant &value);

private:
    void apply(Preference preference);

    Preference m_preference = Preference::none;
    bool m_dark = false;
    // A change signal is newer than any pending Read reply, which is then ignored.
    bool m_changeSeen = false;
};

} // namespace tonbrook
