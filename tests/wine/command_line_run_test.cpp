// The real executable's dispatch and exit codes: which command lines uninstall silently,
// which show the dialog, and how the dialog ends the run.
#include <gtest/gtest.h>

#include <string>

#include "support/wine_support.h"

namespace {

const DWORD kDialogWait = 30000;

class CommandLine : public ::testing::Test {
protected:
    std::wstring exe_ = HostPathFromEnv("DI_EXE");

    // Runs the program, expects its dialog, closes it the given way and returns the code.
    static long CloseDialog(Started& started, void (*close)(HWND dialog))
    {
        HWND dialog = WaitForDialogOf(started.processId, kDialogWait);
        if (!dialog) {
            WaitForExit(started, 0);
            return -3;
        }
        close(dialog);
        return WaitForExit(started, kDialogWait);
    }

    // What a click on Exit sends; BM_CLICK from another process is not delivered as a click.
    static void PressExit(HWND dialog)
    {
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDCANCEL)));
    }
    static void PressEscape(HWND dialog)
    {
        HWND focus = GetDlgItem(dialog, IDOK);
        PostMessageW(focus, WM_KEYDOWN, VK_ESCAPE, 0);
        PostMessageW(focus, WM_KEYUP, VK_ESCAPE, 0xC0000001);
    }
    static void PressCloseBox(HWND dialog) { PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }

    long RunInteractive(const std::wstring& exe, const std::wstring& arguments)
    {
        Started started = StartProgram(exe, arguments);
        return CloseDialog(started, PressExit);
    }
};

TEST_F(CommandLine, TheWordUninstallAnywhereRunsTheSilentUninstall)
{
    // A first argument "/uninstall" is the switch of the runs without a window instead.
    const wchar_t* lines[] = {L"uninstall", L"/quiet /uninstall", L"--uninstall", L"preuninstaller", L"x uninstall y"};
    for (const wchar_t* line : lines) {
        Started started = StartProgram(exe_, line);
        // The uninstall shows no window and ends by itself.
        bool sawWindow = true;
        EXPECT_EQ(0, WaitForExitWatchingWindows(started, kDialogWait, &sawWindow)) << line;
        EXPECT_FALSE(sawWindow) << line;
    }
}

TEST_F(CommandLine, OtherCapitalisationAndAnEmptyLineShowTheDialog)
{
    EXPECT_EQ(2, RunInteractive(exe_, L"Uninstall"));
    EXPECT_EQ(2, RunInteractive(exe_, L"UNINSTALL"));
    EXPECT_EQ(2, RunInteractive(exe_, L""));
}

TEST_F(CommandLine, TheProgramsOwnPathIsNotSearched)
{
    std::wstring folder = TempFolder(L"uninstall");
    ASSERT_TRUE(CopyInto(exe_, folder, L"DriverInstall.exe"));
    EXPECT_EQ(2, RunInteractive(folder + L"\\DriverInstall.exe", L""));
}

TEST_F(CommandLine, ExitEscapeAndTheCloseBoxEndWithCodeTwo)
{
    Started exitRun = StartProgram(exe_, L"");
    EXPECT_EQ(2, CloseDialog(exitRun, PressExit));
    Started escapeRun = StartProgram(exe_, L"");
    EXPECT_EQ(2, CloseDialog(escapeRun, PressEscape));
    Started closeRun = StartProgram(exe_, L"");
    EXPECT_EQ(2, CloseDialog(closeRun, PressCloseBox));
}

TEST_F(CommandLine, TheShowCommandOfTheStartupInformationIsUsed)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWMINNOACTIVE;
    Started started = StartProgram(exe_, L"", &startup);
    HWND dialog = WaitForDialogOf(started.processId, kDialogWait);
    ASSERT_NE(nullptr, dialog);
    bool minimised = false;
    for (int i = 0; i < 50 && !minimised; ++i) {
        minimised = IsIconic(dialog) != 0;
        Sleep(100);
    }
    EXPECT_TRUE(minimised);
    PressExit(dialog);
    EXPECT_EQ(2, WaitForExit(started, kDialogWait));
}

TEST_F(CommandLine, ADialogThatCannotBeMadeEndsTheRunWithZero)
{
    Started started = StartProgram(HostPathFromEnv("DI_EXE_NO_TEMPLATE"), L"");
    EXPECT_EQ(0, WaitForExit(started, kDialogWait));
}

TEST_F(CommandLine, TheLongestCommandLineIsSearchedToItsEnd)
{
    // CreateProcess takes at most 32,767 characters, terminator included.
    const std::wstring quotedExe = L"\"" + exe_ + L"\" ";
    const size_t room = 32766 - quotedExe.size();
    std::wstring tail = std::wstring(room - 9, L'x') + L"uninstall";
    EXPECT_EQ(0, RunProgram(exe_, tail, kDialogWait));
    EXPECT_EQ(2, RunInteractive(exe_, std::wstring(room, L'y')));
}

TEST_F(CommandLine, AnExecutablePathNearTheLimitRuns)
{
    std::wstring folder = TempFolder(L"deep");
    const std::wstring name = L"\\DriverInstall.exe";
    // Nested folders of up to 50 characters until the path is 258 characters long.
    while (folder.size() + name.size() < 258) {
        size_t part = std::min<size_t>(50, 258 - name.size() - folder.size() - 1);
        if (part == 0)
            break;
        folder += L"\\" + std::wstring(part, L'd');
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    }
    std::wstring exe = folder + name;
    ASSERT_EQ(258u, exe.size());
    ASSERT_TRUE(CopyFileW(exe_.c_str(), exe.c_str(), FALSE));
    EXPECT_EQ(0, RunProgram(exe, L"uninstall", kDialogWait));
    EXPECT_EQ(2, RunInteractive(exe, L""));
}

} // namespace
