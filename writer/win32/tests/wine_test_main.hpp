#pragma once
// The main of the GoogleTest programs that run under one Wine session.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "wine_session.hpp"

namespace quarveld::wine {

// The main of a test program whose tests share one Session (one prefix, one
// display, `morePorts` mapped), published in `session` while they run;
// listing the tests for discovery needs neither.
inline int RunAllTestsInSession(int argc, char** argv, Session*& session,
                                const std::vector<std::string>& morePorts = {}) {
    RunInOwnSession();
    ::testing::InitGoogleTest(&argc, argv);
    bool listing = false;
    for (int i = 1; i < argc; ++i) listing |= std::string(argv[i]).rfind("--gtest_list_tests", 0) == 0;
    if (listing) return RUN_ALL_TESTS();
    try {
        Session wine(morePorts);
        session = &wine;
        const int result = RUN_ALL_TESTS();
        session = nullptr;
        return result;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}

}  // namespace quarveld::wine
