#pragma once

#include "base/Result.h"

#include <QString>
#include <QStringList>

namespace tavrenhold::adapter {

// Exit statuses of the helper (and of the script, which becomes the helper):
//   0 done; 1 the session bus or the player failed; 2 the command line is wrong;
//   3 no player to report on or to command; 128+N ended by signal N (141 when standard output closed).
enum ExitStatus : int {
    ExitOk = 0,
    ExitFailure = 1,
    ExitUsage = 2,
    ExitNoPlayer = 3,
};

enum class Command { Test, Stream, Get, Send, Seek };

// One command line, parsed:
//   [<test client>] test                    exit 0 when the adapter can serve (and the client agrees)
//   stream [--no-diff] [--debounce=<ms>] [--no-artwork] [--allow-missing-title]
//   get [--no-artwork] [--allow-missing-title]
//   send <0 play | 1 pause | 2 toggle | 4 next | 5 previous>
//   seek <microseconds>                     negative targets seek to 0
struct Invocation {
    Command command = Command::Test;
    QString testClient;
    bool diff = true;
    int debounceMs = 0;
    bool artwork = true;
    bool allowMissingTitle = false;
    int sendCode = -1;
    qint64 seekUs = 0;

    bool operator==(const Invocation &) const = default;
};

// The command's own arguments. The script starts the helper with its own argument list
// ("/usr/bin/perl <script>.pl <framework> <command>…", so the process list keeps that shape);
// started directly, the helper's arguments follow its path.
[[nodiscard]] QStringList commandArguments(const QStringList &argv);

[[nodiscard]] Result<Invocation, QString> parseInvocation(const QStringList &args);

inline constexpr int kMaxDebounceMs = 60'000;

} // namespace tavrenhold::adapter
