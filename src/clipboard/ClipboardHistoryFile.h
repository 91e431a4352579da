#pragma once

#include "ClipboardItem.h"

#include <QByteArray>
#include <QString>

#include <map>
#include <optional>
#include <vector>

namespace tavrenhold {

// One stored entry of "clipboard-history.json".
struct StoredRow {
    QUuid id;
    ClipboardItem::Kind kind = ClipboardItem::Kind::text;
    std::optional<QString> text;
    std::optional<QString> imagePath;
    std::optional<QString> sourceApp;
    bool pinned = false;
    double copiedAt = 0;

    bool operator==(const StoredRow &) const = default;
};

// The history's JSON: one compact array of row objects, keys in field order, absent optionals left
// out, ids in upper case.
[[nodiscard]] QByteArray encodeHistory(const std::vector<StoredRow> &rows);
// The rows of a history file, or nothing when any row is malformed: a missing required key, a
// value of the wrong type, an unknown kind, an id that is not a UUID. Keys come in any order,
// unknown ones are skipped, null reads as absent.
[[nodiscard]] std::optional<std::vector<StoredRow>> decodeHistory(const QByteArray &bytes);

// How many bytes `text` takes as a JSON string in the history, quotes included.
[[nodiscard]] qsizetype jsonStringBytes(QStringView text);
// The longest start of `text`, whole characters only, whose JSON string takes at most `limit` bytes.
[[nodiscard]] QString cutToJsonBytes(const QString &text, qsizetype limit);
// How many bytes the entry's row takes in the history, with the comma before it.
[[nodiscard]] qsizetype storedRowBytes(const ClipboardItem &item);

// The name an image file is stored under: the upper-case id and ".tiff".
[[nodiscard]] QString imageFileName(const QUuid &id);
// A plain file name: not empty, no '/', no NUL, not "." or "..".
[[nodiscard]] bool isBareName(const QString &name);

// The history file and its image folder inside one application folder. With no folder, nothing
// is read or written. A history file that cannot be read or decoded is moved aside, with its image
// folder, before anything is written; when it cannot be moved, nothing is ever written over it.
class ClipboardHistoryStore {
public:
    // The largest history file and image file read. The service keeps what it writes within it.
    static constexpr qint64 maxFileBytes = 64 * 1024 * 1024;

    // Whether load() reads the image files, or leaves them on disk until an entry's picture is
    // wanted (imageBytes(), imageFilePath()).
    enum class Images { read, later };

    explicit ClipboardHistoryStore(QString folder);

    [[nodiscard]] QString historyPath() const;
    [[nodiscard]] QString imagesPath() const;
    [[nodiscard]] bool isWritable() const { return m_writable; }
    // Where an unreadable history and its images went at load, if they did.
    [[nodiscard]] QString historySetAside() const { return m_historyAside; }
    [[nodiscard]] QString imagesSetAside() const { return m_imagesAside; }

    // What reading the folder found: the entries and what the store keeps of the read.
    struct Loaded {
        std::vector<ClipboardItem> items;
        std::map<QUuid, QString> imageFiles;
        bool writable = true;
        QString historyAside;
        QString imagesAside;
    };

    // The stored entries, in file order (unsorted); image rows without a readable image file are
    // dropped. With Images::later an image entry holds no bytes: they stay in its file.
    [[nodiscard]] std::vector<ClipboardItem> load(Images images = Images::read);
    // The same read, touching nothing of the store (safe on a worker while the store is in use
    // elsewhere, as long as nothing is persisted meanwhile); take() applies its result.
    [[nodiscard]] static Loaded read(const QString &folder, Images images);
    [[nodiscard]] std::vector<ClipboardItem> take(Loaded loaded);
    [[nodiscard]] QString folder() const { return m_folder; }
    // Writes the image of every entry that has none in the folder yet, then the history, and
    // removes everything else from the image folder. Failures are ignored.
    void persist(const std::vector<ClipboardItem> &items);
    // The file that holds the image of the entry with this id, or empty when there is none.
    [[nodiscard]] QString imageFilePath(const QUuid &id) const;
    // The bytes of that file, when it reads.
    [[nodiscard]] std::optional<QByteArray> imageBytes(const QUuid &id) const;

private:
    static void setAside(const QString &folder, Loaded &loaded);

    QString m_folder;
    bool m_writable = true;
    QString m_historyAside;
    QString m_imagesAside;
    // Image files in the folder by entry id: found at load or written once at capture.
    std::map<QUuid, QString> m_imageFiles;
};

} // namespace tavrenhold
