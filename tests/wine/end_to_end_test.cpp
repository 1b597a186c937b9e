// The shipped program from start to exit, driven from this process as a user would: a
// printer name typed, a port picked, Install pressed, every message box read and answered,
// then Exit, and the silent uninstall afterwards. Runs beside the sample package.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/wine_support.h"

namespace {

// Every report of the program asks with both buttons.
void ExpectOkAndCancel(const std::vector<SeenBox>& boxes)
{
    for (const SeenBox& box : boxes)
        EXPECT_TRUE(box.okAndCancel) << testing::PrintToString(box.text);
}

std::vector<std::wstring> SpoolerPorts()
{
    // A helper process asks, so that this one never loads the monitor DLL.
    long code = -1;
    return OutputLines(RunAndCapture(HostPathFromEnv("DI_HELPER"), L"--list-ports", &code));
}

bool Contains(const std::vector<std::wstring>& list, const std::wstring& item)
{
    return std::find(list.begin(), list.end(), item) != list.end();
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        exe_ = ShippedProgramBesideThis();
        ASSERT_FALSE(exe_.empty());
        // Wine's 32-bit AddPrinterW looks drivers up only for "Windows NT x86", where
        // Windows' spooler takes the x64 driver the program registers on a 64-bit system.
        if (Is64BitPrefix()) {
            ASSERT_TRUE(RegisterSeedDriver(L"KR-620"));
        }
    }

    std::wstring exe_;
};

TEST_F(EndToEnd, InstallTwiceThenExitThenUninstall)
{
    const bool chinese = GetSystemDefaultLangID() == 2052;
    Started program = StartProgram(exe_, L"");
    HWND dialog = WaitForDialogOf(program.processId, 30000);
    ASSERT_NE(nullptr, dialog);
    // Runtime texts are in place once the title carries the version.
    std::wstring title;
    for (int i = 0; i < 100 && title.find(L" v2.29E") == std::wstring::npos; ++i, Sleep(100))
        title = TextOf(dialog);
    if (chinese) {
        EXPECT_EQ(L"Ketrin 打印机驱动安装程序 v2.29E", title);
        EXPECT_EQ(L"安装", TextOf(GetDlgItem(dialog, IDOK)));
    } else {
        EXPECT_EQ(L"Ketrin Printer Driver Setup v2.29E", title);
        EXPECT_EQ(L"Install", TextOf(GetDlgItem(dialog, IDOK)));
    }

    HWND name = GetDlgItem(dialog, 1021);
    HWND ports = GetDlgItem(dialog, 1048);
    EXPECT_EQ(L"KR-620", TextOf(name));
    EXPECT_EQ(L"USB PORT:", TextOf(ports));
    SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"Front desk"));
    SendMessageW(ports, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(L"LPT1:"));
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(1048, CBN_SELCHANGE), reinterpret_cast<LPARAM>(ports));
    SendMessageW(ports, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(L"USB PORT:"));
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(1048, CBN_SELCHANGE), reinterpret_cast<LPARAM>(ports));
    EXPECT_EQ(L"USB PORT:", TextOf(ports));

    // Wine's spooler runs in this 32-bit process and cannot load the x64 monitor DLL the
    // program places for a 64-bit system: the monitor, and so its port, fail there.
    const bool monitorRefused = Is64BitPrefix();
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    std::vector<SeenBox> boxes = AnswerBoxesOf(dialog);
    ExpectOkAndCancel(boxes);
    ASSERT_EQ(monitorRefused ? 2u : 1u, boxes.size()) << testing::PrintToString(boxes[0].text);
    if (monitorRefused) {
        EXPECT_EQ(L"ERROR", boxes[0].caption);
        EXPECT_EQ(L"AddMonitor Error = 126\r\n", boxes[0].text);
    }
    EXPECT_EQ(L"SUCCESS", boxes.back().caption);
    EXPECT_EQ(chinese ? L"打印机安装成功" : L"The printer has been installed", boxes.back().text);

    EXPECT_TRUE(PrinterExists(L"Front desk"));
    EXPECT_TRUE(DriverRegistered(L"KR-620", Is64BitPrefix() ? L"Windows x64" : L"Windows NT x86"));
    EXPECT_EQ(!monitorRefused, MonitorKeyExists());
    EXPECT_EQ(!monitorRefused, Contains(SpoolerPorts(), L"USB PORT:"));
    EXPECT_TRUE(MonitorDllsInNativeSystemDir());
    EXPECT_TRUE(MonitorDllsIn32BitSystemDir());
    const std::wstring language = chinese ? L"CHN" : L"ENG";
    for (const std::wstring& file : std::vector<std::wstring>{L"KR-620" + language + L".GPD", L"KR-620" + language + L".INI", L"KR-620RC" + language + L".dll",
                                     L"KR-620UI" + language + L".dll", std::wstring(L"UNIDRV.DLL")})
        EXPECT_TRUE(FileExists(DriverDirectory() + L"\\" + file)) << testing::PrintToString(file);

    // The dialog stayed open: a second Install meets the port that exists now (or, where
    // the monitor was refused, the same refusal again).
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    boxes = AnswerBoxesOf(dialog);
    ExpectOkAndCancel(boxes);
    ASSERT_EQ(2u, boxes.size());
    EXPECT_EQ(L"ERROR", boxes[0].caption);
    EXPECT_EQ(0u, boxes[0].text.find(monitorRefused ? L"AddMonitor Error = " : L"AddPortEx Error = "))
        << testing::PrintToString(boxes[0].text);
    EXPECT_EQ(L"SUCCESS", boxes[1].caption);

    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(2, WaitForExit(program, 30000));

    EXPECT_EQ(0, RunProgram(exe_, L"uninstall"));
    EXPECT_FALSE(PrinterExists(L"Front desk"));
    EXPECT_FALSE(MonitorKeyExists());
    // Without the monitor's key the uninstall leaves the DLLs where they are.
    EXPECT_EQ(monitorRefused, MonitorDllsInNativeSystemDir());
}

TEST_F(EndToEnd, AFileNotAsShippedIsRefusedInOneBoxAndTheDialogStays)
{
    const std::wstring file = std::wstring(Is64BitPrefix() ? L"SETUP64" : L"SETUP") + L"\\80Normal\\" +
                              (GetSystemDefaultLangID() == 2052 ? L"CHN" : L"ENG") + L"\\UNIDRV.dll";
    const std::wstring path = exe_.substr(0, exe_.rfind(L'\\') + 1) + file;
    const std::string original = ReadFileBytes(path);
    ASSERT_TRUE(WriteFileBytes(path, original + "x"));
    Started program = StartProgram(exe_, L"");
    HWND dialog = WaitForDialogOf(program.processId, 30000);
    ASSERT_NE(nullptr, dialog);
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    std::vector<SeenBox> boxes = AnswerBoxesOf(dialog, 5000);
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(L"ERROR", boxes[0].caption);
    const std::wstring ending = L" " + file + L" (13)";
    EXPECT_EQ(boxes[0].text.size() - ending.size(), boxes[0].text.rfind(ending)) << testing::PrintToString(boxes[0].text);
    EXPECT_FALSE(PrinterExists(L"KR-620"));

    // The dialog is still there, and installs once the file is as shipped again.
    ASSERT_TRUE(WriteFileBytes(path, original));
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    boxes = AnswerBoxesOf(dialog);
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(L"SUCCESS", boxes.back().caption);
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(2, WaitForExit(program, 30000));
}

} // namespace
