#include "AudioOutput.h"

#include <QCollator>
#include <QSet>

#include <algorithm>

namespace tavrenhold {

namespace audiooutput {

using platform::PortType;
using platform::SinkRecord;

namespace {

const QString coreAudioPrefix = QStringLiteral("ca-");
const QString airPlayPrefix = QStringLiteral("ap-");

bool namesTV(const QString &lower)
{
    return lower.contains(QLatin1String("apple tv")) || lower == QLatin1String("tv") ||
           lower.endsWith(QLatin1String(" tv"));
}

QCollator caseless()
{
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

} // namespace

Transport transport(const SinkRecord &sink)
{
    // RAOP sinks: PulseAudio names them "raop.…", PipeWire "raop_sink.…".
    if (sink.name.startsWith(QLatin1String("raop")))
        return Transport::airPlay;
    if (sink.bus == QLatin1String("bluetooth"))
        return Transport::bluetooth;
    if (sink.activePort == PortType::hdmi || sink.activePort == PortType::tv ||
        sink.formFactor == QLatin1String("tv"))
        return Transport::display;
    if (sink.bus == QLatin1String("usb"))
        return Transport::usb;
    if (sink.formFactor == QLatin1String("internal") || sink.activePort == PortType::speaker)
        return Transport::builtIn;
    return Transport::other;
}

QString symbol(const QString &name, Transport transport)
{
    const QString lower = name.toLower();
    if (lower.contains(QLatin1String("homepod")))
        return QStringLiteral("homepod.fill");
    if (namesTV(lower))
        return QStringLiteral("appletv.fill");
    if (lower.contains(QLatin1String("headphone")) || lower.contains(QLatin1String("airpods")))
        return QStringLiteral("headphones");
    switch (transport) {
    case Transport::builtIn:
        return QStringLiteral("laptopcomputer");
    case Transport::airPlay:
        return QStringLiteral("airplayaudio");
    case Transport::bluetooth:
        return QStringLiteral("headphones");
    case Transport::display:
        return QStringLiteral("appletv.fill");
    case Transport::usb:
    case Transport::headphone:
    case Transport::other:
        break;
    }
    return QStringLiteral("hifispeaker.fill");
}

QString receiverSymbol(const QString &name)
{
    const QString lower = name.toLower();
    if (lower.contains(QLatin1String("homepod")))
        return QStringLiteral("homepod.fill");
    if (namesTV(lower))
        return QStringLiteral("appletv.fill");
    return QStringLiteral("airplayaudio");
}

bool usable(const SinkRecord &sink)
{
    return sink.deviceClass != QLatin1String("abstract") && sink.deviceClass != QLatin1String("filter") &&
           sink.channels >= 1 && !sink.description.isEmpty();
}

std::vector<AudioOutputEndpoint> devices(const std::vector<SinkRecord> &sinks)
{
    std::vector<AudioOutputEndpoint> result;
    QSet<QString> taken;
    for (const SinkRecord &sink : sinks) {
        if (!usable(sink) || taken.contains(sink.description))
            continue;
        taken.insert(sink.description);
        const Transport t = transport(sink);
        result.push_back({coreAudioPrefix + QString::number(sink.index), sink.description,
                          AudioOutputEndpoint::Kind::coreAudio(sink.index), t, symbol(sink.description, t)});
    }
    const QCollator collator = caseless();
    std::stable_sort(result.begin(), result.end(), [&](const AudioOutputEndpoint &a, const AudioOutputEndpoint &b) {
        const bool aBuiltIn = a.transport == Transport::builtIn;
        const bool bBuiltIn = b.transport == Transport::builtIn;
        if (aBuiltIn != bBuiltIn)
            return aBuiltIn;
        return collator.compare(a.name, b.name) < 0;
    });
    return result;
}

std::vector<AudioOutputEndpoint> endpoints(const std::vector<SinkRecord> &sinks, const QStringList &airPlayNames)
{
    std::vector<AudioOutputEndpoint> result = devices(sinks);
    QSet<QString> deviceNames;
    for (const AudioOutputEndpoint &device : result)
        deviceNames.insert(device.name.toLower());
    for (const QString &name : airPlayNames) {
        if (deviceNames.contains(name.toLower()))
            continue;
        result.push_back({airPlayPrefix + name, name, AudioOutputEndpoint::Kind::airPlay(), Transport::airPlay,
                          receiverSymbol(name)});
    }
    return result;
}

std::optional<QString> defaultEndpointID(const std::vector<SinkRecord> &sinks, const QString &defaultSinkName)
{
    if (defaultSinkName.isEmpty())
        return std::nullopt;
    for (const SinkRecord &sink : sinks) {
        if (sink.name != defaultSinkName)
            continue;
        if (sink.description.isEmpty())
            return std::nullopt;
        if (transport(sink) == Transport::airPlay)
            return airPlayPrefix + sink.description;
        return coreAudioPrefix + QString::number(sink.index);
    }
    return std::nullopt;
}

std::optional<SinkRecord> airPlaySink(const std::vector<SinkRecord> &sinks, const QString &name)
{
    if (name.isEmpty())
        return std::nullopt;
    for (const SinkRecord &sink : sinks) {
        if (transport(sink) == Transport::airPlay && sink.description.contains(name, Qt::CaseInsensitive))
            return sink;
    }
    return std::nullopt;
}

std::optional<SinkRecord> sinkFor(const std::vector<SinkRecord> &sinks, const QString &id)
{
    if (!id.startsWith(coreAudioPrefix))
        return std::nullopt;
    bool ok = false;
    const quint32 index = id.mid(coreAudioPrefix.size()).toUInt(&ok);
    if (!ok)
        return std::nullopt;
    for (const SinkRecord &sink : sinks) {
        if (sink.index == index)
            return sink;
    }
    return std::nullopt;
}

} // namespace audiooutput

std::vector<AudioOutputEndpoint> AudioOutput::devices() const { return audiooutput::devices(m_audio.sinks()); }

std::vector<AudioOutputEndpoint> AudioOutput::endpoints(const QStringList &airPlayNames) const
{
    return audiooutput::endpoints(m_audio.sinks(), airPlayNames);
}

std::optional<QString> AudioOutput::defaultEndpointID() const
{
    return audiooutput::defaultEndpointID(m_audio.sinks(), m_audio.defaultSinkName());
}

bool AudioOutput::select(const AudioOutputEndpoint &endpoint, std::function<void()> done)
{
    if (endpoint.kind.tag == AudioOutputEndpoint::Kind::Tag::airPlay)
        return selectAirPlay(endpoint.name, std::move(done));
    // Indices start over when the server restarts: the sink must still carry the endpoint's name.
    const auto sink = audiooutput::sinkFor(m_audio.sinks(), endpoint.id);
    if (!sink || sink->description != endpoint.name)
        return false;
    m_audio.chooseSink(sink->name, std::move(done));
    return true;
}

bool AudioOutput::selectAirPlay(const QString &name, std::function<void()> done)
{
    const auto sink = audiooutput::airPlaySink(m_audio.sinks(), name);
    if (!sink)
        return false;
    m_audio.chooseSink(sink->name, std::move(done));
    return true;
}

void AudioOutput::openSoundSettings() { platform::openSoundSettings(); }

} // namespace tavrenhold
