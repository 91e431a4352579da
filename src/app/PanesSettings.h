#pragma once

#include <QObject>
#include <QPointer>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <functional>

namespace tavrenhold {

class PanePreferences;

// What the Panes tab shows and does: one row per pane in the stored order (hidden ones switched
// off in place), the last visible pane locked on. Every toggle and every move tells the shell,
// whether or not the preferences changed.
class PanesSettings : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("made by the settings window controller")
    // Each row: pane (raw name), title, symbol, visible, locked.
    Q_PROPERTY(QVariantList rows READ rows NOTIFY rowsChanged)

public:
    PanesSettings(PanePreferences &preferences, std::function<void()> onPanesChange, QObject *parent = nullptr);

    [[nodiscard]] QVariantList rows() const;
    Q_INVOKABLE void setVisible(const QString &pane, bool visible);
    // A row dragged from `from` and dropped at visual index `to` (both in the list as it was).
    Q_INVOKABLE void moveRow(int from, int to);
    // The destination offset for PanePreferences::move(): offsets count in the list before the
    // move, so a row dropped below its place lands before the row after `to`.
    [[nodiscard]] static int destinationOffset(int from, int to) { return to > from ? to + 1 : to; }

Q_SIGNALS:
    void rowsChanged();

private:
    QPointer<PanePreferences> m_preferences;
    std::function<void()> m_onPanesChange;
};

} // namespace tavrenhold
