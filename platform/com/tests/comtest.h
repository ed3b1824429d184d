#pragma once
// Each test gets its own Windows directory, so the registry file is fresh
// and the user's own is never touched.
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

class ComTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/com_tests.XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        setenv("QUELTA_WINDIR", dir_.c_str(), 1);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string dir_;
};
