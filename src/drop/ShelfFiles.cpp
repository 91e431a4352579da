#include "ShelfFiles.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tavrenhold::shelf {

namespace {

QByteArray native(const QString &path) { return QFile::encodeName(path); }

bool copyFile(const QByteArray &from, const QByteArray &to, mode_t mode)
{
    const int in = ::open(from.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (in < 0)
        return false;
    struct stat st {};
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(in);
        return false;
    }
    const int out = ::open(to.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode & 07777);
    if (out < 0) {
        ::close(in);
        return false;
    }
    bool ok = true;
    std::vector<char> buffer(1 << 16);
    for (;;) {
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ok = false;
            break;
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(out, buffer.data() + done, size_t(n - done));
            if (w < 0) {
                if (errno == EINTR)
                    continue;
                ok = false;
                break;
            }
            done += w;
        }
        if (!ok)
            break;
    }
    ok = (::close(out) == 0) && ok;
    ::close(in);
    if (!ok)
        ::unlink(to.constData());
    return ok;
}

bool copyLink(const QByteArray &from, const QByteArray &to)
{
    std::vector<char> target(4096);
    for (;;) {
        const ssize_t n = ::readlink(from.constData(), target.data(), target.size());
        if (n < 0)
            return false;
        if (size_t(n) < target.size()) {
            target[size_t(n)] = '\0';
            break;
        }
        target.resize(target.size() * 2);
    }
    return ::symlink(target.data(), to.constData()) == 0;
}

bool copyTree(const QString &source, const QString &destination)
{
    const QByteArray from = native(source);
    const QByteArray to = native(destination);
    struct stat st {};
    if (::lstat(from.constData(), &st) != 0)
        return false;
    if (S_ISLNK(st.st_mode))
        return copyLink(from, to);
    if (S_ISREG(st.st_mode))
        return copyFile(from, to, st.st_mode);
    if (!S_ISDIR(st.st_mode))
        return false;
    if (::mkdir(to.constData(), 0700) != 0)
        return false;
    const QDir dir(source);
    const QStringList names =
        dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    if (!dir.exists())
        return false;
    for (const QString &name : names) {
        if (!copyTree(source + QLatin1Char('/') + name, destination + QLatin1Char('/') + name))
            return false;
    }
    ::chmod(to.constData(), st.st_mode & 07777);
    return true;
}

} // namespace

std::optional<EntryFacts> facts(const QString &path)
{
    struct stat st {};
    if (::lstat(native(path).constData(), &st) != 0)
        return std::nullopt;
    EntryFacts result;
    result.isDirectory = S_ISDIR(st.st_mode);
    result.isRegular = S_ISREG(st.st_mode);
    result.isSymlink = S_ISLNK(st.st_mode);
    result.byteSize = result.isRegular ? qint64(st.st_size) : 0;
    const qint64 ms = qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
    const QDateTime modified = QDateTime::fromMSecsSinceEpoch(ms);
    if (modified.isValid())
        result.modified = modified;
    return result;
}

bool copyEntry(const QString &source, const QString &destination)
{
    if (copyTree(source, destination))
        return true;
    (void)removeEntry(destination);
    return false;
}

bool removeEntry(const QString &path)
{
    const QByteArray name = native(path);
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0)
        return errno == ENOENT;
    if (!S_ISDIR(st.st_mode))
        return ::unlink(name.constData()) == 0;
    // Make a folder we own writable first, so a read-only copy can still be emptied.
    ::chmod(name.constData(), (st.st_mode & 07777) | S_IRWXU);
    const QStringList names =
        QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &child : names)
        (void)removeEntry(path + QLatin1Char('/') + child);
    return ::rmdir(name.constData()) == 0;
}

bool setModified(const QString &path, const QDateTime &time)
{
    const qint64 ms = time.toMSecsSinceEpoch();
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = time_t(ms / 1000);
    times[1].tv_nsec = long((ms % 1000) * 1000000);
    if (times[1].tv_nsec < 0) {
        times[1].tv_sec -= 1;
        times[1].tv_nsec += 1000000000;
    }
    return ::utimensat(AT_FDCWD, native(path).constData(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

bool containsFolder(const QString &source, const QString &folder)
{
    const auto sourceFacts = facts(source);
    if (!sourceFacts || !sourceFacts->isDirectory)
        return false;
    const QString from = QFileInfo(source).canonicalFilePath();
    const QString inside = QFileInfo(folder).canonicalFilePath();
    if (from.isEmpty() || inside.isEmpty())
        return false;
    return inside == from || inside.startsWith(from.endsWith(QLatin1Char('/')) ? from : from + QLatin1Char('/'));
}

} // namespace tavrenhold::shelf
