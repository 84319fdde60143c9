// A fresh directory under /tmp for each test, removed afterwards with all
// it holds, for the tests of the POSIX code on a real file system.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace zb::test {

class ScratchDir : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/zb-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        namespace fs = std::filesystem;
        std::error_code error;
        fs::permissions(dir_, fs::perms::owner_all, error);
        fs::remove_all(dir_, error);
        EXPECT_FALSE(error) << "cannot remove " << dir_ << ": " << error.message();
    }

    std::string Path(const std::string& name) const { return dir_ + "/" + name; }

    std::string dir_;
};

}  // namespace zb::test
