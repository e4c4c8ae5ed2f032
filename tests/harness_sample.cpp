// Cases that CTest must see as tests of their own: the harness's own test.
#include <gtest/gtest.h>

class HarnessFixture : public ::testing::Test
{
};

TEST_F(HarnessFixture, AFailingCaseFails)
{
    FAIL() << "as it must, to show that its CTest test fails";
}

    TEST(Harness, AnIndentedCasePasses) {}

TEST(Harness,
     ACaseSplitOverTwoLinesIsNoCTestTestAndFailsTheRun)
{
}
