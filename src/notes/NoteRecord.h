#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QUuid>

#include <optional>
#include <vector>

namespace tavrenhold {

// One note. `updatedAt` is kept as the number read from the file (seconds since
// 2001-01-01 00:00:00 UTC), so a note nobody edited is written back with the same digits.
struct NoteRecord {
    QUuid id;
    QString title;
    QString body;
    double updatedAt = 0;

    bool operator==(const NoteRecord &) const = default;
};

// The title the list shows: the trimmed title, else the first line of the trimmed body, else
// "Untitled".
[[nodiscard]] QString displayTitle(const NoteRecord &note);
// The text under the title: "Empty note" for a blank body; the whole trimmed body under a real
// title; otherwise the body's lines after the first, or "Empty note" when there are none.
[[nodiscard]] QString preview(const NoteRecord &note);

// How "/" is written in the notes file: escaped as a rule; plain when that is what keeps a file
// within the bound a load reads (readers accept both).
enum class Slash { escaped, plain };

// Escaped bytes a text takes inside a string of the notes file in its smallest form (slashes
// plain), its quotes not counted; never less than the encoder writes in that form.
[[nodiscard]] qint64 encodedLength(QStringView text);
// The length of the longest start of `text` whose escaped bytes are at most `budget`; a surrogate
// pair is never split.
[[nodiscard]] qsizetype fittingLength(QStringView text, qint64 budget);
// Bytes the note takes in the notes file's smallest form, its separating comma not counted.
[[nodiscard]] qint64 encodedLength(const NoteRecord &note);
// Bytes of the notes file of these notes, in its smallest form.
[[nodiscard]] qint64 encodedLength(const std::vector<NoteRecord> &notes);

// The notes file: a compact JSON array of {"id","title","body","updatedAt"} objects, written by
// our own encoder so the bytes are stable (keys in that order, "/" escaped, shortest numbers).
// Nothing when a time is not a finite number.
[[nodiscard]] std::optional<QByteArray> encodeNotes(const std::vector<NoteRecord> &notes, Slash slash = Slash::escaped);
// The notes of a file, in file order; nothing when any part of it is not as the format says.
[[nodiscard]] std::optional<std::vector<NoteRecord>> decodeNotes(const QByteArray &bytes);

// What loading does to decoded notes: a later note holding an id seen before gets a new id; a
// one-character title that merely starts a longer first body line is dropped; then newest first,
// equal times keeping their file order.
[[nodiscard]] std::vector<NoteRecord> repairNotes(std::vector<NoteRecord> notes);

// Seconds since 2001-01-01 00:00:00 UTC.
[[nodiscard]] double noteTime(const QDateTime &time);

} // namespace tavrenhold
