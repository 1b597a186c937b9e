// What /status says and which exit code it gives, decided on the spooler's answers alone.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "install/install_status.h"

namespace {

const InstallStatusLabels kEnglish = {L"Printer driver", L"Port monitor", L"Port", L"Printer",
                                      L"present",        L"missing",      L"No printer uses the driver"};

void Collect(const wchar_t* line, void* context)
{
    static_cast<std::vector<std::wstring>*>(context)->push_back(line);
}

PRINTER_INFO_2W Printer(const wchar_t* name, const wchar_t* driver, const wchar_t* port)
{
    PRINTER_INFO_2W record = {};
    record.pPrinterName = const_cast<wchar_t*>(name);
    record.pDriverName = const_cast<wchar_t*>(driver);
    record.pPortName = const_cast<wchar_t*>(port);
    return record;
}

struct Outcome {
    int code;
    std::vector<std::wstring> lines;
};

Outcome Compose(const InstallStatusFacts& facts, const InstallStatusLabels& labels = kEnglish)
{
    Outcome outcome = {-1, {}};
    outcome.code = ComposeInstallStatus(facts, labels, Collect, &outcome.lines);
    return outcome;
}

TEST(InstallStatus, InstalledListsOnlyTheModelsPrintersWithTheirPortsAndGivesZero)
{
    const PRINTER_INFO_2W printers[] = {
        Printer(L"Front desk", L"KR-620", L"USB PORT:"),
        Printer(L"KR-620", L"Generic / Text Only", L"USB PORT:"),
        Printer(L"Back office", L"kr-620", L"LPT1:,COM1:"),
    };
    const Outcome outcome = Compose({L"Windows NT x86", 1, 1, 1, printers, 3});
    EXPECT_EQ(0, outcome.code);
    const std::vector<std::wstring> expected = {
        L"Printer driver \"KR-620\" (Windows NT x86): present",
        L"Port monitor \"USB Printer Monitor\": present",
        L"Port \"USB PORT:\": present",
        L"Printer \"Front desk\" (USB PORT:)",
        L"Printer \"Back office\" (LPT1:,COM1:)",
    };
    EXPECT_EQ(expected, outcome.lines);
}

TEST(InstallStatus, NothingInstalledSaysMissingAndNoPrinterAndGivesOne)
{
    const Outcome outcome = Compose({L"Windows x64", 0, 0, 0, nullptr, 0});
    EXPECT_EQ(1, outcome.code);
    const std::vector<std::wstring> expected = {
        L"Printer driver \"KR-620\" (Windows x64): missing",
        L"Port monitor \"USB Printer Monitor\": missing",
        L"Port \"USB PORT:\": missing",
        L"No printer uses the driver",
    };
    EXPECT_EQ(expected, outcome.lines);
}

TEST(InstallStatus, NeedsBothTheDriverAndAPrinterOfIt)
{
    // After an uninstall: the driver stays registered, only another driver's printer is left.
    const PRINTER_INFO_2W others[] = {Printer(L"Kitchen", L"KR-6200", L"USB PORT:")};
    Outcome outcome = Compose({L"Windows NT x86", 1, 1, 1, others, 1});
    EXPECT_EQ(1, outcome.code);
    ASSERT_EQ(4u, outcome.lines.size());
    EXPECT_EQ(L"No printer uses the driver", outcome.lines[3]);

    // A printer that names the driver, which the spooler does not list: still not installed.
    const PRINTER_INFO_2W orphan[] = {Printer(L"Front desk", L"KR-620", nullptr)};
    outcome = Compose({L"Windows NT x86", 0, 1, 1, orphan, 1});
    EXPECT_EQ(1, outcome.code);
    ASSERT_EQ(4u, outcome.lines.size());
    EXPECT_EQ(L"Printer driver \"KR-620\" (Windows NT x86): missing", outcome.lines[0]);
    EXPECT_EQ(L"Printer \"Front desk\" ()", outcome.lines[3]);

    // Monitor and port do not decide: a printer on another port is installed.
    const PRINTER_INFO_2W onLpt[] = {Printer(L"Front desk", L"KR-620", L"LPT1:")};
    EXPECT_EQ(0, Compose({L"Windows NT x86", 1, 0, 0, onLpt, 1}).code);
}

TEST(InstallStatus, LabelsAreTextNotFormatsAndLongLinesAreCut)
{
    const InstallStatusLabels percent = {L"%s driver", L"%d", L"%n", L"%ls", L"100%", L"%%", L"%s none"};
    const std::wstring name(1100, L'n');
    const PRINTER_INFO_2W printers[] = {Printer(name.c_str(), L"KR-620", L"USB PORT:")};
    Outcome outcome = Compose({L"Windows NT x86", 1, 0, 1, printers, 1}, percent);
    ASSERT_EQ(4u, outcome.lines.size());
    EXPECT_EQ(L"%s driver \"KR-620\" (Windows NT x86): 100%", outcome.lines[0]);
    EXPECT_EQ(L"%d \"USB Printer Monitor\": %%", outcome.lines[1]);
    EXPECT_EQ(L"%n \"USB PORT:\": 100%", outcome.lines[2]);
    EXPECT_EQ(1023u, outcome.lines[3].size());
    EXPECT_EQ(0u, outcome.lines[3].find(L"%ls \"nnn"));

    outcome = Compose({L"Windows NT x86", 1, 0, 1, nullptr, 0}, percent);
    EXPECT_EQ(L"%s none", outcome.lines.back());
}

TEST(UninstallRemains, EachPrinterOfTheModelAndAMonitorStillThereIsAReason)
{
    PRINTER_INFO_2W pending = Printer(L"Kitchen", L"KR-620", L"USB PORT:");
    // Deleted while it had jobs: the spooler removes it once they are printed.
    pending.Status = PRINTER_STATUS_PENDING_DELETION | PRINTER_STATUS_PAUSED;
    PRINTER_INFO_2W paused = Printer(L"Back office", L"kr-620", L"LPT1:");
    paused.Status = PRINTER_STATUS_PAUSED;
    const PRINTER_INFO_2W printers[] = {
        Printer(L"Front desk", L"KR-620", L"USB PORT:"), Printer(L"KR-620", L"Generic / Text Only", L"USB PORT:"),
        pending, paused};
    const struct Case {
        DWORD firstPrinter, printerCount;
        int monitorPresent;
        int done;
        std::vector<std::wstring> lines;
        DWORD unanswered = 0;
    } cases[] = {
        {0, 0, 0, 1, {}},
        {1, 2, 0, 1, {}},
        {1, 2, 1, 0, {L"Monitor left: USB Printer Monitor"}},
        {0, 4, 0, 0, {L"Printer left: Front desk", L"Printer left: Back office"}},
        {0, 1, 1, 0, {L"Printer left: Front desk", L"Monitor left: USB Printer Monitor"}},
        // A spooler that did not answer left empty lists behind, which prove nothing.
        {0, 0, 0, 0, {L"Not checked: (1722)"}, RPC_S_SERVER_UNAVAILABLE},
    };
    for (const Case& c : cases) {
        const InstallStatusFacts facts = {L"Windows NT x86", 1, c.monitorPresent, 0, printers + c.firstPrinter,
                                          c.printerCount, c.unanswered};
        std::vector<std::wstring> lines;
        EXPECT_EQ(c.done,
                  ComposeUninstallRemains(facts, L"Printer left:", L"Monitor left:", L"Not checked:", Collect, &lines))
            << c.firstPrinter << " " << c.printerCount << " " << c.monitorPresent;
        EXPECT_EQ(c.lines, lines);
    }
}

TEST(InstallStatus, IsThisReleaseOrANewerOneWithItsFilesIntact)
{
    const ReleaseLabels labels = {L"Release:", L"none", L"Older than", L"Not as shipped:"};
    const struct Case {
        ReleaseFacts facts;
        int code;
        std::vector<std::wstring> lines;
    } cases[] = {
        {{L"2.29.0", L"2.29.0", L"", 0}, 0, {L"Release: 2.29.0"}},
        {{L"2.30.0", L"2.29.0", L"", 0}, 0, {L"Release: 2.30.0"}},
        {{L"", L"2.29.0", L"", 0}, 1, {L"Release: none"}},
        {{nullptr, L"2.29.0", nullptr, 0}, 1, {L"Release: none"}},
        {{L"2.28.9", L"2.29.0", L"", 0}, 1, {L"Release: 2.28.9", L"Older than 2.29.0"}},
        {{L"2.29.0", L"2.29.0", L"C:\\3\\UNIDRV.DLL", ERROR_INVALID_DATA},
         1,
         {L"Release: 2.29.0", L"Not as shipped: C:\\3\\UNIDRV.DLL (13)"}},
    };
    for (const Case& c : cases) {
        std::vector<std::wstring> lines;
        EXPECT_EQ(c.code, ComposeReleaseStatus(c.facts, labels, Collect, &lines)) << testing::PrintToString(lines);
        EXPECT_EQ(c.lines, lines);
    }
}

TEST(InstallStatus, FindsTheDriverAndTheMonitorInAnyCase)
{
    DRIVER_INFO_1W drivers[] = {{const_cast<wchar_t*>(L"Generic / Text Only")}, {nullptr},
                                {const_cast<wchar_t*>(L"kr-620")}};
    EXPECT_EQ(1, HasModelDriver(drivers, 3));
    EXPECT_EQ(0, HasModelDriver(drivers, 2));
    EXPECT_EQ(0, HasModelDriver(nullptr, 3));

    MONITOR_INFO_1W monitors[] = {{const_cast<wchar_t*>(L"Local Port")}, {nullptr},
                                  {const_cast<wchar_t*>(L"usb printer MONITOR")}};
    EXPECT_EQ(1, HasUsbMonitor(monitors, 3));
    EXPECT_EQ(0, HasUsbMonitor(monitors, 2));
    EXPECT_EQ(0, HasUsbMonitor(nullptr, 3));
    MONITOR_INFO_1W other[] = {{const_cast<wchar_t*>(L"USB Printer Monitor 2")}};
    EXPECT_EQ(0, HasUsbMonitor(other, 1));
}

TEST(MachineStatus, TheSpoolersStateAndProtectedPrintMode)
{
    const MachineStatusLabels labels = {L"Spooler:", L"running", L"not running", L"disabled", L"cannot be asked",
                                        L"Protected print:", L"on", L"off"};
    const struct {
        ServiceFacts spooler;
        int protectedPrint;
        std::vector<std::wstring> lines;
    } rows[] = {
        {{1, SERVICE_RUNNING, SERVICE_DISABLED}, 0, {L"Spooler: running", L"Protected print: off"}},
        {{1, SERVICE_STOPPED, SERVICE_DISABLED}, 1, {L"Spooler: disabled", L"Protected print: on"}},
        {{1, SERVICE_START_PENDING, SERVICE_AUTO_START}, 0, {L"Spooler: not running", L"Protected print: off"}},
        {{0, SERVICE_RUNNING, SERVICE_AUTO_START}, 0, {L"Spooler: cannot be asked", L"Protected print: off"}},
    };
    for (const auto& row : rows) {
        std::vector<std::wstring> lines;
        ComposeMachineStatus(row.spooler, row.protectedPrint, labels, Collect, &lines);
        EXPECT_EQ(row.lines, lines);
    }
}

} // namespace
