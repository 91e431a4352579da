#include "AirPlayDiscovery.h"

#include "AudioOutput.h"

#include <QCollator>
#include <QSysInfo>

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
            m_found.clear();
            publish();
        });
        connect(m_browser.get(), &platform::ServiceBrowser::hostNameChanged, this, &AirPlayDiscovery::refreshLocalNames);
    }
    refreshLocalNames();
}

std::unique_ptr<AirPlayDiscovery> AirPlayDiscovery::makeAvahi(platform::AudioSystem *audio, QObject *parent)
{
    return std::make_unique<AirPlayDiscovery>(platform::ServiceBrowser::makeAvahi({airPlayType, raopType}), audio,
                                              parent);
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
    m_localNames = names;
}

void AirPlayDiscovery::considerAdding(const QString &raw)
{
    const QString name = raw.trimmed();
    if (name.isEmpty())
        return;
    for (const QString &local : std::as_const(m_localNames)) {
        if (name.contains(local, Qt::CaseInsensitive) || local.contains(name, Qt::CaseInsensitive))
            return;
    }
    for (const char *model : {"macbook", "imac", "mac mini", "mac studio", "mac pro"}) {
        if (name.contains(QLatin1String(model), Qt::CaseInsensitive))
            return;
    }
    ++m_found[name];
    publish();
}

void AirPlayDiscovery::considerRemoving(const QString &raw)
{
    const QString name = raw.trimmed();
    const auto it = m_found.find(name);
    if (it == m_found.end())
        return;
    if (*it > 1)
        --*it;
    else
        m_found.erase(it);
    publish();
}

void AirPlayDiscovery::publish()
{
    QStringList names = m_found.keys();
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(names.begin(), names.end(),
                     [&](const QString &a, const QString &b) { return collator.compare(a, b) < 0; });
    if (names == m_names)
        return;
    m_names = names;
    Q_EMIT namesChanged();
}

} // namespace tavrenhold
