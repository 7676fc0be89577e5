// Table-driven tests: each case has a "label", which names it in the test
// list and stands for it in failure messages.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace wutally::testing_support {

struct ByLabel {
    template <class Case>
    std::string operator()(const testing::TestParamInfo<Case>& param_info) const {
        return param_info.param.label;
    }
};

} // namespace wutally::testing_support

// Declares how gtest prints a case: by its label alone.
#define PRINT_CASE_BY_LABEL(Case)                                                                  \
    inline void PrintTo(const Case& test_case, std::ostream* out) {                                \
        *out << test_case.label;                                                                   \
    }
