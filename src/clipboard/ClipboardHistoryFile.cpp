#include "ClipboardHistoryFile.h"

#include "platform/BoundedFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>

#include <set>

namespace tavrenhold {

namespace {
constexpr QFileDevice::Permissions fileMode = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
constexpr QFileDevice::Permissions folderMode = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;

// One JSON value as compact text (strings escaped, doubles in their shortest exact form).
QByteArray json(const QJsonValue &value)
{
    QByteArray out = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return out.mid(1, out.size() - 2);
}

// An optional string key: absent and null read as nothing; anything else fails the row.
bool optionalString(const QJsonObject &object, const char *key, std::optional<QString> &out)
{
    const QJsonValue v = object.value(QLatin1String(key));
    if (v.isUndefined() || v.isNull())
        return true;
    if (!v.isString())
        return false;
    out = v.toString();
    return true;
}

// The whole file, when it is a regular file no larger than `limit`: opened without blocking and read
// only as far as the file goes (never a buffer of the whole bound for a small file).
std::optional<QByteArray> readRegularFile(const QString &path, qint64 limit)
{
    platform::BoundedFile content = platform::readBoundedRegularFile(path, limit);
    if (!content.ok())
        return std::nullopt;
    return std::move(content).value();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.setPermissions(fileMode);
    if (file.write(bytes) != bytes.size())
        return false;
    return file.commit();
}

// "<stem>.corrupt.<seconds><ext>", then "-1", "-2" … before the extension, whichever is free.
QString uniqueAsideName(const QString &folder, const QString &stem, const QString &ext)
{
    const QString base = folder + QLatin1Char('/') + stem + QStringLiteral(".corrupt.")
        + QString::number(QDateTime::currentSecsSinceEpoch());
    QString candidate = base + ext;
    for (int n = 1; QFileInfo::exists(candidate) || QFileInfo(candidate).isSymLink(); ++n)
        candidate = base + QStringLiteral("-%1").arg(n) + ext;
    return candidate;
}

const QRegularExpression uuidPattern(QStringLiteral("^[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}$"));
} // namespace

namespace {
// The bytes the character at `i` takes inside a JSON string, and in `step` how many UTF-16 units
// it spans.
qsizetype characterBytes(QStringView text, qsizetype i, qsizetype &step)
{
    step = 1;
    const char16_t c = text[i].unicode();
    if (c == u'"' || c == u'\\' || c == u'\b' || c == u'\f' || c == u'\n' || c == u'\r' || c == u'\t')
        return 2;
    if (c < 0x20)
        return 6; // \u00XX
    if (c < 0x80)
        return 1;
    if (c < 0x800)
        return 2;
    if (QChar::isHighSurrogate(c) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode())) {
        step = 2;
        return 4;
    }
    if (QChar::isSurrogate(c))
        return 6; // a lone half is escaped
    return 3;
}
} // namespace

qsizetype jsonStringBytes(QStringView text)
{
    qsizetype bytes = 2;
    qsizetype step = 1;
    for (qsizetype i = 0; i < text.size(); i += step)
        bytes += characterBytes(text, i, step);
    return bytes;
}

QString cutToJsonBytes(const QString &text, qsizetype limit)
{
    qsizetype bytes = 2;
    qsizetype step = 1;
    for (qsizetype i = 0; i < text.size(); i += step) {
        bytes += characterBytes(text, i, step);
        if (bytes > limit)
            return text.first(i);
    }
    return text;
}

namespace {
// `text` as a JSON string, byte for byte as QJsonDocument writes it, appended to `out` in place
// (a long text is neither copied into a JSON value nor escaped twice).
void appendJsonString(QByteArray &out, QStringView text)
{
    static constexpr char hex[] = "0123456789abcdef";
    if (text.size() > 4096)
        out.reserve(out.size() + jsonStringBytes(text));
    out += '"';
    qsizetype step = 1;
    for (qsizetype i = 0; i < text.size(); i += step) {
        const qsizetype bytes = characterBytes(text, i, step);
        const char16_t c = text[i].unicode();
        if (bytes == 6) {
            const char escape[] = {'\\', 'u', hex[(c >> 12) & 0xf], hex[(c >> 8) & 0xf], hex[(c >> 4) & 0xf], hex[c & 0xf]};
            out.append(escape, 6);
        } else if (bytes == 2 && c < 0x80) {
            const char letter = c == u'"' ? '"' : c == u'\\' ? '\\' : c == u'\b' ? 'b' : c == u'\f' ? 'f' : c == u'\n' ? 'n' : c == u'\r' ? 'r' : 't';
            const char escape[] = {'\\', letter};
            out.append(escape, 2);
        } else if (bytes == 1) {
            out += char(c);
        } else if (bytes == 2) {
            const char utf8[] = {char(0xc0 | (c >> 6)), char(0x80 | (c & 0x3f))};
            out.append(utf8, 2);
        } else if (bytes == 3) {
            const char utf8[] = {char(0xe0 | (c >> 12)), char(0x80 | ((c >> 6) & 0x3f)), char(0x80 | (c & 0x3f))};
            out.append(utf8, 3);
        } else {
            const char32_t u = QChar::surrogateToUcs4(c, text[i + 1].unicode());
            const char utf8[] = {char(0xf0 | (u >> 18)), char(0x80 | ((u >> 12) & 0x3f)), char(0x80 | ((u >> 6) & 0x3f)),
                                 char(0x80 | (u & 0x3f))};
            out.append(utf8, 4);
        }
    }
    out += '"';
}
} // namespace

