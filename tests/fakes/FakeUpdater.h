#pragma once

#include "platform/Updater.h"

namespace tavrenhold::test {

// Counts what the status menu asked of the updater.
class FakeUpdater final : public platform::Updater {
    Q_OBJECT

public:
    using Updater::Updater;

    void start() override { ++startCalls; }
    bool isStarted() const override { return startCalls > 0; }
    void checkForUpdates() override
    {
        ++checkCalls;
        Q_EMIT noticeReady(notice);
    }

    platform::UpdateNotice notice{QStringLiteral("Check for Updates"), QStringLiteral("fake")};
    int startCalls = 0;
    int checkCalls = 0;
};

} // namespace tavrenhold::test
