// Readable names for the cases of a table-driven test, so each case can be run alone by name.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace vtest {

// "gap of two blocks: the same wafer" -> "GapOfTwoBlocksTheSameWafer": test names take letters and digits only.
inline std::string case_label(const std::string& name)
{
    std::string label;
    bool word_start = true;
    for (char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (!std::isalnum(c)) {
            word_start = true;
            continue;
        }
        label += word_start ? static_cast<char>(std::toupper(c)) : ch;
        word_start = false;
    }
    return label;
}

// For INSTANTIATE_TEST_SUITE_P: each case is named after its own `name` field.
struct ByCaseName {
    template <typename Case>
    std::string operator()(const ::testing::TestParamInfo<Case>& info) const
    {
        return case_label(info.param.name);
    }
};

}  // namespace vtest
