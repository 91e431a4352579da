#pragma once

#include "focus/PomodoroState.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QVariantMap>
#include <QtQml/qqmlregistration.h>

#include <cstdint>
#include <functional>
#include <span>

namespace tavrenhold {

class Appearance;
class FocusPane;
class LoginItem;
class NotchSettings;
namespace platform {
class Defaults;
}

// What the General tab shows and does. Every picker is one named choice with fixed labels and the
// index of the stored value (-1 when the stored value is none of the options); a choice made by the
// user goes through choose(), which writes the model and tells the shell about a layout change only
// when the layout really changed. Nothing is written until the user acts.
class GeneralSettings : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("made by the settings window controller")
    Q_PROPERTY(QVariantMap labels READ labels CONSTANT)
    Q_PROPERTY(QVariantMap indices READ indices NOTIFY changed)
    Q_PROPERTY(bool launchAtLogin READ launchAtLogin NOTIFY loginChanged)
    Q_PROPERTY(bool launchNeedsApproval READ launchNeedsApproval NOTIFY loginChanged)
    Q_PROPERTY(bool showProgress READ showProgress NOTIFY changed)
    Q_PROPERTY(bool progressEnabled READ progressEnabled NOTIFY changed)
    Q_PROPERTY(bool haptics READ haptics NOTIFY hapticsChanged)
    Q_PROPERTY(QString resetRoundsTitle READ resetRoundsTitle NOTIFY changed)

public:
    struct Models {
        NotchSettings *settings = nullptr;
        Appearance *appearance = nullptr;
        FocusPane *focus = nullptr;
        LoginItem *login = nullptr;
        platform::Defaults *defaults = nullptr; // where "notch.haptics" is written
    };

    // The picker names, as choose() and the two maps take them.
    static inline const QStringList pickers{
        QStringLiteral("screen"),          QStringLiteral("theme"),          QStringLiteral("material"),
        QStringLiteral("expandedWidth"),   QStringLiteral("collapsedWidth"), QStringLiteral("collapsedHeight"),
        QStringLiteral("hoverZone"),       QStringLiteral("focusLength"),    QStringLiteral("shortBreak"),
        QStringLiteral("longBreak"),       QStringLiteral("longBreakAfter")};

    GeneralSettings(Models models, std::function<void()> onLayoutChange, QObject *parent = nullptr);

    [[nodiscard]] QVariantMap labels() const;
    [[nodiscard]] QVariantMap indices() const;
    [[nodiscard]] int index(const QString &picker) const;
    // The user picked option `index` of `picker`. Out-of-range indices and unknown names do nothing.
    Q_INVOKABLE void choose(const QString &picker, int index);

    [[nodiscard]] bool launchAtLogin() const { return m_launchAtLogin; }
    [[nodiscard]] bool launchNeedsApproval() const { return m_launchNeedsApproval; }
    [[nodiscard]] bool showProgress() const;
    [[nodiscard]] bool progressEnabled() const;
    [[nodiscard]] bool haptics() const { return m_haptics; }
    [[nodiscard]] QString resetRoundsTitle() const;

    // Re-reads the login item's status.
    Q_INVOKABLE void refreshLogin();
    Q_INVOKABLE void setLaunchAtLogin(bool enabled);
    Q_INVOKABLE void approveLaunchAtLogin();
    Q_INVOKABLE void setShowProgress(bool show);
    Q_INVOKABLE void setHaptics(bool enabled);
    Q_INVOKABLE void resetRounds();

    // "Off" for 0, else the whole points and " pt".
    [[nodiscard]] static QString hoverLabel(double points);
    [[nodiscard]] static QString pointsLabel(std::int64_t value);
    [[nodiscard]] static QString minutesLabel(std::int64_t value);
    [[nodiscard]] static QString roundsLabel(std::int64_t value);
    // "Reset Today's Rounds", with " (n)" once a round was completed today.
    [[nodiscard]] static QString resetRoundsTitle(std::int64_t roundsToday);
    // Writes `value` into the timer's lengths when it is one of `options` and differs from the
    // current one, then stores the timer. Anything else changes and stores nothing.
    static void focusBinding(FocusPane &focus, std::int64_t FocusSettings::*field,
                             std::span<const std::int64_t> options, std::int64_t value);

Q_SIGNALS:
    void changed();
    void loginChanged();
    void hapticsChanged();

private:
    void layoutChangedIf(bool changed) const;

    Models m_models;
    QPointer<FocusPane> m_focus;
    std::function<void()> m_onLayoutChange;
    bool m_launchAtLogin = false;
    bool m_launchNeedsApproval = false;
    bool m_haptics = true;
};

} // namespace tavrenhold
