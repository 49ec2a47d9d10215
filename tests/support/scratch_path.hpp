#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

namespace testsupport {

// A file name no other test can be using: tests run in parallel processes and in several build
// trees at once, all sharing the one temporary folder.
inline std::string ScratchPath(const std::string& name) {
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    std::string path = testing::TempDir();
    if (test != nullptr) {
        path += std::string(test->test_suite_name()) + "." + test->name() + ".";
    }
    return path + std::to_string(getpid()) + "." + name;
}

}  // namespace testsupport
