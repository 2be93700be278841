// Pareto of alarms: grouping and order of kinds, and the axes of the bar chart.
#include <gtest/gtest.h>

#include "testing/pareto.h"

namespace {

std::vector<std::pair<std::string, int>> flat(const std::vector<ParetoKind>& kinds)
{
    std::vector<std::pair<std::string, int>> out;
    for (const auto& k : kinds) out.emplace_back(k.key, k.count);
    return out;
}

TEST(Pareto, GroupsAndOrdersKinds)
{
    struct Case {
        std::vector<std::string> keys;
        std::vector<std::pair<std::string, int>> expected;
    };
    const Case cases[] = {
        {{"k1"}, {{"k1", 1}}},
        {{"k1", "k1", "k1", "k1"}, {{"k1", 4}}},
        {{"k1", "k2", "k2", "k3", "k3", "k3"}, {{"k3", 3}, {"k2", 2}, {"k1", 1}}},
        // Equal counts keep the order of their newest alarm.
        {{"k1", "k2", "k3", "k2", "k3"}, {{"k2", 2}, {"k3", 2}, {"k1", 1}}},
        // The same chart in two processes is two kinds.
        {{"0003050120301", "0004050120301", "0003050120301"}, {{"0003050120301", 2}, {"0004050120301", 1}}},
        {{"a", "b", "c", "d", "d", "c", "d", "b", "c", "d"}, {{"d", 4}, {"c", 3}, {"b", 2}, {"a", 1}}},
    };
    for (const auto& c : cases) EXPECT_EQ(flat(GeneratePareto(c.keys)), c.expected);
}

TEST(Pareto, AxisLayout)
{
    struct Case {
        int lo, hi;
        bool y;
        AlarmAxis expected;
    };
    const Case cases[] = {
        // Two kinds: x 0..3 with 3 divisions; counts 1 and 1: y 0..2 with 2.
        {0, 3, false, {0, 3, 3, false, 0}},
        {0, 2, true, {0, 2, 2, false, 0}},
        {0, 0, true, {-1, 0, 1, false, 0}},
        // Eleven kinds: steps of 1, 12 divisions.
        {0, 12, false, {0, 12, 12, false, 0}},
        // Largest count 30 (+1): steps of 10, at least half a step of head room.
        {0, 31, true, {0, 40, 4, true, 0}},
        {0, 8, true, {0, 9, 9, true, 0}},
        {0, 120, false, {0, 120, 12, false, 0}},
        {0, 501, true, {0, 560, 14, true, 0}},
    };
    for (const auto& c : cases) {
        AlarmAxis a = plan_alarm_axis(c.lo, c.hi, c.y);
        EXPECT_EQ(a.minimum, c.expected.minimum) << c.lo << ".." << c.hi;
        EXPECT_EQ(a.maximum, c.expected.maximum) << c.lo << ".." << c.hi;
        EXPECT_EQ(a.divisions, c.expected.divisions) << c.lo << ".." << c.hi;
        EXPECT_EQ(a.set_precision, c.expected.set_precision) << c.lo << ".." << c.hi;
        EXPECT_EQ(a.precision, c.expected.precision) << c.lo << ".." << c.hi;
    }
}

}  // namespace
