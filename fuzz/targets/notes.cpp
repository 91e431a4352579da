// The notes file: decoded and repaired as the store loads it, then written back as the store
// writes it; what was read must read back the same, or the next start would set the notes aside.
#include "FuzzSupport.h"

#include "notes/NoteRecord.h"

#include <QSet>

using namespace tavrenhold;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const auto decoded = decodeNotes(fuzz::bytes(data, size));
    if (!decoded)
        return 0;
    const std::vector<NoteRecord> notes = repairNotes(*decoded);
    fuzz::check(notes.size() == decoded->size(), "repairing lost or added notes");
    QSet<QUuid> ids;
    for (const NoteRecord &note : notes) {
        fuzz::check(!ids.contains(note.id), "two notes share an id after repair");
        ids.insert(note.id);
        (void)displayTitle(note);
        (void)preview(note);
    }

    const auto encoded = encodeNotes(notes);
    fuzz::check(encoded.has_value(), "loaded notes do not encode");
    // The store's size accounting never falls below the smallest file it may write.
    const auto plain = encodeNotes(notes, Slash::plain);
    fuzz::check(plain && encodedLength(notes) >= plain->size(), "notes take more bytes than counted");
    const auto again = decodeNotes(*encoded);
    fuzz::check(again && again->size() == notes.size(), "written notes do not decode");
    // A lone surrogate has no UTF-8 form: it is the one thing a write may change.
    const auto normal = [](const QString &text) { return QString::fromUtf8(text.toUtf8()); };
    for (std::size_t i = 0; i < notes.size(); ++i) {
        NoteRecord expected = notes[i];
        expected.title = normal(expected.title);
        expected.body = normal(expected.body);
        fuzz::check((*again)[i] == expected, "written notes do not read back the same");
    }
    return 0;
}
