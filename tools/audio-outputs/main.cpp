// audio-outputs: what the output picker lists and does, without a display.
//   list [--wait MS]   the picker's rows after MS of discovery (default 1500):
//                      id<TAB>name<TAB>symbol<TAB>selected(1|0)
//   select ID          chooses a row; returns once the sound server has answered
//   volume [X]         prints the default output's volume, or sets it (0 … 1)
//   mute [on|off]      prints whether it is muted, or sets it
//   watch              prints the rows, then an empty line, again at each change
// A bad command, id or volume: a message and exit status 2.

#include "music/AirPlayDiscovery.h"
#include "music/AudioOutput.h"
#include "platform/AudioSystem.h"
#include "platform/RuntimeFolder.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>

using namespace tavrenhold;

namespace {

// How long the sound server has to describe itself before a command acts on what it knows.
constexpr int settleMs = 1500;

int usage(const char *message)
{
    std::fprintf(stderr, "audio-outputs: %s\n"
                         "usage: audio-outputs list [--wait MS] | select ID | volume [X] | mute [on|off] | watch\n",
                 message);
    return 2;
}

void out(const QString &text)
{
    std::fputs(text.toUtf8().constData(), stdout);
    std::fflush(stdout);
}

QString rows(platform::AudioSystem &audio, const AirPlayDiscovery &discovery)
{
    AudioOutput output(audio);
    const auto selected = output.defaultEndpointID();
    QString text;
    for (const AudioOutputEndpoint &e : output.endpoints(discovery.names())) {
        text += QStringLiteral("%1\t%2\t%3\t%4\n")
                    .arg(e.id, e.name, e.symbol, selected && *selected == e.id ? QStringLiteral("1") : QStringLiteral("0"));
    }
    return text;
}

// Runs `then` once the server has told its sinks, or after the settle time when it says nothing.
void whenSettled(platform::AudioSystem &audio, std::function<void()> then)
{
    auto ran = std::make_shared<bool>(false);
    auto once = [ran, then] {
        if (*ran)
            return;
        *ran = true;
        then();
    };
    if (!audio.sinks().empty()) {
        QTimer::singleShot(0, once);
        return;
    }
    // After the whole description has been taken in, not in the middle of it.
    QObject::connect(&audio, &platform::AudioSystem::sinksChanged, &audio, [once] { QTimer::singleShot(0, once); });
    QTimer::singleShot(settleMs, once);
}

} // namespace

int main(int argc, char *argv[])
{
    tavrenhold::platform::settleRuntimeFolder();
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return usage("no command");
    const QString command = args.takeFirst();

    const std::unique_ptr<platform::AudioSystem> audio = platform::AudioSystem::makePulse();
    const std::unique_ptr<AirPlayDiscovery> discovery = AirPlayDiscovery::makeAvahi(audio.get());
    AudioOutput output(*audio);

    if (command == QLatin1String("list")) {
        int waitMs = 1500;
        if (!args.isEmpty()) {
            bool ok = false;
            if (args.size() != 2 || args[0] != QLatin1String("--wait") || (waitMs = args[1].toInt(&ok), !ok) || waitMs < 0)
                return usage("list takes only --wait MS");
        }
        discovery->start();
        QTimer::singleShot(waitMs, &app, [&] {
            discovery->start(); // the built-in outputs known by now count as this machine's names
            out(rows(*audio, *discovery));
            app.quit();
        });
        return app.exec();
    }

    if (command == QLatin1String("watch")) {
        if (!args.isEmpty())
            return usage("watch takes no arguments");
        discovery->start();
        QString last;
        bool queued = false;
        auto print = [&] {
            queued = false;
            discovery->start();
            const QString now = rows(*audio, *discovery);
            if (now == last)
                return;
            last = now;
            out(now + QLatin1Char('\n'));
        };
        auto soon = [&] {
            if (queued)
                return;
            queued = true;
            QTimer::singleShot(0, &app, print);
        };
        QObject::connect(audio.get(), &platform::AudioSystem::sinksChanged, &app, soon);
        QObject::connect(audio.get(), &platform::AudioSystem::changed, &app, soon);
        QObject::connect(discovery.get(), &AirPlayDiscovery::namesChanged, &app, soon);
        out(rows(*audio, *discovery) + QLatin1Char('\n'));
        last = rows(*audio, *discovery);
        return app.exec();
    }

    if (command == QLatin1String("select")) {
        if (args.size() != 1)
            return usage("select takes one id");
        const QString id = args[0];
        int status = 0;
        discovery->start();
        whenSettled(*audio, [&] {
            for (const AudioOutputEndpoint &e : output.endpoints(discovery->names())) {
                if (e.id == id) {
                    if (!output.select(e, [&app] { app.quit(); })) {
                        // A receiver without an AirPlay sink: nothing to switch to.
                        std::fprintf(stderr, "audio-outputs: no sound-server sink plays to %s\n", qPrintable(e.name));
                        status = 1;
                        app.quit();
                    }
                    return;
                }
            }
            status = usage("no such output");
            app.quit();
        });
        app.exec();
        return status;
    }

    if (command == QLatin1String("volume")) {
        if (args.size() > 1)
            return usage("volume takes at most one value");
        std::optional<double> value;
        if (!args.isEmpty()) {
            bool ok = false;
            const double v = args[0].toDouble(&ok);
            if (!ok || !std::isfinite(v))
                return usage("the volume must be a finite number");
            value = v;
        }
        whenSettled(*audio, [&] {
            if (!value) {
                out(QStringLiteral("%1\n").arg(audio->volume()));
                app.quit();
                return;
            }
            const double target = std::clamp(*value, 0.0, 1.0);
            QObject::connect(audio.get(), &platform::AudioSystem::changed, &app, [&, target] {
                if (std::abs(audio->volume() - target) > 0.001)
                    return;
                out(QStringLiteral("%1\n").arg(audio->volume()));
                app.quit();
            });
            QTimer::singleShot(settleMs, &app, [&] {
                out(QStringLiteral("%1\n").arg(audio->volume()));
                app.quit();
            });
            audio->setVolume(*value);
        });
        return app.exec();
    }

    if (command == QLatin1String("mute")) {
        if (args.size() > 1 || (args.size() == 1 && args[0] != QLatin1String("on") && args[0] != QLatin1String("off")))
            return usage("mute takes on or off");
        whenSettled(*audio, [&] {
            auto say = [&] {
                out(audio->isMuted() ? QStringLiteral("on\n") : QStringLiteral("off\n"));
                app.quit();
            };
            if (args.isEmpty() || (args[0] == QLatin1String("on")) == audio->isMuted()) {
                say();
                return;
            }
            const bool wanted = args[0] == QLatin1String("on");
            QObject::connect(audio.get(), &platform::AudioSystem::changed, &app, [&, say, wanted] {
                if (audio->isMuted() == wanted)
                    say();
            });
            QTimer::singleShot(settleMs, &app, say);
            audio->setMuted(args[0] == QLatin1String("on"));
        });
        return app.exec();
    }

    return usage("unknown command");
}
