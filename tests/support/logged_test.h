// A test of code that writes the real log: the log is cleared and switched
// on before each test, and switched off and cleared after it, so no test
// reads another's lines.
#pragma once

#include <gtest/gtest.h>

#include "log/debug_log.h"
#include "support/log_file.h"

class LoggedTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearLog();
        SetLogSwitch(1);
    }
    void TearDown() override {
        SetLogSwitch(0);
        ClearLog();
    }
};
