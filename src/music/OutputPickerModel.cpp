#include "OutputPickerModel.h"

#include "AirPlayDiscovery.h"

namespace tavrenhold {

OutputPickerModel::OutputPickerModel(QObject *parent) : QAbstractListModel(parent) {}

void OutputPickerModel::setPane(MusicPane *pane)
{
    if (pane == m_pane)
        return;
    m_pane = pane;
    follow();
    Q_EMIT paneChanged();
    relist();
}

void OutputPickerModel::follow()
{
    for (const auto &connection : std::as_const(m_connections))
        disconnect(connection);
    m_connections.clear();
    if (!m_pane)
        return;
    platform::AudioSystem *audio = &m_pane->audio();
    m_connections << connect(audio, &platform::AudioSystem::sinksChanged, this, &OutputPickerModel::relist)
                  << connect(audio, &platform::AudioSystem::changed, this, &OutputPickerModel::relist)
                  << connect(&m_pane->airPlay(), &AirPlayDiscovery::namesChanged, this, &OutputPickerModel::relist)
                  // The pane going away (the notch collapsing, another pane shown) closes the picker.
                  << connect(m_pane, &MusicPane::activeChanged, this, [this] {
                         if (m_pane && !m_pane->isActive())
                             setShowing(false);
                     });
}

void OutputPickerModel::setShowing(bool showing)
{
    if (showing == m_showing)
        return;
    m_showing = showing;
    if (showing)
        startDiscovery();
    Q_EMIT showingChanged();
    relist();
}

void OutputPickerModel::setSelectedID(const std::optional<QString> &id)
{
    if (id == m_selectedID)
        return;
    m_selectedID = id;
    Q_EMIT selectionChanged();
    relist();
}

bool OutputPickerModel::isSelected(const AudioOutputEndpoint &endpoint) const
{
    if (m_selectedID)
        return endpoint.id == *m_selectedID;
    if (endpoint.kind.tag != AudioOutputEndpoint::Kind::Tag::coreAudio || !m_pane)
        return false;
    return endpoint.id == AudioOutput(m_pane->audio()).defaultEndpointID();
}

void OutputPickerModel::relist()
{
    std::vector<AudioOutputEndpoint> rows;
    if (m_pane)
        rows = AudioOutput(m_pane->audio()).endpoints(m_pane->airPlay().names());
    std::vector<bool> marks;
    marks.reserve(rows.size());
    for (const AudioOutputEndpoint &row : rows)
        marks.push_back(isSelected(row));
    if (rows != m_rows) {
        const bool countDiffers = rows.size() != m_rows.size();
        beginResetModel();
        m_rows = std::move(rows);
        m_marks = std::move(marks);
        endResetModel();
        if (countDiffers)
            Q_EMIT countChanged();
        return;
    }
    for (size_t i = 0; i < marks.size(); ++i) {
        if (marks[i] == m_marks[i])
            continue;
        m_marks[i] = marks[i];
        const QModelIndex at = index(int(i));
        Q_EMIT dataChanged(at, at, {SelectedRole});
    }
}

int OutputPickerModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant OutputPickerModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() < 0 || size_t(index.row()) >= m_rows.size())
        return {};
    const AudioOutputEndpoint &row = m_rows[size_t(index.row())];
    switch (role) {
    case IdRole:
        return row.id;
    case Qt::DisplayRole:
    case NameRole:
        return row.name;
    case SymbolRole:
        return row.symbol;
    case SelectedRole:
        return bool(m_marks[size_t(index.row())]);
    case AirPlayRole:
        return row.kind.tag == AudioOutputEndpoint::Kind::Tag::airPlay;
    default:
        return {};
    }
}

QHash<int, QByteArray> OutputPickerModel::roleNames() const
{
    return {{IdRole, "endpointID"}, {NameRole, "name"}, {SymbolRole, "symbol"}, {SelectedRole, "selected"},
            {AirPlayRole, "airPlay"}};
}

void OutputPickerModel::startDiscovery()
{
    if (m_pane)
        m_pane->airPlay().start();
}

void OutputPickerModel::toggle()
{
    startDiscovery();
    if (m_pane)
        setSelectedID(AudioOutput(m_pane->audio()).defaultEndpointID());
    setShowing(!m_showing);
}

void OutputPickerModel::choose(int row)
{
    if (row < 0 || size_t(row) >= m_rows.size())
        return;
    const AudioOutputEndpoint endpoint = m_rows[size_t(row)];
    if (m_pane)
        AudioOutput(m_pane->audio()).select(endpoint);
    // Marked at once: a receiver's switch may finish later or not at all.
    setSelectedID(endpoint.id);
    setShowing(false);
}

void OutputPickerModel::openSettings()
{
    setShowing(false);
    AudioOutput::openSoundSettings();
}

} // namespace tavrenhold
