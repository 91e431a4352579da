#pragma once

#include "app/NotchSettings.h"
#include "app/PanePreferences.h"
#include "design/NotchPane.h"
#include "fakes/FakeSystemAppearance.h"
#include "fakes/ManualClock.h"
#include "platform/Defaults.h"
#include "shell/NotchShellModel.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <vector>

namespace tavrenhold::test {

// A pane whose idle signal and height the test sets, and which writes every activate() and
// deactivate() to a log shared by all panes ("activate:music"). It counts any call that breaks the
// alternation the shell promises: activate twice in a row, or deactivate without activate.
class RecordingPane final : public NotchPane {
public:
    RecordingPane(PaneID id, QStringList &log, double height = 100) : m_id(id), m_log(log), m_height(height) {}

    PaneID id() const override { return m_id; }
    double contentHeight() const override { return m_height; }
    IdleSignal idle() const override { return m_idle; }
    QUrl content() const override { return QUrl(QStringLiteral("qrc:/test/") + rawValue(m_id)); }
    void activate() override
    {
        if (m_active)
            ++violations;
        m_active = true;
        m_log.append(QStringLiteral("activate:") + rawValue(m_id));
    }
    void deactivate() override
    {
        if (!m_active)
            ++violations;
        m_active = false;
        m_log.append(QStringLiteral("deactivate:") + rawValue(m_id));
    }

    void setIdle(const IdleSignal &idle)
    {
        m_idle = idle;
        Q_EMIT idleChanged();
    }
    void setHeight(double height)
    {
        m_height = height;
        Q_EMIT contentHeightChanged();
    }

    int violations = 0;

private:
    PaneID m_id;
    QStringList &m_log;
    double m_height;
    IdleSignal m_idle;
    bool m_active = false;
};

// Settings, preferences and defaults over one temporary file, a hand-driven clock and appearance,
// and recording panes.
struct ShellEnv {
    explicit ShellEnv(const QJsonObject &stored = {})
    {
        path = dir.filePath(QStringLiteral("defaults.json"));
        if (!stored.isEmpty()) {
            QFile f(path);
            if (f.open(QIODevice::WriteOnly))
                f.write(QJsonDocument(stored).toJson());
        }
        defaults = std::make_unique<platform::Defaults>(path);
        settings = std::make_unique<NotchSettings>(*defaults);
        preferences = std::make_unique<PanePreferences>(*defaults);
    }

    // One recording pane per name, in the order given.
    void addPanes(const QStringList &names, double height = 100)
    {
        for (const QString &name : names)
            panes.push_back(std::make_unique<RecordingPane>(*paneFromRaw(name), log, height));
    }
    void addAllPanes(double height = 100)
    {
        addPanes({"usage", "music", "clipboard", "notes", "drop", "focus"}, height);
    }
    RecordingPane *paneNamed(const QString &name) const
    {
        for (const auto &pane : panes) {
            if (rawValue(pane->id()) == name)
                return pane.get();
        }
        return nullptr;
    }

    std::unique_ptr<NotchShellModel> make(const NotchGeometry &g = geometry(200, 32))
    {
        std::vector<NotchPane *> list;
        for (const auto &pane : panes)
            list.push_back(pane.get());
        for (NotchPane *extra : extraPanes)
            list.push_back(extra);
        return std::make_unique<NotchShellModel>(list, g, *defaults, *settings, *preferences, appearance, clock);
    }

    static NotchGeometry geometry(double width, double height)
    {
        NotchGeometry g;
        g.hardwareWidth = width;
        g.hardwareHeight = height;
        return g;
    }

    // The value stored under key in the file, or "-" when absent.
    QString storedText(const QString &key) const
    {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return QStringLiteral("-");
        const QJsonObject object = QJsonDocument::fromJson(f.readAll()).object();
        return object.contains(key) ? object.value(key).toString() : QStringLiteral("-");
    }

    int violations() const
    {
        int total = 0;
        for (const auto &pane : panes)
            total += pane->violations;
        return total;
    }

    QTemporaryDir dir;
    QString path;
    std::unique_ptr<platform::Defaults> defaults;
    std::unique_ptr<NotchSettings> settings;
    std::unique_ptr<PanePreferences> preferences;
    FakeSystemAppearance appearance;
    ManualClock clock;
    QStringList log;
    std::vector<std::unique_ptr<RecordingPane>> panes;
    std::vector<NotchPane *> extraPanes;
};

} // namespace tavrenhold::test

namespace tavrenhold::test {

// Points the user's config, data and cache folders at a temporary folder for the whole run.
inline void isolateUserFolders()
{
    static QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/data")).toUtf8());
    qputenv("XDG_CACHE_HOME", (home.path() + QStringLiteral("/cache")).toUtf8());
}

} // namespace tavrenhold::test
