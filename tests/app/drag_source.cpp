// A small window that starts a drag when pressed, as another application would: a web link
// (text and an https URL) or a local file (its file URL). For tests that drag onto the app
// under a real X server.
// Usage: tonbrook_drag_source link|file <url> <x> <y>
#include <QDrag>
#include <QGuiApplication>
#include <QMimeData>
#include <QPainter>
#include <QRasterWindow>
#include <QRect>
#include <QUrl>

#include <cstdio>

namespace {

class DragSource : public QRasterWindow {
public:
    DragSource(bool isFile, QUrl url) : m_isFile(isFile), m_url(std::move(url)) {}

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter(this).fillRect(QRect(QPoint(), size()), Qt::darkCyan);
    }

    void mousePressEvent(QMouseEvent *) override
    {
        auto *mime = new QMimeData;
        mime->setUrls({m_url});
        if (!m_isFile)
            mime->setText(m_url.toString());
        auto *drag = new QDrag(this);
        drag->setMimeData(mime);
        const Qt::DropAction action = drag->exec(Qt::CopyAction | Qt::LinkAction);
        std::printf("drag ended: %s\n", action == Qt::IgnoreAction ? "refused" : "accepted");
        std::fflush(stdout);
    }

private:
    bool m_isFile;
    QUrl m_url;
};

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc != 5) {
        std::fprintf(stderr, "usage: tonbrook_drag_source link|file <url> <x> <y>\n");
        return 2;
    }
    DragSource window(qstrcmp(argv[1], "file") == 0, QUrl(QString::fromLocal8Bit(argv[2])));
    window.setTitle(QStringLiteral("Drag Source"));
    window.setGeometry(QString::fromLatin1(argv[3]).toInt(), QString::fromLatin1(argv[4]).toInt(),
                       120, 80);
    window.show();
    return QGuiApplication::exec();
}
