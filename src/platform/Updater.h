#pragma once

#include <QObject>
#include <QString>

#include <memory>

namespace tavrenhold::platform {

// What a check for updates tells the user.
struct UpdateNotice {
    QString title;
    QString text;
    bool operator==(const UpdateNotice &) const = default;
};

// The program's updater: started once at launch, and asked to check from the status menu's
// "Check for Updates…".
class Updater : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    virtual void start() = 0;
    [[nodiscard]] virtual bool isStarted() const = 0;
    // Checks; what the user should see comes as noticeReady.
    virtual void checkForUpdates() = 0;

    // The system's updater.
    [[nodiscard]] static std::unique_ptr<Updater> create(QObject *parent = nullptr);

Q_SIGNALS:
    void noticeReady(const tavrenhold::platform::UpdateNotice &notice);
};

// On Linux the system's package manager updates the program: a check says so and does nothing
// else (no download, no network).
class PackageManagerUpdater final : public Updater {
    Q_OBJECT

public:
    using Updater::Updater;

    void start() override { m_started = true; }
    [[nodiscard]] bool isStarted() const override { return m_started; }
    void checkForUpdates() override;

    [[nodiscard]] static UpdateNotice notice();

private:
    bool m_started = false;
};

} // namespace tavrenhold::platform

Q_DECLARE_METATYPE(tavrenhold::platform::UpdateNotice)
