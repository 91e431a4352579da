#include "NoteRecord.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QStringList>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <utility>

namespace tavrenhold {

namespace {
// 2001-01-01 00:00:00 UTC in seconds since 1970.
constexpr double referenceEpoch = 978307200.0;

QStringList lines(const QString &text) { return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts); }

// A tile shows a line of title and two of preview: this many characters are more than it ever
// shows, and computing from no more keeps a long note as quick to list as a short one.
constexpr qsizetype shownLength = 2000;

// The text without white space at either end, and at most `shownLength` characters of it.
QString shownStart(const QString &text)
{
    qsizetype start = 0;
    while (start < text.size() && text.at(start).isSpace())
        ++start;
    if (text.size() - start <= shownLength)
        return text.trimmed();
    return text.mid(start, shownLength).trimmed();
}

// How many UTF-16 units of the text fit in `budget` escaped bytes (slashes plain), and their
// bytes. A surrogate
// pair counts 4 bytes and is never split; a lone surrogate counts as the 3 bytes of a replacement
// character.
std::pair<qsizetype, qint64> measure(QStringView text, qint64 budget)
{
    qint64 bytes = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        const char16_t c = text.at(i).unicode();
        const bool pair = QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
        int step = 3;
        if (pair)
            step = 4;
        else if (c == u'"' || c == u'\\' || c == u'\b' || c == u'\f' || c == u'\n' || c == u'\r' || c == u'\t')
            step = 2;
        else if (c < 0x20)
            step = 6;
        else if (c < 0x80)
            step = 1;
        else if (c < 0x800)
            step = 2;
        if (bytes + step > budget)
            break;
        bytes += step;
        i += pair ? 2 : 1;
    }
    return {i, bytes};
}

// The user-perceived characters of a text.
QStringList graphemes(const QString &text)
{
    QStringList out;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    while (finder.toNextBoundary() != -1) {
        const qsizetype end = finder.position();
        out.append(text.mid(start, end - start));
        start = end;
    }
    return out;
}

void appendString(QByteArray &out, const QString &text, Slash slash)
{
    static constexpr char hex[] = "0123456789abcdef";
    out.append('"');
    const QByteArray utf8 = text.toUtf8();
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"': out.append("\\\""); break;
        case '\\': out.append("\\\\"); break;
        case '/': out.append(slash == Slash::escaped ? "\\/" : "/"); break;
        case '\b': out.append("\\b"); break;
        case '\f': out.append("\\f"); break;
        case '\n': out.append("\\n"); break;
        case '\r': out.append("\\r"); break;
        case '\t': out.append("\\t"); break;
        default:
            if (c < 0x20) {
                out.append("\\u00");
                out.append(hex[c >> 4]);
                out.append(hex[c & 0xf]);
            } else {
                out.append(ch);
            }
        }
    }
    out.append('"');
}

// The shortest decimal that reads back as the same double, never with an exponent.
bool appendNumber(QByteArray &out, double value)
{
    if (!std::isfinite(value))
        return false;
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    if (result.ec != std::errc())
        return false;
    out.append(buffer, result.ptr - buffer);
    return true;
}

// 8-4-4-4-12 hexadecimal digits of either case, nothing around them.
bool hasUuidShape(const QString &text)
{
    if (text.size() != 36)
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (c != QLatin1Char('-'))
                return false;
        } else if (!((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
                     || (c >= QLatin1Char('A') && c <= QLatin1Char('F')))) {
            return false;
        }
    }
    return true;
}

// A one-character title that only repeats the start of a longer first body line.
bool titleRepeatsBody(const NoteRecord &note)
{
    const QStringList title = graphemes(note.title.normalized(QString::NormalizationForm_C));
    if (title.size() != 1)
        return false;
    const QStringList bodyLines = lines(note.body.trimmed());
    if (bodyLines.isEmpty())
        return false;
    const QStringList first = graphemes(bodyLines.first().normalized(QString::NormalizationForm_C));
    return first.size() >= 2 && first.first() == title.first();
}
} // namespace

qint64 encodedLength(QStringView text) { return measure(text, std::numeric_limits<qint64>::max()).second; }

qsizetype fittingLength(QStringView text, qint64 budget) { return measure(text, budget).first; }

