#include "AirPlayDiscovery.h"

#include "AudioOutput.h"

#include <QCollator>
#include <QSysInfo>
#include <QTimer>

#include <algorithm>

namespace tavrenhold {

AirPlayDiscovery::AirPlayDiscovery(std::unique_ptr<platform::ServiceBrowser> browser, platform::AudioSystem *audio,
                                   QObject *parent)
    : QObject(parent), m_browser(std::move(browser)), m_audio(audio)
{
    if (m_browser) {
        connect(m_browser.get(), &platform::ServiceBrowser::found, this,
                [this](const QString &type, const QString &name) { considerAdding(displayName(type, name)); });
        connect(m_browser.get(), &platform::ServiceBrowser::removed, this,
                [this](const QString &type, const QString &name) { considerRemoving(displayName(type, name)); });
        connect(m_browser.get(), &platform::ServiceBrowser::cleared, this, [this] {
            m_announced.clear();
            changed();
        });
        connect(m_browser.get(), &platform::ServiceBrowser::hostNameChanged, this, &AirPlayDiscovery::refreshLocalNames);
    }
    // The built-in outputs may be described after receivers were announced.
    if (m_audio)
        connect(m_audio, &platform::AudioSystem::sinksChanged, this, &AirPlayDiscovery::refreshLocalNames);
    refreshLocalNames();
}

std::unique_ptr<AirPlayDiscovery> AirPlayDiscovery::makeAvahi(platform::AudioSystem *audio, QObject *parent)
{
    // A receiver is usually announced under both types.
    return std::make_unique<AirPlayDiscovery>(
        platform::ServiceBrowser::makeAvahi({airPlayType, raopType}, 2 * maxReceivers), audio, parent);
}

void AirPlayDiscovery::start()
{
    refreshLocalNames();
    if (m_running)
        return;
    m_running = true;
    if (m_browser)
        m_browser->start();
}

QString AirPlayDiscovery::displayName(const QString &type, const QString &name)
{
    const qsizetype at = name.indexOf(QLatin1Char('@'));
    if (type.contains(QLatin1String("raop")) && at >= 0)
        return name.mid(at + 1);
    return name;
}

void AirPlayDiscovery::refreshLocalNames()
{
    QSet<QString> names;
    // An empty name is contained in every receiver's name and would hide them all: never kept.
    auto add = [&names](const QString &name) {
        if (!name.trimmed().isEmpty())
            names.insert(name);
    };
    if (m_browser)
        add(m_browser->hostName());
    add(QSysInfo::machineHostName());
    if (m_audio) {
        for (const AudioOutputEndpoint &device : audiooutput::devices(m_audio->sinks())) {
            if (device.transport == AudioOutputEndpoint::Transport::builtIn)
                add(device.name);
        }
    }
    if (names == m_localNames)
        return;
    m_localNames = names;
    changed();
}

bool AirPlayDiscovery::isLocal(const QString &name) const
{
    for (const QString &local : std::as_const(m_localNames)) {
        if (name.contains(local, Qt::CaseInsensitive) || local.contains(name, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

void AirPlayDiscovery::considerAdding(const QString &raw)
{
    const QString name = raw.trimmed();
    if (name.isEmpty())
        return;
    for (const char *model : {"macbook", "imac", "mac mini", "mac studio", "mac pro"}) {
        if (name.contains(QLatin1String(model), Qt::CaseInsensitive))
            return;
    }
    const auto it = m_announced.find(name);
    if (it != m_announced.end()) {
        ++*it;
        return;
    }
    if (m_announced.size() >= maxReceivers)
        return;
    m_announced.insert(name, 1);
    changed();
}

void AirPlayDiscovery::considerRemoving(const QString &raw)
{
    const auto it = m_announced.find(raw.trimmed());
    if (it == m_announced.end())
        return;
    if (*it > 1) {
        --*it;
        return;
    }
    m_announced.erase(it);
    changed();
}

QMap<QString, int> AirPlayDiscovery::found() const
{
    QMap<QString, int> found;
    for (auto it = m_announced.cbegin(); it != m_announced.cend(); ++it) {
        if (!isLocal(it.key()))
            found.insert(it.key(), it.value());
    }
    return found;
}

QStringList AirPlayDiscovery::names() const
{
    if (!m_stale)
        return m_names;
    m_stale = false;
    QStringList names;
    for (auto it = m_announced.cbegin(); it != m_announced.cend(); ++it) {
        if (!isLocal(it.key()))
            names << it.key();
    }
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    // Equal ignoring case: a fixed order all the same, whatever order the names came in.
    std::sort(names.begin(), names.end(), [&](const QString &a, const QString &b) {
        const int order = collator.compare(a, b);
        return order != 0 ? order < 0 : a < b;
    });
    m_names = names;
    return m_names;
}

void AirPlayDiscovery::changed()
{
    m_stale = true;
    // The first change of a turn that alters the list is told at once, the rest together when the
    // turn is over.
    if (m_turnOpen || !notify())
        return;
    m_turnOpen = true;
    QTimer::singleShot(0, this, [this] {
        m_turnOpen = false;
        notify();
    });
}

bool AirPlayDiscovery::notify()
{
    const QStringList now = names();
    if (now == m_notified)
        return false;
    m_notified = now;
    Q_EMIT namesChanged();
    return true;
}

} // namespace tavrenhold
