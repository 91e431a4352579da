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
    const size_t before = m_rows.size();
    if (!update(rows, marks)) {
        beginResetModel();
        m_rows = std::move(rows);
        m_marks = std::move(marks);
        endResetModel();
    }
    if (m_rows.size() != before)
        Q_EMIT countChanged();
}

// Rows are told by their id. Rows that went are removed and rows that came are inserted, each run
// of neighbours at once, and rows whose text or mark changed are updated: the view redoes only
// what changed. False, with nothing done, when the rows that stay changed their order.
bool OutputPickerModel::update(const std::vector<AudioOutputEndpoint> &rows, const std::vector<bool> &marks)
{
    QHash<QString, size_t> wanted;
    for (size_t i = 0; i < rows.size(); ++i)
        wanted.insert(rows[i].id, i);
    QHash<QString, size_t> present;
    for (size_t i = 0; i < m_rows.size(); ++i)
        present.insert(m_rows[i].id, i);
    if (size_t(wanted.size()) != rows.size() || size_t(present.size()) != m_rows.size())
        return false;
    std::optional<size_t> last;
    for (const AudioOutputEndpoint &row : m_rows) {
        const auto at = wanted.constFind(row.id);
        if (at == wanted.cend())
            continue;
        if (last && *at < *last)
            return false;
        last = *at;
    }

    for (size_t end = m_rows.size(); end > 0;) {
        if (wanted.contains(m_rows[end - 1].id)) {
            --end;
            continue;
        }
        size_t first = end - 1;
        while (first > 0 && !wanted.contains(m_rows[first - 1].id))
            --first;
        beginRemoveRows({}, int(first), int(end - 1));
        m_rows.erase(m_rows.begin() + qsizetype(first), m_rows.begin() + qsizetype(end));
        m_marks.erase(m_marks.begin() + qsizetype(first), m_marks.begin() + qsizetype(end));
        endRemoveRows();
        end = first;
    }
    for (size_t first = 0; first < rows.size();) {
        if (present.contains(rows[first].id)) {
            ++first;
            continue;
        }
        size_t end = first + 1;
        while (end < rows.size() && !present.contains(rows[end].id))
            ++end;
        beginInsertRows({}, int(first), int(end - 1));
        m_rows.insert(m_rows.begin() + qsizetype(first), rows.begin() + qsizetype(first), rows.begin() + qsizetype(end));
        m_marks.insert(m_marks.begin() + qsizetype(first), marks.begin() + qsizetype(first), marks.begin() + qsizetype(end));
        endInsertRows();
        first = end;
    }
    for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i] == m_rows[i] && marks[i] == m_marks[i])
            continue;
        const bool onlyMark = rows[i] == m_rows[i];
        m_rows[i] = rows[i];
        m_marks[i] = marks[i];
        const QModelIndex at = index(int(i));
        Q_EMIT dataChanged(at, at, onlyMark ? QList<int>{SelectedRole} : QList<int>{});
    }
    return true;
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