qint64 encodedLength(const NoteRecord &note)
{
    QByteArray time;
    if (!appendNumber(time, note.updatedAt))
        time = QByteArray(400, '0');
    // {"id":"<36>","title":"…","body":"…","updatedAt":…}
    return qint64(sizeof "{\"id\":\"\",\"title\":\"\",\"body\":\"\",\"updatedAt\":}" - 1) + 36 + encodedLength(note.title)
        + encodedLength(note.body) + time.size();
}

qint64 encodedLength(const std::vector<NoteRecord> &notes)
{
    qint64 bytes = 2 + std::max<qint64>(0, qint64(notes.size()) - 1);
    for (const NoteRecord &note : notes)
        bytes += encodedLength(note);
    return bytes;
}

QString displayTitle(const NoteRecord &note)
{
    const QString title = shownStart(note.title);
    if (!title.isEmpty())
        return title;
    const QStringList bodyLines = lines(shownStart(note.body));
    if (!bodyLines.isEmpty())
        return bodyLines.first();
    return QStringLiteral("Untitled");
}

QString preview(const NoteRecord &note)
{
    const QString body = shownStart(note.body);
    if (body.isEmpty())
        return QStringLiteral("Empty note");
    if (!shownStart(note.title).isEmpty())
        return body;
    const QStringList bodyLines = lines(body);
    if (bodyLines.size() < 2)
        return QStringLiteral("Empty note");
    return bodyLines.mid(1).join(QLatin1Char('\n'));
}

std::optional<QByteArray> encodeNotes(const std::vector<NoteRecord> &notes, Slash slash)
{
    QByteArray out;
    out.append('[');
    bool first = true;
    for (const NoteRecord &note : notes) {
        if (!first)
            out.append(',');
        first = false;
        out.append("{\"id\":");
        appendString(out, note.id.toString(QUuid::WithoutBraces).toUpper(), slash);
        out.append(",\"title\":");
        appendString(out, note.title, slash);
        out.append(",\"body\":");
        appendString(out, note.body, slash);
        out.append(",\"updatedAt\":");
        if (!appendNumber(out, note.updatedAt))
            return std::nullopt;
        out.append('}');
    }
    out.append(']');
    return out;
}

std::optional<std::vector<NoteRecord>> decodeNotes(const QByteArray &bytes)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray())
        return std::nullopt;
    std::vector<NoteRecord> notes;
    const QJsonArray array = doc.array();
    notes.reserve(std::size_t(array.size()));
    for (const QJsonValue &value : array) {
        if (!value.isObject())
            return std::nullopt;
        const QJsonObject object = value.toObject();
        const QJsonValue id = object.value(QLatin1String("id"));
        const QJsonValue title = object.value(QLatin1String("title"));
        const QJsonValue body = object.value(QLatin1String("body"));
        const QJsonValue updatedAt = object.value(QLatin1String("updatedAt"));
        if (!id.isString() || !title.isString() || !body.isString() || !updatedAt.isDouble())
            return std::nullopt;
        if (!hasUuidShape(id.toString()) || !std::isfinite(updatedAt.toDouble()))
            return std::nullopt;
        const QUuid uuid = QUuid::fromString(id.toString());
        if (uuid.isNull() && id.toString() != QLatin1String("00000000-0000-0000-0000-000000000000"))
            return std::nullopt;
        notes.push_back(NoteRecord{uuid, title.toString(), body.toString(), updatedAt.toDouble()});
    }
    return notes;
}

std::vector<NoteRecord> repairNotes(std::vector<NoteRecord> notes)
{
    // Two notes under one id would be edited and deleted as one: the later one gets an id of its own.
    QSet<QUuid> seen;
    for (NoteRecord &note : notes) {
        while (seen.contains(note.id))
            note.id = QUuid::createUuid();
        seen.insert(note.id);
        if (titleRepeatsBody(note))
            note.title.clear();
    }
    std::stable_sort(notes.begin(), notes.end(),
                     [](const NoteRecord &a, const NoteRecord &b) { return a.updatedAt > b.updatedAt; });
    return notes;
}

double noteTime(const QDateTime &time) { return double(time.toMSecsSinceEpoch()) / 1000.0 - referenceEpoch; }

} // namespace tavrenhold
