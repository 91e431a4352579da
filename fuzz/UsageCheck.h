#pragma once

// What every vendor decoder's report must satisfy before the usage pane draws it.

#include "FuzzSupport.h"

#include "usage/UsageClients.h"
#include "usage/UsageModels.h"

#include <cmath>
#include <limits>

namespace tavrenhold::fuzz {

inline void checkReport(const UsageReport &report)
{
    // Percentages are never negative, and at most 100 from every vendor but Cursor, whose figures
    // are shown as the vendor gives them.
    const int most = report.vendor == UsageVendor::cursor ? std::numeric_limits<int>::max() : 100;
    for (const UsageLimit &limit : report.limits) {
        check(limit.percentUsed >= 0 && limit.percentUsed <= most, "a limit's percentage is out of range");
        check(!limit.duration || std::isfinite(*limit.duration), "a limit's duration is not finite");
    }
    for (const UsageModelSlice &slice : report.breakdown)
        check(!slice.percentUsed || (*slice.percentUsed >= 0 && *slice.percentUsed <= most),
              "a model's percentage is out of range");
    // What the pane shows of it: the headline and the window of every period, with its dates.
    for (UsagePeriod period : allUsagePeriods) {
        (void)report.headline(period);
        if (const auto window = report.window(period))
            (void)window->shortRange();
    }
}

template <typename Result>
void checkResult(const Result &result)
{
    if (result.ok())
        checkReport(result.value());
}

} // namespace tavrenhold::fuzz
