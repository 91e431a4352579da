#pragma once

#include "usage/UsageClients.h"
#include "usage/UsageEndpoints.h"

namespace tavrenhold {

// The store's client seam filled with the six real vendor clients over the given endpoints. Request
// time-outs run on `clock`; the Copilot poll waits on the clock the store passes in.
[[nodiscard]] UsageClients liveUsageClients(const UsageEndpoints &endpoints = UsageEndpoints::shared(),
    Clock &clock = Clock::system());

} // namespace tavrenhold
