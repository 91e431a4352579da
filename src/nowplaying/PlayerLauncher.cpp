#include "PlayerLauncher.h"

#include "AppleEventRunner.h"
#include "PlayerCatalog.h"

// Every co_await below awaits a named local: g++ 12 can destroy temporaries of a co_await expression
// twice.

namespace tavrenhold {

namespace {

QString framed(PlayerKind kind, int timeoutSeconds, const QString &body)
{
    return QStringLiteral("with timeout of %1 seconds\ntell application id \"%2\"\n%3\nend tell\nend timeout")
        .arg(timeoutSeconds)
        .arg(bundleIdentifier(kind), body);
}

QString playingWord() { return QStringLiteral("playing"); }

} // namespace

QString MusicLauncher::stateScript(PlayerKind kind)
{
    return framed(kind, 3, QStringLiteral("return player state as text"));
}

QString MusicLauncher::playScript(PlayerKind kind) { return framed(kind, 5, QStringLiteral("play")); }

QCoro::Task<> MusicLauncher::launchAndPlay(PlayerKind kind)
{
    auto run = launchAndPlay(kind, Clock::system(), AppleEventRunner::shared(), PlayerWorkspace::shared());
    co_await run;
}

QCoro::Task<> MusicLauncher::launchAndPlay(PlayerKind kind, Clock &clock, AppleEventRunner &runner,
                                           PlayerWorkspace &workspace)
{
    const QString bundleID = bundleIdentifier(kind);
    if (!workspace.isRunning(bundleID)) {
        const auto url = workspace.urlForApplication(bundleID);
        if (!url)
            co_return;
        // Opened in the background; whether that worked shows in the checks.
        auto open = workspace.openApplication(bundleID, *url, false);
        co_await open;
    }

    const QString state = stateScript(kind);
    const QString play = playScript(kind);
    auto firstSleep = clock.sleepFor(firstCheckDelay);
    co_await firstSleep;
    for (int check = 0;; ++check) {
        if (workspace.isRunning(bundleID)) {
            auto ask = runner.runText(state, true);
            const auto answer = co_await ask;
            if (answer.ok() && !answer.value().isEmpty()) {
                if (answer.value() == playingWord())
                    co_return;
                auto start = runner.runVoid(play, true);
                const auto ignored = co_await start;
                Q_UNUSED(ignored);
            }
        }
        if (check == maximumChecks - 1)
            co_return;
        auto sleep = clock.sleepFor(checkInterval);
        co_await sleep;
    }
}

} // namespace tavrenhold
