#pragma once

#include "base/Result.h"

#include <QByteArray>
#include <QString>

namespace tavrenhold::platform {

// Why a file was not read.
enum class FileRefusal {
    absent,     // nothing at the path (or a link to nothing)
    notRegular, // a FIFO, device, socket or folder, after following links
    tooLarge,   // a regular file over the bound
    unreadable, // present, but it could not be opened or read
};

// The whole content of a file, or why it was not read.
using BoundedFile = Result<QByteArray, FileRefusal>;

// The bound for the stores the program keeps in files of its own (settings and records).
inline constexpr qint64 maxStoreFileBytes = 4 * 1024 * 1024;
// The bound for desktop entries (ours in the autostart folder, the players' in XDG_DATA_DIRS): a
// few kilobytes each, far less than this.
inline constexpr qint64 maxDesktopEntryBytes = 1024 * 1024;

// Reads a file that a user or another program may have put in place: only a regular file (after
// following links) of at most maxBytes. It is opened without blocking and judged by the opened file
// itself, so a FIFO or device swapped in is refused at once rather than waited on or streamed,
// and no more than maxBytes + 1 bytes are ever read.
[[nodiscard]] BoundedFile readBoundedRegularFile(const QString &path, qint64 maxBytes);

} // namespace tavrenhold::platform
