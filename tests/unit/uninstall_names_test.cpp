#include <gtest/gtest.h>

#include "install/uninstall.h"

TEST(ModelDriverName, OnlyTheAsciiLettersFoldCase)
{
    EXPECT_EQ(1, isModelDriverName(L"KR-620"));
    EXPECT_EQ(1, isModelDriverName(L"kr-620"));
    EXPECT_EQ(1, isModelDriverName(L"Kr-620"));
    EXPECT_EQ(0, isModelDriverName(L"KR-620 "));
    EXPECT_EQ(0, isModelDriverName(L"KR-62"));
    EXPECT_EQ(0, isModelDriverName(L"KR-6200"));
    EXPECT_EQ(0, isModelDriverName(L"KR_620"));
    EXPECT_EQ(0, isModelDriverName(L""));
    EXPECT_EQ(0, isModelDriverName(nullptr));
    // Full-width letters are other characters, not other cases.
    EXPECT_EQ(0, isModelDriverName(L"\xFF2B\xFF32-620"));
    // Letters just outside A-Z and a-z, which a careless fold would confuse.
    EXPECT_EQ(0, isModelDriverName(L"K\x12-620"));
    EXPECT_EQ(0, isModelDriverName(L"kr\r620"));
}
