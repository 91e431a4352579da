#pragma once

// Things a user or another program can put where the program expects one of its files, and a
// watchdog for calls that must not block on them.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QtGlobal>

#include <chrono>
#include <fcntl.h>
#include <future>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace tavrenhold::test {

// Puts a thing of the named kind at path: "fifo", "link to fifo", "link to /dev/zero",
// "link to /dev/null", "folder", "link to folder", "dangling link", "sparse 600 MB".
inline bool makeFileKind(const QString &path, const QString &kind)
{
    const QByteArray p = QFile::encodeName(path);
    const QByteArray beside = p + ".target";
    if (kind == QLatin1String("fifo"))
        return ::mkfifo(p.constData(), 0600) == 0;
    if (kind == QLatin1String("link to fifo"))
        return ::mkfifo(beside.constData(), 0600) == 0 && ::symlink(beside.constData(), p.constData()) == 0;
    if (kind == QLatin1String("link to /dev/zero"))
        return ::symlink("/dev/zero", p.constData()) == 0;
    if (kind == QLatin1String("link to /dev/null"))
        return ::symlink("/dev/null", p.constData()) == 0;
    if (kind == QLatin1String("folder"))
        return QDir().mkdir(path);
    if (kind == QLatin1String("link to folder"))
        return QDir().mkdir(QFile::decodeName(beside)) && ::symlink(beside.constData(), p.constData()) == 0;
    if (kind == QLatin1String("dangling link"))
        return ::symlink(beside.constData(), p.constData()) == 0;
    if (kind == QLatin1String("sparse 600 MB")) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.resize(600LL * 1024 * 1024);
    }
    return false;
}

// The file type of path itself (links not followed), or 0 when nothing is there.
inline mode_t fileType(const QString &path)
{
    struct stat status {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return 0;
    return status.st_mode & S_IFMT;
}

// The largest resident size this process has had so far, in bytes.
inline qint64 peakResidentBytes()
{
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return qint64(usage.ru_maxrss) * 1024;
}

// Runs call on a thread of its own and waits up to ceiling for it to return. A call still
// blocked then fails the test: a reader blocked on a FIFO at fifoPath is released first (a writer
// opens and closes it) so the test can report; any other blocked call ends the test run.
template <typename Call>
[[nodiscard]] bool returnsWithin(Call call, std::chrono::seconds ceiling, const QString &fifoPath = {})
{
    std::packaged_task<void()> task(std::move(call));
    std::future<void> done = task.get_future();
    std::thread worker(std::move(task));
    const bool returned = done.wait_for(ceiling) == std::future_status::ready;
    if (!returned) {
        const int fd = fifoPath.isEmpty() ? -1 : ::open(QFile::encodeName(fifoPath).constData(), O_WRONLY | O_NONBLOCK);
        if (fd < 0)
            qFatal("a call that must return at once is still running");
        ::close(fd);
    }
    worker.join();
    return returned;
}

} // namespace tavrenhold::test