qsizetype storedRowBytes(const ClipboardItem &item)
{
    // The time as 0 plus room for the widest double, since a copy back changes it.
    constexpr qsizetype widestTime = 24;
    StoredRow row{item.id, item.kind, std::nullopt, std::nullopt, item.sourceApp, item.pinned, 0};
    if (item.kind == ClipboardItem::Kind::image)
        row.imagePath = imageFileName(item.id);
    const qsizetype text = item.text ? QByteArrayLiteral(",\"text\":").size() + jsonStringBytes(*item.text) : 0;
    // The row alone as an array, less its brackets, plus the comma that joins it to the others.
    return encodeHistory({row}).size() - 2 + 1 + text + widestTime;
}

QString imageFileName(const QUuid &id)
{
    return id.toString(QUuid::WithoutBraces).toUpper() + QStringLiteral(".tiff");
}

bool isBareName(const QString &name)
{
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && !name.contains(QChar(0))
        && name != QLatin1String(".") && name != QLatin1String("..");
}

QByteArray encodeHistory(const std::vector<StoredRow> &rows)
{
    QByteArray out = "[";
    for (size_t i = 0; i < rows.size(); ++i) {
        const StoredRow &row = rows[i];
        if (i)
            out += ',';
        out += "{\"id\":";
        appendJsonString(out, row.id.toString(QUuid::WithoutBraces).toUpper());
        out += ",\"kind\":";
        appendJsonString(out, rawValue(row.kind));
        if (row.text) {
            out += ",\"text\":";
            appendJsonString(out, *row.text);
        }
        if (row.imagePath) {
            out += ",\"imagePath\":";
            appendJsonString(out, *row.imagePath);
        }
        if (row.sourceApp) {
            out += ",\"sourceApp\":";
            appendJsonString(out, *row.sourceApp);
        }
        out += ",\"pinned\":" + json(row.pinned);
        out += ",\"copiedAt\":" + json(row.copiedAt);
        out += '}';
    }
    out += ']';
    return out;
}

std::optional<std::vector<StoredRow>> decodeHistory(const QByteArray &bytes)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray())
        return std::nullopt;
    std::vector<StoredRow> rows;
    for (const QJsonValue &value : doc.array()) {
        if (!value.isObject())
            return std::nullopt;
        const QJsonObject object = value.toObject();
        StoredRow row;
        const QJsonValue id = object.value(QLatin1String("id"));
        if (!id.isString() || !uuidPattern.match(id.toString()).hasMatch())
            return std::nullopt;
        row.id = QUuid::fromString(id.toString());
        const QJsonValue kind = object.value(QLatin1String("kind"));
        const auto parsedKind = kind.isString() ? clipboardKindFromRaw(kind.toString()) : std::nullopt;
        if (!parsedKind)
            return std::nullopt;
        row.kind = *parsedKind;
        if (!optionalString(object, "text", row.text) || !optionalString(object, "imagePath", row.imagePath)
            || !optionalString(object, "sourceApp", row.sourceApp))
            return std::nullopt;
        const QJsonValue pinned = object.value(QLatin1String("pinned"));
        if (!pinned.isBool())
            return std::nullopt;
        row.pinned = pinned.toBool();
        const QJsonValue copiedAt = object.value(QLatin1String("copiedAt"));
        if (!copiedAt.isDouble())
            return std::nullopt;
        row.copiedAt = copiedAt.toDouble();
        rows.push_back(std::move(row));
    }
    return rows;
}

ClipboardHistoryStore::ClipboardHistoryStore(QString folder)
    : m_folder(std::move(folder))
{
    if (m_folder.isEmpty()) {
        m_writable = false;
        return;
    }
    if (!QFileInfo::exists(m_folder) && QDir().mkpath(m_folder))
        QFile::setPermissions(m_folder, folderMode);
}

QString ClipboardHistoryStore::historyPath() const
{
    return m_folder + QStringLiteral("/clipboard-history.json");
}

QString ClipboardHistoryStore::imagesPath() const
{
    return m_folder + QStringLiteral("/clipboard-images");
}

std::vector<ClipboardItem> ClipboardHistoryStore::load(Images images)
{
    return take(read(m_folder, images));
}

std::vector<ClipboardItem> ClipboardHistoryStore::take(Loaded loaded)
{
    m_imageFiles = std::move(loaded.imageFiles);
    m_writable = m_writable && loaded.writable;
    if (!loaded.historyAside.isEmpty())
        m_historyAside = std::move(loaded.historyAside);
    if (!loaded.imagesAside.isEmpty())
        m_imagesAside = std::move(loaded.imagesAside);
    return std::move(loaded.items);
}

