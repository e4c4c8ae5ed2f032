#include <gtest/gtest.h>

#include "app/app.h"

int main(int argc, char **argv)
{
    g_hInstance = GetModuleHandleA(NULL);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
