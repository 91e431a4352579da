// Another program's window for the shelf's end-to-end tests.
//   DragPeer source X Y W H FILE   a window that starts a drag of FILE (copy or move) when pressed
//                                  and prints "result <action>" when the drag ends
//   DragPeer target X Y W H        a window that takes dropped files as copies and prints
//                                  "dropped <path>" for each
// It prints "ready" once its window is shown.
#include <QDrag>
#include <QDragEnterEvent>
#include <QGuiApplication>
#include <QMimeData>
#include <QPainter>
#include <QRasterWindow>
#include <QTextStream>

#include <cstdio>

namespace {

void say(const QString &line)
{
    std::printf("%s\n", line.toLocal8Bit().constData());
    std::fflush(stdout);
}

class PeerWindow final : public QRasterWindow {
public:
    PeerWindow(bool source, QString file) : m_source(source), m_file(std::move(file)) {}

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter(this).fillRect(QRect(QPoint(), size()), m_source ? QColor(200, 90, 60) : QColor(60, 160, 90));
    }

    void mousePressEvent(QMouseEvent *) override
    {
        if (!m_source)
            return;
        // On the heap: X11 reads the data after exec() returns.
        auto *drag = new QDrag(this);
        auto *data = new QMimeData;
        data->setUrls({QUrl::fromLocalFile(m_file)});
        drag->setMimeData(data);
        const Qt::DropAction action = drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::MoveAction);
        say(QStringLiteral("result %1").arg(int(action)));
    }

    bool event(QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto *drag = static_cast<QDragMoveEvent *>(event);
            if (m_source || !drag->mimeData()->hasUrls())
                return QRasterWindow::event(event);
            drag->setDropAction(Qt::CopyAction);
            drag->accept();
            return true;
        }
        case QEvent::Drop: {
            auto *drop = static_cast<QDropEvent *>(event);
            if (m_source)
                return QRasterWindow::event(event);
            for (const QUrl &url : drop->mimeData()->urls())
                say(QStringLiteral("dropped ") + url.toLocalFile());
            drop->setDropAction(Qt::CopyAction);
            drop->accept();
            return true;
        }
        case QEvent::Expose:
            if (isExposed() && !m_ready) {
                m_ready = true;
                say(QStringLiteral("ready"));
            }
            break;
        default:
            break;
        }
        return QRasterWindow::event(event);
    }

private:
    bool m_source;
    QString m_file;
    bool m_ready = false;
};

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 6)
        return 2;
    const bool source = args.at(1) == QLatin1String("source");
    PeerWindow window(source, source && args.size() > 6 ? args.at(6) : QString());
    window.setFlags(Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
    window.setGeometry(args.at(2).toInt(), args.at(3).toInt(), args.at(4).toInt(), args.at(5).toInt());
    window.show();
    return app.exec();
}
