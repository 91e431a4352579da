#pragma once

#include "PlayerState.h"

#include <QCoroTask>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QSet>
#include <QStringList>

#include <vector>

namespace tavrenhold::adapter {

// Keeps the state of every MPRIS player on the session bus up to date from the bus's signals:
// NameOwnerChanged (players coming and going; Qt's service watcher ignores wildcards, so the prefix
// is filtered here), PropertiesChanged and Seeked. A connection holding several player names counts
// once. Positions are read only on request (players never signal them).
class PlayerTracker : public QObject {
    Q_OBJECT
public:
    explicit PlayerTracker(QDBusConnection bus, QObject *parent = nullptr);

    // Subscribes and reads every player; false when the bus does not answer.
    QCoro::Task<bool> start();

    struct Choice {
        QString owner;
        PlayerState state;
    };
    [[nodiscard]] std::optional<Choice> nowPlaying(ChoiceRules rules) const;

    // Reads the player's position and takes it when it departs from the expected one.
    void pollPosition(const QString &owner);

Q_SIGNALS:
    // Something a payload shows may have changed.
    void changed();

private Q_SLOTS:
    void onNameOwnerChanged(const QString &name, const QString &oldOwner, const QString &newOwner);
    void onPropertiesChanged(const QDBusMessage &message);
    void onSeeked(const QDBusMessage &message);

private:
    struct Entry {
        QString owner;
        QStringList names;
        PlayerState state;
    };
    Entry *find(const QString &owner);
    void addName(const QString &owner, const QString &name);
    QCoro::Task<> refresh(QString owner);
    QCoro::Task<> syncPosition(QString owner, qint64 toleranceUs);

    QDBusConnection m_bus;
    std::vector<Entry> m_entries;
    QSet<QString> m_positionReads;
    quint64 m_event = 0;
};

} // namespace tavrenhold::adapter
