#include "shell_notices.h"

#include <QDir>
#include <QJSEngine>

namespace tonbrook {

ShellNotices *ShellNotices::instance()
{
    static ShellNotices notices;
    return &notices;
}

ShellNotices *ShellNotices::create(QQmlEngine *, QJSEngine *)
{
    ShellNotices *notices = instance();
    // The engine must not delete the process-wide object when it goes.
    QJSEngine::setObjectOwnership(notices, QJSEngine::CppOwnership);
    return notices;
}

void ShellNotices::postOpenVideoFiles()
{
    emit openVideoFiles();
}

void ShellNotices::postOpenFiles(const QList<QUrl> &files)
{
    emit openFilesFromFileManager(files);
}

void ShellNotices::postOpenFilesFromArguments(const QStringList &arguments)
{
    const QList<QUrl> files = fileUrlsFromArguments(arguments);
    if (!files.isEmpty())
        postOpenFiles(files);
}

QList<QUrl> ShellNotices::fileUrlsFromArguments(const QStringList &arguments)
{
    QList<QUrl> files;
    for (const QString &argument : arguments) {
        if (argument.startsWith(QLatin1String("file:")))
            files << QUrl(argument);
        else
            files << QUrl::fromLocalFile(QDir::current().absoluteFilePath(argument));
    }
    return files;
}

} // namespace tonbrook
