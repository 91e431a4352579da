#pragma once

// Helpers the fuzz targets share. Every target defines LLVMFuzzerTestOneInput over one decoder the
// program uses; the same source runs under libFuzzer and in the replay test.

#include "design/Clock.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace tavrenhold::fuzz {

// The fuzzer's bytes as a QByteArray (copied: decoders may keep what they are given).
inline QByteArray bytes(const std::uint8_t *data, std::size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

// A property the product relies on did not hold: report it and stop, so the input is kept as a
// crasher.
[[noreturn]] inline void fail(const char *what)
{
    std::fprintf(stderr, "fuzz: %s\n", what);
    std::abort();
}

inline void check(bool condition, const char *what)
{
    if (!condition)
        fail(what);
}

// A fixed moment: decoders that read "now" see the same time in every run, so a crasher replays.
inline QDateTime fixedNow() { return QDateTime(QDate(2025, 6, 1), QTime(12, 0), Qt::UTC); }

// A clock standing still at fixedNow(); its sleeps end at once, as cancelled.
class FixedClock final : public Clock {
public:
    MonoTime now() const override { return MonoTime(std::chrono::hours(1000)); }
    QDateTime wallNow() const override { return fixedNow(); }
    QCoro::Task<bool> sleepFor(Millis, CancelToken = {}) override { co_return false; }
    QCoro::Task<bool> sleepUntil(QDateTime, CancelToken = {}) override { co_return false; }
};

namespace detail {
// Kept on the heap: the exit handler that removes the folder may run after static destructors.
inline const QString &scratchRootPath()
{
    static const QString *root = [] {
        const QByteArray base = qgetenv("TAVRENHOLD_FUZZ_SCRATCH");
        QString dir = base.isEmpty() ? QDir::tempPath() : QString::fromLocal8Bit(base);
        return new QString(dir + QStringLiteral("/tavrenhold-fuzz-%1").arg(QCoreApplication::applicationPid()));
    }();
    return *root;
}
inline void removeScratch() { QDir(scratchRootPath()).removeRecursively(); }
} // namespace detail

// The targets that read files work in a private scratch folder, removed at exit.
inline QString scratchRoot()
{
    static const bool registered = std::atexit(detail::removeScratch) == 0;
    (void)registered;
    return detail::scratchRootPath();
}

// A sub-folder of it, emptied for every input.
inline QString scratchFolder(const char *name)
{
    const QString folder = scratchRoot() + QLatin1Char('/') + QLatin1String(name);
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    return folder;
}

// Writes the bytes to a file; a failure stops the run (the target would test nothing).
inline void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
        fail("cannot write the scratch file");
}

} // namespace tavrenhold::fuzz
