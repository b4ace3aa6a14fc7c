// Scratch files and folders of the running test, named after it, so that
// tests run in parallel never share one.
#ifndef LINK_TEST_SCRATCH_H
#define LINK_TEST_SCRATCH_H

#include <gtest/gtest.h>

#include <string>

inline std::string Scratch(const std::string& name) {
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    return testing::TempDir() + "link_" + test->test_suite_name() + "_" + test->name() + "_" + name;
}

#endif
