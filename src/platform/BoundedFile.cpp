#include "BoundedFile.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavrenhold::platform {

namespace {
// Closes the descriptor it holds.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    [[nodiscard]] int fd() const { return m_fd; }

private:
    int m_fd;
};
} // namespace

BoundedFile readBoundedRegularFile(const QString &path, qint64 maxBytes)
{
    if (path.isEmpty() || maxBytes < 0)
        return BoundedFile::failure(FileRefusal::absent);
    const QByteArray native = QFile::encodeName(path);
    int fd = -1;
    do {
        fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return BoundedFile::failure(errno == ENOENT || errno == ENOTDIR ? FileRefusal::absent
                                                                         : FileRefusal::unreadable);
    const Descriptor file(fd);

    struct stat status {};
    if (::fstat(file.fd(), &status) != 0)
        return BoundedFile::failure(FileRefusal::unreadable);
    if (!S_ISREG(status.st_mode))
        return BoundedFile::failure(FileRefusal::notRegular);
    if (status.st_size > maxBytes)
        return BoundedFile::failure(FileRefusal::tooLarge);

    // The size is only a hint (the file may grow while it is read, or report 0 like procfs): read
    // up to one byte past the bound, which tells a file over it.
    const qint64 limit = maxBytes + 1;
    QByteArray bytes;
    bytes.resize(qsizetype(qMin<qint64>(limit, qMax<qint64>(status.st_size + 1, 4096))));
    qint64 total = 0;
    while (total < limit) {
        if (total == bytes.size())
            bytes.resize(qsizetype(qMin<qint64>(limit, total * 2)));
        const ssize_t n = ::read(file.fd(), bytes.data() + total, size_t(bytes.size() - total));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return BoundedFile::failure(FileRefusal::unreadable);
        }
        if (n == 0)
            break;
        total += n;
    }
    if (total > maxBytes)
        return BoundedFile::failure(FileRefusal::tooLarge);
    bytes.truncate(qsizetype(total));
    return bytes;
}

} // namespace tavrenhold::platform
