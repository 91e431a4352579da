#include "Options.h"

#include <QRegularExpression>

namespace tavrenhold::adapter {

namespace {

using Parsed = Result<Invocation, QString>;

Parsed usage(const QString &why) { return Parsed::failure(why); }

bool isDecimal(const QString &s, bool allowSign)
{
    static const QRegularExpression plain(QStringLiteral("^[0-9]+$"));
    static const QRegularExpression signedNumber(QStringLiteral("^[-+]?[0-9]+$"));
    return (allowSign ? signedNumber : plain).match(s).hasMatch();
}

} // namespace

QStringList commandArguments(const QStringList &argv)
{
    if (argv.size() >= 3 && argv.at(1).endsWith(QLatin1String(".pl")))
        return argv.mid(3);
    return argv.mid(1);
}

Parsed parseInvocation(const QStringList &args)
{
    if (args.isEmpty())
        return usage(QStringLiteral("no command"));

    Invocation inv;
    const QString &name = args.first();
    static const QStringList commands{QStringLiteral("test"), QStringLiteral("stream"), QStringLiteral("get"),
                                      QStringLiteral("send"), QStringLiteral("seek")};
    if (args.size() == 2 && args.at(1) == QLatin1String("test") && !commands.contains(name)) {
        if (name.isEmpty())
            return usage(QStringLiteral("empty test client path"));
        inv.command = Command::Test;
        inv.testClient = name;
        return inv;
    }

    const QStringList rest = args.mid(1);
    if (name == QLatin1String("test")) {
        if (!rest.isEmpty())
            return usage(QStringLiteral("test takes no arguments"));
        inv.command = Command::Test;
        return inv;
    }
    if (name == QLatin1String("stream") || name == QLatin1String("get")) {
        const bool stream = name == QLatin1String("stream");
        inv.command = stream ? Command::Stream : Command::Get;
        for (const QString &opt : rest) {
            if (opt == QLatin1String("--no-artwork")) {
                inv.artwork = false;
            } else if (opt == QLatin1String("--allow-missing-title")) {
                inv.allowMissingTitle = true;
            } else if (stream && opt == QLatin1String("--no-diff")) {
                inv.diff = false;
            } else if (stream && opt.startsWith(QLatin1String("--debounce="))) {
                const QString value = opt.mid(int(qstrlen("--debounce=")));
                bool ok = false;
                const int ms = value.toInt(&ok);
                if (!isDecimal(value, false) || !ok || ms > kMaxDebounceMs)
                    return usage(QStringLiteral("--debounce takes 0 to %1 milliseconds").arg(kMaxDebounceMs));
                inv.debounceMs = ms;
            } else {
                return usage(QStringLiteral("unknown option for %1: %2").arg(name, opt));
            }
        }
        return inv;
    }
    if (name == QLatin1String("send")) {
        static const QStringList codes{QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("2"),
                                       QStringLiteral("4"), QStringLiteral("5")};
        if (rest.size() != 1 || !codes.contains(rest.first()))
            return usage(QStringLiteral("send takes one of 0 play, 1 pause, 2 toggle, 4 next, 5 previous"));
        inv.command = Command::Send;
        inv.sendCode = rest.first().toInt();
        return inv;
    }
    if (name == QLatin1String("seek")) {
        bool ok = false;
        const qint64 us = rest.size() == 1 ? rest.first().toLongLong(&ok) : 0;
        if (rest.size() != 1 || !isDecimal(rest.first(), true) || !ok)
            return usage(QStringLiteral("seek takes a whole number of microseconds"));
        inv.command = Command::Seek;
        inv.seekUs = std::max<qint64>(0, us);
        return inv;
    }
    return usage(QStringLiteral("unknown command: %1").arg(name));
}

} // namespace tavrenhold::adapter
