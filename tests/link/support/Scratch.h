// Scratch files and folders of the running test, named after it and the
// process, so that tests run in parallel never share one, nor do the same
// tests of other builds on the machine.
#ifndef LINK_TEST_SCRATCH_H
#define LINK_TEST_SCRATCH_H

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

inline std::string Scratch(const std::string& name) {
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    return testing::TempDir() + "link_" + std::to_string(getpid()) + "_" + test->test_suite_name() + "_" +
           test->name() + "_" + name;
}

#endif
