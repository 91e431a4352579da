#pragma once

#include "DropPane.h"

#include <QByteArray>
#include <QPointer>
#include <QQuickItem>
#include <QUrl>

#include <memory>
#include <optional>

class QMimeData;

namespace tavrenhold {

namespace platform {
class DirectSave;
}

// A drop target for files: file: URLs of this machine and files promised by the drag's source
// (direct save). An entering file drag asks the shelf to open and marks it targeted; a drop parks
// the files on the shelf. It answers copy only: a source that honours a move deletes its original.
// Drags from this program itself are refused. It takes no mouse buttons: laid bare over the notch
// it catches only drags, and content hosted inside it gets every click.
class DropWellView : public QQuickItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(tavrenhold::DropPane *pane READ pane WRITE setPane NOTIFY paneChanged)

public:
    static constexpr auto promiseFormat = "XdndDirectSave0";

    explicit DropWellView(QQuickItem *parent = nullptr);
    ~DropWellView() override;

    [[nodiscard]] DropPane *pane() const { return m_pane; }
    void setPane(DropPane *pane);

    // Where promised files are asked for; the display's own unless set (tests set a fake).
    void setDirectSave(std::unique_ptr<platform::DirectSave> directSave);

    // Whether a drag carrying `data` is one the shelf takes.
    [[nodiscard]] static bool acceptable(const QMimeData *data, bool fromThisProgram);
    // The dragged files a drop parks at once: file: URLs of this machine, in order.
    [[nodiscard]] static QList<QUrl> localFiles(const QMimeData *data);
    // One safe file name for a name a source suggests: its last component without "/" and NUL,
    // a fixed name for nothing, "." or "..", and at most 255 bytes, the extension kept.
    [[nodiscard]] static QString promisedFileName(const QByteArray &suggested);

    // Takes a drop of `data`: returns whether anything was taken. The files are parked after the
    // call returns (the source is never held by a long copy).
    [[nodiscard]] bool take(const QMimeData *data);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

Q_SIGNALS:
    void paneChanged();

private:
    // Asks the source to write its promised file into a fresh staging folder; the file's path
    // when the source says it was written.
    [[nodiscard]] std::optional<QString> receivePromise(const QMimeData *data);
    void endTargeting();

    QPointer<DropPane> m_pane;
    std::unique_ptr<platform::DirectSave> m_directSave;
    bool m_directSaveMade = false;
};

} // namespace tavrenhold
