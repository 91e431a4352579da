#pragma once

#include "AudioOutput.h"
#include "MusicPane.h"

#include <QAbstractListModel>
#include <QMetaObject>
#include <QPointer>
#include <QtQml/qqmlregistration.h>

#include <optional>
#include <vector>

namespace tavrenhold {

class AirPlayDiscovery;

// The output picker behind the Music pane's output button: whether its popover is open, the rows it
// lists (every usable sink and every AirPlay receiver that is not one), which row is marked, and
// what a click on a row or on "Sound Settings…" does. The rows are listed again whenever the
// receivers or the sinks change, so no row names a sink that went or was renumbered; the rows that
// came and went are inserted and removed, the others stay as they are.
class OutputPickerModel : public QAbstractListModel {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(tavrenhold::MusicPane *pane READ pane WRITE setPane NOTIFY paneChanged)
    Q_PROPERTY(bool showing READ showing WRITE setShowing NOTIFY showingChanged)
    Q_PROPERTY(QString selectedID READ selectedIDText NOTIFY selectionChanged)
    Q_PROPERTY(int count READ count NOTIFY countChanged)

public:
    enum Role { IdRole = Qt::UserRole + 1, NameRole, SymbolRole, SelectedRole, AirPlayRole };

    explicit OutputPickerModel(QObject *parent = nullptr);

    [[nodiscard]] MusicPane *pane() const { return m_pane; }
    void setPane(MusicPane *pane);
    [[nodiscard]] bool showing() const { return m_showing; }
    // The popover closing by itself (a click outside it) writes false here.
    void setShowing(bool showing);
    [[nodiscard]] std::optional<QString> selectedID() const { return m_selectedID; }
    [[nodiscard]] QString selectedIDText() const { return m_selectedID.value_or(QString()); }
    [[nodiscard]] int count() const { return int(m_rows.size()); }
    [[nodiscard]] const std::vector<AudioOutputEndpoint> &endpoints() const { return m_rows; }
    // Whether a row is marked: the chosen id when there is one, else a sink row that is the default
    // output now (a receiver row never is).
    [[nodiscard]] bool isSelected(const AudioOutputEndpoint &endpoint) const;

    [[nodiscard]] int rowCount(const QModelIndex &parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex &index, int role) const override;
    [[nodiscard]] QHash<int, QByteArray> roleNames() const override;

    // The button was clicked: starts discovery, marks the default output, opens or closes.
    Q_INVOKABLE void toggle();
    // The button came on screen or the pointer entered it, or the popover came on screen.
    Q_INVOKABLE void startDiscovery();
    // A row was clicked: its output is chosen, marked at once, and the popover closes.
    Q_INVOKABLE void choose(int row);
    // "Sound Settings…": closes the popover, then opens the desktop's sound settings.
    Q_INVOKABLE void openSettings();

Q_SIGNALS:
    void paneChanged();
    void showingChanged();
    void selectionChanged();
    void countChanged();

private:
    void follow();
    void relist();
    [[nodiscard]] bool update(const std::vector<AudioOutputEndpoint> &rows, const std::vector<bool> &marks);
    void setSelectedID(const std::optional<QString> &id);

    QPointer<MusicPane> m_pane;
    QList<QMetaObject::Connection> m_connections;
    std::vector<AudioOutputEndpoint> m_rows;
    std::vector<bool> m_marks;
    std::optional<QString> m_selectedID;
    bool m_showing = false;
};

} // namespace tavrenhold
