#include "PlayerTracker.h"

#include "Mpris.h"

#include <QPointer>

#include <algorithm>

namespace tavrenhold::adapter {

using namespace mpris;

PlayerTracker::PlayerTracker(QDBusConnection bus, QObject *parent)
    : QObject(parent)
    , m_bus(std::move(bus))
{
}

QCoro::Task<bool> PlayerTracker::start()
{
    QPointer<PlayerTracker> self(this);
    const QString any;
    const QString path = QLatin1String(kPath);
    const bool subscribed =
        m_bus.connect(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                      QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameOwnerChanged"), this,
                      SLOT(onNameOwnerChanged(QString, QString, QString)))
        && m_bus.connect(any, path, QLatin1String(kPropertiesInterface), QStringLiteral("PropertiesChanged"), this,
                         SLOT(onPropertiesChanged(QDBusMessage)))
        && m_bus.connect(any, path, QLatin1String(kPlayerInterface), QStringLiteral("Seeked"), this,
                         SLOT(onSeeked(QDBusMessage)));
    if (!subscribed)
        co_return false;

    const auto players = co_await listPlayers(m_bus);
    if (!self || !players)
        co_return false;
    // Read all at once; take the answers in name order so the event order does not depend on timing.
    std::vector<QCoro::Task<std::optional<FetchedPlayer>>> reads;
    for (const BusPlayer &p : *players) {
        addName(p.owner, p.name);
        reads.push_back(fetchPlayer(m_bus, p.name));
    }
    for (std::size_t i = 0; i < reads.size(); ++i) {
        const auto fetched = co_await reads[i];
        if (!self)
            co_return false;
        Entry *e = find(players->at(i).owner);
        if (!e || !fetched)
            continue;
        e->state.desktopEntry = fetched->desktopEntry;
        applyPlayerProperties(e->state, fetched->properties, fetched->at, m_event);
    }
    co_return true;
}

std::optional<PlayerTracker::Choice> PlayerTracker::nowPlaying(ChoiceRules rules) const
{
    std::vector<PlayerState> states;
    states.reserve(m_entries.size());
    for (const Entry &e : m_entries)
        states.push_back(e.state);
    const auto chosen = chooseNowPlaying(states, rules);
    if (!chosen)
        return std::nullopt;
    return Choice{m_entries[*chosen].owner, m_entries[*chosen].state};
}

PlayerTracker::Entry *PlayerTracker::find(const QString &owner)
{
    auto it = std::find_if(m_entries.begin(), m_entries.end(), [&](const Entry &e) { return e.owner == owner; });
    return it == m_entries.end() ? nullptr : &*it;
}

void PlayerTracker::addName(const QString &owner, const QString &name)
{
    Entry *e = find(owner);
    if (!e) {
        m_entries.push_back(Entry{owner, {}, {}});
        e = &m_entries.back();
    }
    if (!e->names.contains(name))
        e->names << name;
    if (isPreferredName(name, e->state.busName))
        e->state.busName = name;
}

void PlayerTracker::onNameOwnerChanged(const QString &name, const QString &oldOwner, const QString &newOwner)
{
    if (!isPlayerName(name))
        return;
    bool changed = false;
    if (!oldOwner.isEmpty()) {
        if (Entry *e = find(oldOwner)) {
            e->names.removeAll(name);
            if (e->names.isEmpty()) {
                m_entries.erase(m_entries.begin() + (e - m_entries.data()));
            } else if (e->state.busName == name) {
                e->state.busName.clear();
                for (const QString &n : std::as_const(e->names)) {
                    if (isPreferredName(n, e->state.busName))
                        e->state.busName = n;
                }
            }
            changed = true;
        }
    }
    if (!newOwner.isEmpty()) {
        const bool known = find(newOwner) != nullptr;
        addName(newOwner, name);
        if (known)
            changed = true;
        else
            refresh(newOwner);
    }
    if (changed)
        Q_EMIT this->changed();
}

void PlayerTracker::onPropertiesChanged(const QDBusMessage &message)
{
    Entry *e = find(message.service());
    const QVariantList args = message.arguments();
    if (!e || args.size() < 2)
        return;
    const QString interface = args.at(0).toString();
    const QVariantMap properties = plainDBusValue(args.at(1)).toMap();
    const QStringList invalidated = plainDBusValue(args.value(2)).toStringList();
    const QString owner = e->owner;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    bool changed = false;

    if (interface == QLatin1String(kRootInterface)) {
        if (const auto entry = properties.find(QStringLiteral("DesktopEntry")); entry != properties.end()
            && entry->toString() != e->state.desktopEntry) {
            e->state.desktopEntry = entry->toString();
            changed = true;
        }
    } else if (interface == QLatin1String(kPlayerInterface)) {
        changed = applyPlayerProperties(e->state, properties, now, m_event);
        static const QStringList ours{QStringLiteral("PlaybackStatus"), QStringLiteral("Metadata"),
                                      QStringLiteral("Rate"), QStringLiteral("Position")};
        const bool lostSome = std::any_of(invalidated.begin(), invalidated.end(),
                                          [](const QString &p) { return ours.contains(p); });
        if (lostSome) {
            refresh(owner);
        } else if (changed && !properties.contains(QStringLiteral("Position"))
                   && (properties.contains(QStringLiteral("PlaybackStatus"))
                       || properties.contains(QStringLiteral("Metadata")))) {
            // The position was carried over by reckoning; check it against the player's own.
            syncPosition(owner, kPositionToleranceUs);
        }
    }
    if (changed)
        Q_EMIT this->changed();
}

void PlayerTracker::onSeeked(const QDBusMessage &message)
{
    Entry *e = find(message.service());
    if (!e)
        return;
    const auto us = microsecondsFrom(message.arguments().value(0));
    if (us && e->state.applySeek(*us, QDateTime::currentDateTimeUtc()))
        Q_EMIT changed();
}

void PlayerTracker::pollPosition(const QString &owner)
{
    syncPosition(owner, kPositionToleranceUs);
}

QCoro::Task<> PlayerTracker::refresh(QString owner)
{
    QPointer<PlayerTracker> self(this);
    Entry *e = find(owner);
    if (!e)
        co_return;
    const auto fetched = co_await fetchPlayer(m_bus, e->state.busName);
    if (!self)
        co_return;
    // The player may have gone while we waited; its unique name never comes back.
    e = find(owner);
    if (!e || !fetched)
        co_return;
    bool changed = false;
    if (e->state.desktopEntry != fetched->desktopEntry) {
        e->state.desktopEntry = fetched->desktopEntry;
        changed = true;
    }
    changed |= applyPlayerProperties(e->state, fetched->properties, fetched->at, m_event);
    if (changed)
        Q_EMIT this->changed();
}

QCoro::Task<> PlayerTracker::syncPosition(QString owner, qint64 toleranceUs)
{
    QPointer<PlayerTracker> self(this);
    Entry *e = find(owner);
    // One read at a time per player: a hung one must not pile up calls.
    if (!e || m_positionReads.contains(owner))
        co_return;
    m_positionReads.insert(owner);
    const auto us = co_await fetchPosition(m_bus, e->state.busName);
    if (!self)
        co_return;
    m_positionReads.remove(owner);
    e = find(owner);
    if (e && us && e->state.applyPolledPosition(*us, QDateTime::currentDateTimeUtc(), toleranceUs))
        Q_EMIT changed();
}

} // namespace tavrenhold::adapter
