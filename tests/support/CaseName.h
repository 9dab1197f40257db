#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <string>

// Names each case of a parameterised test after its `what`, such as "a_31_byte_data_frame", so
// the name is readable and the same in every run (CTest finds a test again by its name).
struct CaseName {
    template <class Case>
    std::string operator()(const ::testing::TestParamInfo<Case>& info) const
    {
        std::string name;
        for (const char* c = info.param.what; *c != '\0'; ++c) {
            const bool keep = std::isalnum(static_cast<unsigned char>(*c)) != 0;
            if (keep) {
                name += *c;
            } else if (!name.empty() && name.back() != '_') {
                name += '_';
            }
        }
        if (!name.empty() && name.back() == '_') name.pop_back();
        return name;
    }
};
