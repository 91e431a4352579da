#include "FileWorkspace.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace tavrenhold::platform {

namespace {

class SystemFileWorkspace final : public FileWorkspace {
public:
    void open(const QString &path) override { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); }

    void reveal(const QString &path) override
    {
        const QString parent = QFileInfo(path).absolutePath();
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected()) {
            QDesktopServices::openUrl(QUrl::fromLocalFile(parent));
            return;
        }
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
            QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
        call << QStringList{QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded)} << QString();
        // Without a file manager on the bus the call fails: then the folder opens instead.
        auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 5000));
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [parent](QDBusPendingCallWatcher *w) {
            if (QDBusPendingReply<>(*w).isError())
                QDesktopServices::openUrl(QUrl::fromLocalFile(parent));
            w->deleteLater();
        });
    }
};

} // namespace

FileWorkspace &FileWorkspace::system()
{
    static SystemFileWorkspace workspace;
    return workspace;
}

} // namespace tavrenhold::platform
