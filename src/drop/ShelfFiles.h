#pragma once

#include <QDateTime>
#include <QString>

#include <atomic>
#include <optional>

namespace tavrenhold::shelf {

// What lstat says of one entry, without following a link.
struct EntryFacts {
    bool isDirectory = false;
    bool isRegular = false;
    bool isSymlink = false;
    qint64 byteSize = 0; // regular files only; 0 otherwise
    std::optional<QDateTime> modified;
    bool operator==(const EntryFacts &) const = default;
};

[[nodiscard]] std::optional<EntryFacts> facts(const QString &path);

enum class CopyKinds { any, regularFileOnly };

// Copies a file (its holes kept as holes), a symbolic link (as a link) or a folder (recursively,
// links inside kept as links) to `destination`, which must not exist. Devices, FIFOs and sockets
// are refused: reading one may never end; with `regularFileOnly` links and folders are refused too.
// A failed copy, or one stopped by `stop`, removes whatever it had written and nothing else.
[[nodiscard]] bool copyEntry(const QString &source, const QString &destination, CopyKinds kinds = CopyKinds::any,
                             const std::atomic<bool> *stop = nullptr);

// Gives `destination` the same bytes as `source` without reading them where it can: a regular file
// on the same file system is cloned (copy-on-write) or, where clones are not offered, given a
// second name (a hard link), both instant whatever its size; anything else, or a file elsewhere,
// is copied as copyEntry does.
[[nodiscard]] bool shareEntry(const QString &source, const QString &destination);

// Removes a file, a link (not what it points to) or a folder with everything in it, never
// following links. True when nothing is left at `path`.
[[nodiscard]] bool removeEntry(const QString &path);

// Sets the entry's own modification time (a link's, not its target's).
[[nodiscard]] bool setModified(const QString &path, const QDateTime &time);

// The longest name that starts like `name`, keeps its extension (up to 32 bytes) and takes at most
// `bytes` bytes of UTF-8, cut between characters.
[[nodiscard]] QString fitName(const QString &name, qsizetype bytes);

// The longest name the file system of `folder` takes, in bytes.
[[nodiscard]] qsizetype maxNameBytes(const QString &folder);

// Whether `source` is `folder` itself or a folder that holds it, by canonical paths: copying such a
// source into `folder` would copy the copy.
[[nodiscard]] bool containsFolder(const QString &source, const QString &folder);

} // namespace tavrenhold::shelf
