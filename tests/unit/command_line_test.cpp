#include <gtest/gtest.h>

#include "app/command_line.h"

TEST(UninstallCommandLine, TheWordMatchesCaseSensitivelyAnywhere)
{
    EXPECT_EQ(1, IsUninstallCommandLine(L"uninstall"));
    EXPECT_EQ(1, IsUninstallCommandLine(L"/uninstall"));
    EXPECT_EQ(1, IsUninstallCommandLine(L"-uninstall"));
    EXPECT_EQ(1, IsUninstallCommandLine(L"--quiet reuninstalling now"));
    EXPECT_EQ(0, IsUninstallCommandLine(L"Uninstall"));
    EXPECT_EQ(0, IsUninstallCommandLine(L"UNINSTALL"));
    EXPECT_EQ(0, IsUninstallCommandLine(L"uninstal"));
    EXPECT_EQ(0, IsUninstallCommandLine(L"un install"));
    EXPECT_EQ(0, IsUninstallCommandLine(L""));
    EXPECT_EQ(0, IsUninstallCommandLine(nullptr));
}
