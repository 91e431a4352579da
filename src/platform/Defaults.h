#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>

#include <optional>

namespace tavrenhold::platform {

// The user-defaults store: one JSON object in a file, keyed by dotted names. Values keep their JSON
// type; data values are stored as {"data": "<base64>"}. Every change is written at once and
// atomically. The file is read only when it is a regular file (after following links) of at most
// maxStoreFileBytes. One that is too large or cannot be read as a JSON object is moved aside,
// never overwritten; one that is no regular file (a FIFO, a device, a folder) or that may not be
// read is left as it is and never written over; then, as when the folder cannot be written, the
// values work in memory.
class Defaults {
public:
    explicit Defaults(QString filePath);
    Defaults(const Defaults &) = delete;
    Defaults &operator=(const Defaults &) = delete;

    // The store in $XDG_CONFIG_HOME/app.tavrenhold/defaults.json, made on first use.
    static Defaults &standard();
    static QString standardPath();

    [[nodiscard]] bool contains(const QString &key) const { return m_values.contains(key); }
    // The value under key, or an undefined value when absent.
    [[nodiscard]] QJsonValue object(const QString &key) const;
    [[nodiscard]] std::optional<QString> string(const QString &key) const;
    // A list whose every element is text; anything else reads as absent.
    [[nodiscard]] std::optional<QStringList> stringList(const QString &key) const;
    // "Reads as a boolean": a stored true/false, or the numbers 0 and 1.
    [[nodiscard]] std::optional<bool> boolValue(const QString &key) const;
    // The store's boolean reading of any value: numbers are true when not 0; texts are true when
    // they start with y, Y, t, T or a digit 1-9 (after blanks, an optional sign and zeros); the rest false.
    [[nodiscard]] bool boolean(const QString &key) const;
    // "Reads as a 64-bit floating point number": a stored finite number (true and false read as 1 and 0).
    [[nodiscard]] std::optional<double> doubleValue(const QString &key) const;
    [[nodiscard]] std::optional<QByteArray> data(const QString &key) const;

    void set(const QString &key, const QJsonValue &value);
    void setData(const QString &key, const QByteArray &bytes);
    void remove(const QString &key);

    [[nodiscard]] QString filePath() const { return m_path; }
    // The file that a corrupt store was moved to at load, if any.
    [[nodiscard]] QString movedAsidePath() const { return m_movedAside; }
    // Whether the last write reached the file.
    [[nodiscard]] bool lastWriteSucceeded() const { return m_lastWriteOk; }

private:
    void load();
    void write();
    void moveAside();

    QString m_path;
    QString m_movedAside;
    QJsonObject m_values;
    bool m_lastWriteOk = true;
    bool m_writable = true;
    bool m_byteOrderMark = false;
};

} // namespace tavrenhold::platform
