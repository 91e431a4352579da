// bench-bare: the smallest Qt Quick window to measure the program against. One dark rounded
// rectangle the size of the open notch panel with one line of text, hung from the top centre of the
// screen like the notch, frameless and override-redirect; nothing animates.

#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QScreen>

#include <memory>

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData("import QtQuick\n"
                      "Rectangle { color: \"#141414\"; radius: 18\n"
                      "  Text { anchors.centerIn: parent; text: \"bare\"; color: \"white\"; font.pixelSize: 13 } }",
                      QUrl());
    std::unique_ptr<QQuickItem> root(qobject_cast<QQuickItem *>(component.create()));
    if (!root)
        return 2;
    QQuickWindow window;
    window.setFlags(Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
    window.setColor(Qt::black);
    root->setParentItem(window.contentItem());
    root->setSize(QSizeF(520, 260));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    window.setGeometry(screen.center().x() + 1 - 260, 0, 520, 260);
    window.show();
    const int code = app.exec();
    root->setParentItem(nullptr);
    return code;
}
