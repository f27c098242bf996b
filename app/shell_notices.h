#pragma once

#include <QList>
#include <QObject>
#include <QStringList>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

class QJSEngine;
class QQmlEngine;

namespace tonbrook {

// The process-wide notices of the application shell: the "Open Videos..." command
// (TonbrookOpenVideoFiles) and files the desktop hands over (TonbrookOpenFilesFromFinder).
// Anyone may post; the main window listens.
class ShellNotices : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    static ShellNotices *instance();
    // Every engine shares the one process-wide instance.
    static ShellNotices *create(QQmlEngine *, QJSEngine *);

    Q_INVOKABLE void postOpenVideoFiles();
    Q_INVOKABLE void postOpenFiles(const QList<QUrl> &files);
    // Command-line arguments as the desktop passes them (paths, or file URLs) become file
    // URLs in the same order, posted as one notice; no arguments post nothing.
    Q_INVOKABLE void postOpenFilesFromArguments(const QStringList &arguments);

    // Paths relative to the working folder are made absolute; nothing is checked.
    static QList<QUrl> fileUrlsFromArguments(const QStringList &arguments);

signals:
    void openVideoFiles();
    void openFilesFromFileManager(const QList<QUrl> &files);

private:
    ShellNotices() = default;
};

} // namespace tonbrook
