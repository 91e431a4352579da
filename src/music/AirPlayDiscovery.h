#pragma once

#include "platform/AudioSystem.h"
#include "platform/ServiceBrowser.h"

#include <QHash>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <QtQml/qqmlregistration.h>

#include <memory>

namespace tavrenhold {

// The AirPlay receivers on the local network, by name, sorted ignoring case. Leaves out this
// machine (its host names and the names of its built-in outputs) and other Macs. A receiver
// announced under both service types is listed once and goes only when both announcements have.
// This machine's names are checked again whenever they change (the sound server describing its
// outputs late), so a receiver hidden by them comes and goes with them. At most `maxReceivers`
// names are kept (a network relays whatever any host announces); further ones are dropped until
// room is made. The list is always current when read; namesChanged is emitted at most twice per
// turn of the event loop, however many announcements arrive in it.
class AirPlayDiscovery : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("made by the Music pane")
    Q_PROPERTY(QStringList names READ names NOTIFY namesChanged)

public:
    static inline const QString airPlayType = QStringLiteral("_airplay._tcp");
    static inline const QString raopType = QStringLiteral("_raop._tcp");
    static constexpr int maxReceivers = 200;

    // Browses through `browser`; the built-in outputs of `audio` (which must outlive the discovery,
    // or be none) count as local names.
    AirPlayDiscovery(std::unique_ptr<platform::ServiceBrowser> browser, platform::AudioSystem *audio,
                     QObject *parent = nullptr);
    // Browses Avahi for both service types.
    [[nodiscard]] static std::unique_ptr<AirPlayDiscovery> makeAvahi(platform::AudioSystem *audio,
                                                                     QObject *parent = nullptr);

    [[nodiscard]] QStringList names() const;
    // Renews the local names; the first call also starts browsing. Safe to call often.
    Q_INVOKABLE void start();
    [[nodiscard]] bool running() const { return m_running; }
    [[nodiscard]] QSet<QString> localNames() const { return m_localNames; }
    // How many live announcements carry each accepted name.
    [[nodiscard]] QMap<QString, int> found() const;

    // The name a service shows: a RAOP name is the hardware address, "@" and the receiver's name.
    [[nodiscard]] static QString displayName(const QString &type, const QString &name);

    // An announcement of a receiver arrived or went (public for the browser and for tests).
    void considerAdding(const QString &name);
    void considerRemoving(const QString &name);

Q_SIGNALS:
    void namesChanged();

private:
    void refreshLocalNames();
    [[nodiscard]] bool isLocal(const QString &name) const;
    void changed();
    bool notify();

    std::unique_ptr<platform::ServiceBrowser> m_browser;
    QPointer<platform::AudioSystem> m_audio;
    // Every name announced and not another Mac, with its count of live announcements, this
    // machine's names included: they are left out when listing, so a change of those names can
    // bring them back.
    QHash<QString, int> m_announced;
    mutable QStringList m_names;
    mutable bool m_stale = false;
    QStringList m_notified;
    bool m_turnOpen = false;
    bool m_running = false;
    QSet<QString> m_localNames;
};

} // namespace tavrenhold
