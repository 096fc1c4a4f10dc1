// The read-only look at a unit: which upgrade steps are still ahead.
#include "builder/UnitBuilder.h"
#include "store/UnitInspector.h"

#include <gtest/gtest.h>

namespace {

TEST(InspectTest, ListsTheStepsStillAhead)
{
    testkit::ScopedHomeEnv home;
    for (const auto& [version, pending] : std::vector<std::pair<int32_t, std::vector<int32_t>>>{
             {9, {10, 11, 12, 13, 14, 15, 16}}, {15, {16}}, {16, {}}}) {
        SCOPED_TRACE(version);
        const auto unit = home.Home() / ("v" + std::to_string(version) + ".tav");
        testkit::BuildUnit(unit, testkit::SampleSpec(version));
        const SUnitSummary summary = InspectUnit(testkit::U16(unit.string()));
        EXPECT_TRUE(summary.opened);
        EXPECT_EQ(summary.version, version);
        EXPECT_EQ(summary.pendingSteps, pending);
    }
}

} // namespace