ClipboardHistoryStore::Loaded ClipboardHistoryStore::read(const QString &folder, Images images)
{
    Loaded loaded;
    if (folder.isEmpty())
        return loaded;
    const QString historyPath = folder + QStringLiteral("/clipboard-history.json");
    const QString imagesPath = folder + QStringLiteral("/clipboard-images");
    const QFileInfo info(historyPath);
    if (!info.exists() && !info.isSymLink())
        return loaded;
    const auto bytes = readRegularFile(historyPath, maxFileBytes);
    const auto rows = bytes ? decodeHistory(*bytes) : std::nullopt;
    if (!rows) {
        setAside(folder, loaded);
        return loaded;
    }
    for (const StoredRow &row : *rows) {
        std::optional<QByteArray> data;
        bool hasFile = false;
        if (row.imagePath && isBareName(*row.imagePath)) {
            const QString path = imagesPath + QLatin1Char('/') + *row.imagePath;
            if (images == Images::read) {
                data = readRegularFile(path, maxFileBytes);
                hasFile = data.has_value();
            } else {
                // Judged without reading: a regular file (after links) within the bound.
                const QFileInfo file(path);
                hasFile = file.isFile() && file.size() <= maxFileBytes;
            }
        }
        if (row.kind == ClipboardItem::Kind::image && !hasFile)
            continue;
        if (hasFile)
            loaded.imageFiles[row.id] = *row.imagePath;
        loaded.items.push_back(ClipboardItem{row.id, row.kind, row.text, data, row.sourceApp, row.pinned, row.copiedAt});
    }
    return loaded;
}

QString ClipboardHistoryStore::imageFilePath(const QUuid &id) const
{
    const auto it = m_imageFiles.find(id);
    return it == m_imageFiles.end() ? QString() : imagesPath() + QLatin1Char('/') + it->second;
}

std::optional<QByteArray> ClipboardHistoryStore::imageBytes(const QUuid &id) const
{
    const QString path = imageFilePath(id);
    if (path.isEmpty())
        return std::nullopt;
    return readRegularFile(path, maxFileBytes);
}

void ClipboardHistoryStore::setAside(const QString &folder, Loaded &loaded)
{
    const QString historyPath = folder + QStringLiteral("/clipboard-history.json");
    const QString imagesPath = folder + QStringLiteral("/clipboard-images");
    const QString aside = uniqueAsideName(folder, QStringLiteral("clipboard-history"), QStringLiteral(".json"));
    if (!QFile::rename(historyPath, aside)) {
        loaded.writable = false;
        return;
    }
    loaded.historyAside = aside;
    const QFileInfo images(imagesPath);
    if (!images.exists() && !images.isSymLink())
        return;
    const QString imagesAside = uniqueAsideName(folder, QStringLiteral("clipboard-images"), QString());
    if (QFile::rename(imagesPath, imagesAside))
        loaded.imagesAside = imagesAside;
    else
        loaded.writable = false; // the images the old file names would be swept
}

void ClipboardHistoryStore::persist(const std::vector<ClipboardItem> &items)
{
    if (!m_writable)
        return;
    const QString images = imagesPath();
    if (!QFileInfo(images).isDir() && QDir().mkpath(images))
        QFile::setPermissions(images, folderMode);
    std::set<QString> keep;
    std::map<QUuid, QString> files;
    std::vector<StoredRow> rows;
    rows.reserve(items.size());
    for (const ClipboardItem &item : items) {
        StoredRow row{item.id, item.kind, item.text, std::nullopt, item.sourceApp, item.pinned, item.copiedAt};
        if (item.kind == ClipboardItem::Kind::image) {
            const QString name = imageFileName(item.id);
            const auto known = m_imageFiles.find(item.id);
            if (known != m_imageFiles.end()) {
                // Written once: a file under another name (from an older history) is renamed.
                if (known->second == name || QFile::rename(images + QLatin1Char('/') + known->second,
                                                           images + QLatin1Char('/') + name))
                    files[item.id] = name;
                else
                    files[item.id] = known->second;
            } else if (item.imageData) {
                (void)writeFile(images + QLatin1Char('/') + name, *item.imageData);
                files[item.id] = name;
            }
            if (const auto file = files.find(item.id); file != files.end()) {
                keep.insert(file->second);
                row.imagePath = file->second;
            }
        }
        rows.push_back(std::move(row));
    }
    m_imageFiles = std::move(files);
    (void)writeFile(historyPath(), encodeHistory(rows));
    QDir dir(images);
    if (!dir.exists())
        return;
    const QFileInfoList entries = dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo &entry : entries) {
        if (keep.contains(entry.fileName()))
            continue;
        if (entry.isDir() && !entry.isSymLink())
            QDir(entry.absoluteFilePath()).removeRecursively();
        else
            QFile::remove(entry.absoluteFilePath());
    }
}

} // namespace tavrenhold
