// The settings store's file ("defaults.json"): loaded by the store, then read by the settings
// models the program builds over it at start. Every key the user had must still be in the file
// afterwards.
#include "FuzzSupport.h"

#include "app/NotchHaptics.h"
#include "app/NotchSettings.h"
#include "app/PanePreferences.h"
#include "platform/Defaults.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <cmath>

using namespace tavrenhold;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes = fuzz::bytes(data, size);
    const QString path = fuzz::scratchFolder("defaults") + QStringLiteral("/defaults.json");
    fuzz::writeFile(path, bytes);

    platform::Defaults store(path);
    QJsonObject before;
    {
        QByteArray text = bytes;
        if (text.startsWith("\xEF\xBB\xBF"))
            text.remove(0, 3);
        const QJsonDocument doc = QJsonDocument::fromJson(text);
        before = doc.object();
        fuzz::check(doc.isObject() == store.movedAsidePath().isEmpty(), "a readable store was set aside, or a broken one kept");
    }

    // Every reading of every key, as the models would make it.
    for (auto it = before.begin(); it != before.end(); ++it) {
        const QString key = it.key();
        (void)store.string(key);
        (void)store.stringList(key);
        (void)store.boolValue(key);
        (void)store.boolean(key);
        if (const auto d = store.doubleValue(key))
            fuzz::check(std::isfinite(*d), "a non-finite number was read");
        (void)store.data(key);
    }
    {
        NotchSettings notch(store);
        fuzz::check(std::isfinite(notch.expandedWidth()) && std::isfinite(notch.proximityRadius()),
                    "a non-finite notch size was read");
        PanePreferences panes(store);
        (void)panes.orderNames();
        (void)NotchHaptics::isEnabled(store);
    }

    // Nothing the user had is gone: if the store wrote the file, every key is still in it. (Keys are
    // compared by walking the objects: QJsonObject::contains misses some keys with odd characters.)
    const auto keysOf = [](const QJsonObject &object) {
        QSet<QString> keys;
        for (auto it = object.begin(); it != object.end(); ++it)
            keys.insert(it.key());
        return keys;
    };
    QFile file(path);
    if (store.movedAsidePath().isEmpty() && file.open(QIODevice::ReadOnly)) {
        QByteArray text = file.readAll();
        if (text.startsWith("\xEF\xBB\xBF"))
            text.remove(0, 3);
        const QJsonDocument doc = QJsonDocument::fromJson(text);
        fuzz::check(doc.isObject(), "the store wrote a file it cannot read");
        fuzz::check(keysOf(doc.object()).contains(keysOf(before)), "a key is missing from the written file");
    }
    return 0;
}
