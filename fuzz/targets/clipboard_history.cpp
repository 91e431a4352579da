// The clipboard history file: the history store loads it (with the image files its rows name) from
// its folder, and writes back what it loaded; that must load again the same, and no row may reach
// a file outside the image folder.
#include "FuzzSupport.h"

#include "clipboard/ClipboardHistoryFile.h"

#include <QDir>
#include <QFile>

#include <QSet>

using namespace tavrenhold;

namespace {

// A text as UTF-8 can carry it (a lone surrogate has no UTF-8 form).
std::optional<QString> normal(const std::optional<QString> &s)
{
    return s ? std::optional(QString::fromUtf8(s->toUtf8())) : std::nullopt;
}

StoredRow normal(StoredRow row)
{
    row.text = normal(row.text);
    row.imagePath = normal(row.imagePath);
    row.sourceApp = normal(row.sourceApp);
    return row;
}

// What a loaded item keeps through a write: a text entry keeps no image.
ClipboardItem written(ClipboardItem item)
{
    item.text = normal(item.text);
    item.sourceApp = normal(item.sourceApp);
    if (item.kind == ClipboardItem::Kind::text)
        item.imageData.reset();
    return item;
}

bool idsAreUnique(const std::vector<ClipboardItem> &items)
{
    QSet<QUuid> ids;
    for (const ClipboardItem &item : items) {
        if (ids.contains(item.id))
            return false;
        ids.insert(item.id);
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes = fuzz::bytes(data, size);
    const auto rows = decodeHistory(bytes);
    if (rows) {
        const auto again = decodeHistory(encodeHistory(*rows));
        fuzz::check(again && again->size() == rows->size(), "encoded rows do not decode");
        for (std::size_t i = 0; i < rows->size(); ++i)
            fuzz::check(normal((*again)[i]) == normal((*rows)[i]), "an encoded row reads back differently");
    }

    // The store in a folder: an image and a file beside the folder that no row may read.
    const QString folder = fuzz::scratchFolder("clipboard");
    ClipboardHistoryStore store(folder + QStringLiteral("/app"));
    QDir().mkpath(store.imagesPath());
    fuzz::writeFile(store.historyPath(), bytes);
    fuzz::writeFile(store.imagesPath() + QStringLiteral("/6F1C2B3A-4D5E-4F60-8172-93A4B5C6D7E8.tiff"), "image");
    fuzz::writeFile(folder + QStringLiteral("/outside"), "outside");
    const std::vector<ClipboardItem> items = store.load();
    fuzz::check(!rows || store.historySetAside().isEmpty(), "a history that decodes was set aside");
    for (const ClipboardItem &item : items)
        fuzz::check(!item.imageData || *item.imageData == "image", "a row read a file outside the image folder");
    if (!store.isWritable())
        return 0;

    store.persist(items);
    ClipboardHistoryStore reopened(folder + QStringLiteral("/app"));
    const std::vector<ClipboardItem> reloaded = reopened.load();
    fuzz::check(reopened.historySetAside().isEmpty(), "a history the store wrote was set aside");
    // Rows sharing an id share one image file, so only histories of distinct ids must come back whole.
    fuzz::check(reloaded.size() == items.size(), "the history the store wrote lost entries");
    if (idsAreUnique(items)) {
        for (std::size_t i = 0; i < items.size(); ++i)
            fuzz::check(written(reloaded[i]) == written(items[i]), "the history the store wrote reads back differently");
    }
    fuzz::check(QFile::exists(folder + QStringLiteral("/outside")), "writing the history removed a file outside it");
    return 0;
}
