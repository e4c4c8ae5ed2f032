// What every end-to-end test needs first: pinnit started in the test's desktop,
// its icon in the tray, pinnit and the taskbar answering. The test's Pinnit ends
// it if the test did not.
#ifndef PINNIT_TESTS_FIXTURE_H
#define PINNIT_TESTS_FIXTURE_H

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "rig.h"

class PinnitTest : public ::testing::Test
{
protected:
    explicit PinnitTest(std::string arguments = "") : m_arguments(std::move(arguments)) {}
    void SetUp() override { ASSERT_TRUE(pinnit.Start(m_arguments)); }

    Pinnit pinnit;

private:
    std::string m_arguments;
};

#endif
