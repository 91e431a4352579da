#include "ShelfFiles.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tavrenhold::shelf {

namespace {

QByteArray native(const QString &path) { return QFile::encodeName(path); }

// The longest start of `text` whose UTF-8 form fits in `bytes`, never cutting a character apart.
QString fitBytes(const QString &text, qsizetype bytes)
{
    QString kept;
    qsizetype used = 0;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString piece = text.mid(i, length);
        const qsizetype size = piece.toUtf8().size();
        if (used + size > bytes)
            break;
        kept += piece;
        used += size;
        i += length;
    }
    return kept;
}

bool stopped(const std::atomic<bool> *stop) { return stop && stop->load(std::memory_order_relaxed); }

// Writes `length` bytes of `in` from `offset` to the same place in `out`: in the kernel where it
// can, else through a buffer.
bool copyRange(int in, int out, off_t offset, off_t length, const std::atomic<bool> *stop)
{
    constexpr size_t step = 8 << 20;
    bool kernel = true;
    std::vector<char> buffer;
    while (length > 0) {
        if (stopped(stop))
            return false;
        const size_t want = size_t(std::min<off_t>(length, off_t(step)));
        ssize_t n = -1;
        if (kernel) {
            off_t from = offset;
            off_t to = offset;
            n = ::copy_file_range(in, &from, out, &to, want, 0);
            if (n < 0 && errno != EINTR) {
                if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP)
                    return false;
                kernel = false; // this pair of file systems needs the plain way
                continue;
            }
        } else {
            buffer.resize(std::min(want, size_t(1) << 16));
            n = ::pread(in, buffer.data(), buffer.size(), offset);
            for (ssize_t done = 0; n > 0 && done < n;) {
                const ssize_t w = ::pwrite(out, buffer.data() + done, size_t(n - done), offset + done);
                if (w < 0 && errno != EINTR)
                    return false;
                done += std::max<ssize_t>(w, 0);
            }
        }
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            return false; // the file shrank under the copy
        offset += n;
        length -= n;
    }
    return true;
}

// Copies the data of a regular file and leaves its holes as holes: only the ranges that hold data
// are written, and the size is set at the end.
bool copyData(int in, int out, off_t size, const std::atomic<bool> *stop)
{
    off_t at = 0;
    while (at < size) {
        off_t data = ::lseek(in, at, SEEK_DATA);
        if (data < 0) {
            if (errno == ENXIO)
                break; // only a hole is left
            if (errno != EINVAL && errno != EOPNOTSUPP)
                return false;
            data = at; // the file system cannot tell holes: all of it is data
        }
        if (data >= size)
            break;
        off_t hole = ::lseek(in, data, SEEK_HOLE);
        if (hole < 0 || hole > size)
            hole = size;
        if (hole <= data)
            hole = size;
        if (!copyRange(in, out, data, hole - data, stop))
            return false;
        at = hole;
    }
    return ::ftruncate(out, size) == 0;
}

bool copyFile(const QByteArray &from, const QByteArray &to, mode_t mode, const std::atomic<bool> *stop)
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
    bool ok = copyData(in, out, st.st_size, stop);
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

bool copyTree(const QString &source, const QString &destination, CopyKinds kinds, const std::atomic<bool> *stop)
{
    if (stopped(stop))
        return false;
    const QByteArray from = native(source);
    const QByteArray to = native(destination);
    struct stat st {};
    if (::lstat(from.constData(), &st) != 0)
        return false;
    if (S_ISREG(st.st_mode))
        return copyFile(from, to, st.st_mode, stop);
    if (kinds == CopyKinds::regularFileOnly)
        return false;
    if (S_ISLNK(st.st_mode))
        return copyLink(from, to);
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
        if (!copyTree(source + QLatin1Char('/') + name, destination + QLatin1Char('/') + name, kinds, stop))
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

bool copyEntry(const QString &source, const QString &destination, CopyKinds kinds, const std::atomic<bool> *stop)
{
    // What is there already is not this copy's: a failure must never remove it.
    struct stat st {};
    if (::lstat(native(destination).constData(), &st) == 0 || errno != ENOENT)
        return false;
    if (copyTree(source, destination, kinds, stop))
        return true;
    (void)removeEntry(destination);
    return false;
}

bool shareEntry(const QString &source, const QString &destination)
{
    const QByteArray from = native(source);
    const QByteArray to = native(destination);
    struct stat st {};
    if (::lstat(from.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return copyEntry(source, destination);

    // A clone shares blocks until either side writes: a true copy at no cost, where the file
    // system has them.
    const int in = ::open(from.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (in >= 0) {
        const int out = ::open(to.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, st.st_mode & 07777);
        bool cloned = false;
        if (out >= 0) {
            cloned = ::ioctl(out, FICLONE, in) == 0;
            ::close(out);
            if (!cloned)
                ::unlink(to.constData());
        }
        ::close(in);
        if (cloned)
            return true;
    }
    // Otherwise a second name: a receiver that moves or deletes it leaves the parked file alone.
    if (::link(from.constData(), to.constData()) == 0)
        return true;
    return copyEntry(source, destination);
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

QString fitName(const QString &name, qsizetype bytes)
{
    // An extension longer than this is part of the name.
    constexpr qsizetype maxExtensionBytes = 32;
    if (name.toUtf8().size() <= bytes)
        return name;
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString extension = dot > 0 ? name.mid(dot) : QString();
    const qsizetype extensionBytes = extension.toUtf8().size();
    if (extension.isEmpty() || extensionBytes > maxExtensionBytes || extensionBytes >= bytes)
        return fitBytes(name, bytes);
    return fitBytes(name.left(dot), bytes - extensionBytes) + extension;
}

qsizetype maxNameBytes(const QString &folder)
{
    const long limit = ::pathconf(native(folder).constData(), _PC_NAME_MAX);
    return limit > 0 ? qsizetype(limit) : qsizetype(NAME_MAX);
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
