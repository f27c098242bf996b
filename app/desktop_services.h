#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

namespace tonbrook {

// The desktop's file manager and "open with" chooser, reached over the session bus, with
// local fallbacks when no service answers. Never runs a shell.
class DesktopServices : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    explicit DesktopServices(QObject *parent = nullptr);
    // For tests: another bus, such as a private one or a disconnected one.
    explicit DesktopServices(const QDBusConnection &bus, QObject *parent = nullptr);

    // Shows the file selected in the file manager (org.freedesktop.FileManager1.ShowItems);
    // without one, opens the folder that holds it.
    Q_INVOKABLE void revealFile(const QUrl &file);
    // Offers the file to the desktop's application chooser (the portal's OpenURI.OpenFile
    // with ask set); without a portal, copies the file's URL to the clipboard.
    Q_INVOKABLE void shareFile(const QUrl &file);

signals:
    // How each request ended, for tests and diagnostics.
    void revealed(const QUrl &file, bool byFileManager);
    void shared(const QUrl &file, bool byPortal);

private:
    void openContainingFolder(const QUrl &file);
    void copyToClipboard(const QUrl &file);

    QDBusConnection m_bus;
};

} // namespace tonbrook
