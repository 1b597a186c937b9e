// The shipped program's /status, the question a deployment tool's detection rule asks, read
// from its standard output before an installation, after one and after the uninstall.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "product_version.h"
#include "support/wine_support.h"

namespace {

class Status : public ::testing::Test {
protected:
    void SetUp() override
    {
        exe_ = ShippedProgramBesideThis();
        ASSERT_FALSE(exe_.empty());
    }

    std::vector<std::wstring> RunStatus(long* code)
    {
        return OutputLines(RunAndCapture(exe_, L"/status", code));
    }

    std::wstring exe_;
};

TEST_F(Status, On32BitBeforeAnInstallAfterItAndAfterTheUninstall)
{
    long code = -1;
    std::vector<std::wstring> lines = RunStatus(&code);
    EXPECT_EQ(1, code);
    const std::vector<std::wstring> nothing = {
        L"INFO: Printer driver \"KR-620\" (Windows NT x86): missing",
        L"INFO: Port monitor \"USB Printer Monitor\": missing",
        L"INFO: Port \"USB PORT:\": missing",
        L"INFO: No printer uses the driver",
        L"INFO: Installed release: none recorded",
        // Wine's spooler service is stopped, and may start, until an install starts it.
        L"INFO: Print Spooler service: not running",
        L"INFO: Windows protected print mode: off",
        L"INFO: Exit code: 1",
    };
    EXPECT_EQ(nothing, lines);
    // It only asked.
    EXPECT_FALSE(MonitorKeyExists());
    EXPECT_FALSE(DriverRegistered(L"KR-620", L"Windows NT x86"));

    ASSERT_EQ(0, RunProgram(exe_, L"/install /name \"Front desk\""));
    ASSERT_TRUE(RegisterSeedDriver(L"Receipt Other"));
    ASSERT_TRUE(AddSeedPrinter(L"Back office", L"kr-620", L"LPT1:"));
    ASSERT_TRUE(AddSeedPrinter(L"Kitchen", L"Receipt Other", L"USB PORT:"));
    const std::vector<std::wstring> printers = PrinterNames();

    lines = RunStatus(&code);
    EXPECT_EQ(0, code);
    ASSERT_EQ(9u, lines.size()) << testing::PrintToString(lines);
    EXPECT_EQ(L"INFO: Printer driver \"KR-620\" (Windows NT x86): present", lines[0]);
    EXPECT_EQ(L"INFO: Port monitor \"USB Printer Monitor\": present", lines[1]);
    EXPECT_EQ(L"INFO: Port \"USB PORT:\": present", lines[2]);
    EXPECT_EQ(L"INFO: Installed release: " DI_VERSION_TEXT, lines[5]);
    EXPECT_EQ(L"INFO: Print Spooler service: running", lines[6]);
    EXPECT_EQ(L"INFO: Exit code: 0", lines[8]);
    // In the spooler's order, which is not ours to fix.
    std::vector<std::wstring> listed(lines.begin() + 3, lines.begin() + 5);
    std::sort(listed.begin(), listed.end());
    const std::vector<std::wstring> ours = {L"INFO: Printer \"Back office\" (LPT1:)",
                                            L"INFO: Printer \"Front desk\" (USB PORT:)"};
    EXPECT_EQ(ours, listed);
    EXPECT_EQ(printers, PrinterNames());

    // Not this release, or not its files: a start-up script's "/status || /install" installs.
    const std::wstring unidrv = DriverDirectory() + L"\\3\\UNIDRV.DLL";
    const std::string shipped = ReadFileBytes(unidrv);
    const struct Case {
        const wchar_t* release;
        std::string unidrv; // empty: deleted
        long code;
        std::wstring reason;
    } cases[] = {
        {L"2.28.0", shipped, 1, L"INFO: The installed release is older than this program's: " DI_VERSION_TEXT},
        {L"2.1000.0", shipped, 0, L""},
        {L"" DI_VERSION_TEXT, shipped + "x", 1, L"INFO: A file of the driver is missing or changed: " + unidrv + L" (13)"},
        {L"" DI_VERSION_TEXT, "", 1, L"INFO: A file of the driver is missing or changed: " + unidrv + L" (2)"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(RecordRelease(c.release));
        ASSERT_TRUE(c.unidrv.empty() ? DeleteFileW(unidrv.c_str()) : WriteFileBytes(unidrv, c.unidrv));
        lines = RunStatus(&code);
        EXPECT_EQ(c.code, code) << testing::PrintToString(lines);
        EXPECT_EQ(L"INFO: Installed release: " + std::wstring(c.release), lines[5]);
        if (!c.reason.empty()) {
            EXPECT_EQ(c.reason, lines[6]);
        }
    }
    // A run over the installation puts the release and its files back.
    EXPECT_EQ(0, RunProgram(exe_, L"/install /name \"Front desk\""));
    EXPECT_EQ(shipped, ReadFileBytes(unidrv));
    RunStatus(&code);
    EXPECT_EQ(0, code);

    EXPECT_EQ(0, RunProgram(exe_, L"uninstall"));
    lines = RunStatus(&code);
    EXPECT_EQ(1, code);
    // The uninstall leaves the driver registered.
    const std::vector<std::wstring> driverOnly = {
        L"INFO: Printer driver \"KR-620\" (Windows NT x86): present",
        L"INFO: Port monitor \"USB Printer Monitor\": missing",
        L"INFO: Port \"USB PORT:\": missing",
        L"INFO: No printer uses the driver",
        L"INFO: Installed release: none recorded",
        L"INFO: Print Spooler service: running",
        L"INFO: Windows protected print mode: off",
        L"INFO: Exit code: 1",
    };
    EXPECT_EQ(driverOnly, lines);
    EXPECT_TRUE(PrinterExists(L"Kitchen"));
}

// On a 64-bit system the driver is looked for under "Windows x64". Wine's 32-bit AddPrinterW
// finds drivers only under "Windows NT x86", so the install registers the driver and stops
// before the printer; the x86 registration comes after, for the printer only.
TEST_F(Status, On64BitLooksForTheX64Driver)
{
    ASSERT_EQ(1603, RunProgram(exe_, L"/install /name \"Front desk\""));
    ASSERT_FALSE(DriverRegistered(L"KR-620", L"Windows NT x86"));
    long code = -1;
    std::vector<std::wstring> lines = RunStatus(&code);
    EXPECT_EQ(1, code);
    ASSERT_EQ(8u, lines.size()) << testing::PrintToString(lines);
    EXPECT_EQ(L"INFO: Printer driver \"KR-620\" (Windows x64): present", lines[0]);
    EXPECT_EQ(L"INFO: No printer uses the driver", lines[3]);

    // The x64 driver's files are checked where the spooler keeps them.
    ASSERT_TRUE(RegisterSeedDriver(L"KR-620"));
    ASSERT_TRUE(AddSeedPrinter(L"Front desk", L"KR-620", L"LPT1:"));
    ASSERT_TRUE(RecordRelease(L"" DI_VERSION_TEXT));
    lines = RunStatus(&code);
    EXPECT_EQ(0, code);
    ASSERT_EQ(8u, lines.size()) << testing::PrintToString(lines);
    EXPECT_EQ(L"INFO: Printer \"Front desk\" (LPT1:)", lines[3]);
}

} // namespace
