#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace tavrenhold::platform {

// What one read of the clipboard found: the names of every type offered (MIME names, also the
// markers that tell a secret), and the data of the three types the history keeps. Image data is
// fetched as image/tiff, else image/png, and text only when there is no image.
struct PasteboardContent {
    QStringList types;
    std::optional<QByteArray> tiff;
    std::optional<QByteArray> png;
    std::optional<QString> text;

    bool operator==(const PasteboardContent &) const = default;
};

// What one write puts on the clipboard: data by MIME type, and text.
struct PasteboardWrite {
    std::vector<std::pair<QString, QByteArray>> data;
    std::optional<QString> text;

    bool operator==(const PasteboardWrite &) const = default;
};

// The desktop's clipboard (CLIPBOARD on X11), watched from the moment it is made.
class Pasteboard : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // Goes up by at least one with every new owner of the clipboard, ours included.
    [[nodiscard]] virtual qint64 changeCount() const = 0;
    // Whether what is on the clipboard now is what write() put there. A later copy made inside the
    // process (from one of its own text fields) is not: it is a change like one from another program.
    [[nodiscard]] virtual bool ownsClipboard() const = 0;

    using ReadDone = std::function<void(std::optional<PasteboardContent>)>;
    // Reads what is on the clipboard without blocking; `done` runs later on the main thread, once.
    // Nothing when no one owns the clipboard, or its owner is silent, slow or sends too much.
    virtual void read(ReadDone done) = 0;
    // Replaces what is on the clipboard; an empty write only clears it.
    virtual void write(const PasteboardWrite &content) = 0;

    // The display's clipboard.
    [[nodiscard]] static std::unique_ptr<Pasteboard> create(QObject *parent = nullptr);

Q_SIGNALS:
    // The change count went up.
    void changed();
};

} // namespace tavrenhold::platform
