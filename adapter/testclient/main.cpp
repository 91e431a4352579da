// MediaRemoteAdapterTestClient: exits 0 when the session bus answers and the helper works end to end
// (its self-test passes and "get" either reports a player or says there is none).
//
//   MediaRemoteAdapterTestClient [test] [--helper=<path of the helper>]
//
// Without --helper it tests MediaRemoteAdapter.framework/MediaRemoteAdapter next to itself.

#include "Lifeline.h"
#include "Options.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>

#include <csignal>

using namespace tavrenhold::adapter;

namespace {

constexpr int kBusTimeoutMs = 2000;
constexpr int kHelperTimeoutMs = 4000;

bool busAnswers()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    const QDBusMessage ping = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId"));
    return bus.call(ping, QDBus::Block, kBusTimeoutMs).type() == QDBusMessage::ReplyMessage;
}

struct Run {
    int status = -1;
    QByteArray out;
};

Run runHelper(const QString &helper, const QStringList &args)
{
    QProcess process;
    process.setStandardErrorFile(QProcess::nullDevice());
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(helper, args);
    if (!process.waitForStarted(kHelperTimeoutMs))
        return {};
    if (!process.waitForFinished(kHelperTimeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        return {};
    }
    if (process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), process.readAllStandardOutput()};
}

} // namespace

int main(int argc, char *argv[])
{
    if (!tieToParent())
        return 128 + SIGTERM;
    QCoreApplication app(argc, argv);
    Lifeline lifeline;

    QString helper = QDir(QCoreApplication::applicationDirPath())
                         .filePath(QStringLiteral("MediaRemoteAdapter.framework/MediaRemoteAdapter"));
    for (const QString &arg : QCoreApplication::arguments().mid(1)) {
        if (arg.startsWith(QLatin1String("--helper=")))
            helper = arg.mid(int(qstrlen("--helper=")));
        else if (arg != QLatin1String("test"))
            return ExitUsage;
    }

    if (!busAnswers())
        return ExitFailure;
    const QFileInfo info(helper);
    if (!info.isFile() || !info.isExecutable())
        return ExitFailure;

    if (runHelper(helper, {QStringLiteral("test")}).status != ExitOk)
        return ExitFailure;

    const Run get = runHelper(helper, {QStringLiteral("get"), QStringLiteral("--no-artwork"),
                                       QStringLiteral("--allow-missing-title")});
    if (get.status == ExitNoPlayer)
        return ExitOk;
    if (get.status != ExitOk || !QJsonDocument::fromJson(get.out).isObject())
        return ExitFailure;
    return ExitOk;
}
