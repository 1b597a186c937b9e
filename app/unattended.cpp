#include "app/unattended.h"

#include <stdlib.h>
#include <strsafe.h>

#include "i18n/catalogue.h"
#include "install/install_job.h"
#include "install/install_lock.h"
#include "install/install_record.h"
#include "install/install_status.h"
#include "install/preflight.h"
#include "install/test_receipt.h"
#include "install/uninstall.h"
#include "spooler/spooler.h"
#include "spooler/spooler_names.h"
#include "spooler/tcp_port.h"
#include "system/probes.h"
#include "system/report_log.h"
#include "system/user_report.h"

static const wchar_t kErrorLevel[] = L"ERROR";
static const size_t kLineUnits = 1024;

// A catalogue label, a blank and a value, as an "ERROR" line.
static void ReportError(const char* key, const wchar_t* value)
{
    wchar_t line[kLineUnits] = {};
    GetLocalizedText(key, line, 520);
    if (value) {
        // Only the report's line: what is cut of a long value is still in the command line.
        StringCchCatW(line, kLineUnits, L" ");
        StringCchCatW(line, kLineUnits, value);
    }
    ReportToUser(line, kErrorLevel);
}

static int ReportArgumentProblem(const UnattendedRequest& request)
{
    switch (request.problem) {
    case kUnknownSwitch:
        ReportError("PO_GSTR_ARG_UNKNOWN", request.offending);
        break;
    case kMissingValue:
        ReportError("PO_GSTR_ARG_NO_VALUE", request.offending);
        break;
    case kEmptyName:
        ReportError("PO_GSTR_ARG_EMPTY_NAME", nullptr);
        break;
    case kNameTooLong:
        ReportError("PO_GSTR_ARG_LONG_NAME", nullptr);
        break;
    case kValueTooLong:
        ReportError("PO_GSTR_ARG_LONG_VALUE", request.offending);
        break;
    case kBadName:
        ReportError("PO_GSTR_ARG_BAD_NAME", request.offending);
        break;
    case kLogNotFullPath:
        ReportError("PO_GSTR_ARG_LOG_PATH", request.offending);
        break;
    case kNoAction:
        ReportError("PO_GSTR_ARG_NO_ACTION", nullptr);
        break;
    case kTwoActions:
        ReportError("PO_GSTR_ARG_TWO_ACTIONS", request.offending);
        break;
    case kOutOfMemory:
        ReportError("PO_GSTR_ARG_NO_MEMORY", nullptr);
        break;
    case kArgumentsGood:
        return 0;
    }
    return 1;
}

// The listed port that is the one requested, ignoring case as the spooler does: of that
// name, or for a good address (address->cbSize set) that address's port under either of its
// names. Null when none is.
static const wchar_t* FindListedPort(const PORT_INFO_2W* ports, DWORD count, const wchar_t* requested,
                                     const PORT_DATA_1* address)
{
    for (DWORD i = 0; i < count; ++i) {
        const wchar_t* listed = ports[i].pPortName;
        if (listed && (lstrcmpiW(listed, requested) == 0 || (address->cbSize && IsPortOfAddress(listed, address))))
            return listed;
    }
    return nullptr;
}

static void ReportUnknownPort(const wchar_t* requested, const PORT_INFO_2W* ports, DWORD count)
{
    ReportError("PO_GSTR_ARG_UNKNOWN_PORT", requested);
    wchar_t list[kLineUnits] = {};
    StringCchCopyW(list, kLineUnits, kUsbPortName);
    // A machine with more ports than the line holds shows the first ones.
    for (DWORD i = 0; i < count; ++i) {
        if (ports[i].pPortName && lstrcmpiW(ports[i].pPortName, kUsbPortName) != 0) {
            StringCchCatW(list, kLineUnits, L", ");
            StringCchCatW(list, kLineUnits, ports[i].pPortName);
        }
    }
    ReportProgress("PO_GSTR_ARG_PORTS", list);
}

// The spooler's spelling of the port requested when it lists it, or "USB PORT:", or the port
// of a printer's address that no listed port is for, which the install creates: *address
// then holds it, and is zeroed otherwise. 0 with the existing ports reported, or the bad
// address said.
static int FindRequestedPort(const wchar_t* requested, wchar_t* port, size_t units, PORT_DATA_1* address)
{
    const PortAddressReading reading = ReadPortAddress(requested, address);
    if (lstrcmpiW(requested, kUsbPortName) == 0)
        return SUCCEEDED(StringCchCopyW(port, units, kUsbPortName));
    DWORD count = 0;
    PORT_INFO_2W* ports = EnumeratePorts(&count);
    const wchar_t* listed = FindListedPort(ports, count, requested, address);
    int found = 0;
    if (listed) {
        found = SUCCEEDED(StringCchCopyW(port, units, listed));
        ZeroMemory(address, sizeof(*address));
    } else if (reading == kAddressGood) {
        found = SUCCEEDED(StringCchCopyW(port, units, address->sztPortName));
    } else if (reading == kAddressBad) {
        ReportError("PO_GSTR_ARG_BAD_ADDRESS", requested);
    } else {
        ReportUnknownPort(requested, ports, count);
    }
    free(ports);
    return found;
}

// A newer release than this program's is installed: said, and nothing changed. 0 while a
// printer of the model works with it; else 1603, since the machine has no working printer
// and this program cannot give it one without putting an older release over the newer.
static int RefuseOlderRelease(const wchar_t* installed)
{
    PRINTER_INFO_2W* printers = nullptr;
    DWORD count = 0;
    listPrinters(&printers, &count);
    int working = 0;
    for (DWORD i = 0; i < count; ++i)
        working = working || isModelDriverName(printers[i].pDriverName);
    free(printers);
    wchar_t line[kLineUnits] = {};
    GetLocalizedText("PO_GSTR_NEWER_RELEASE", line, 520);
    StringCchCatW(line, kLineUnits, L" ");
    StringCchCatW(line, kLineUnits, installed);
    ReportToUser(line, working ? L"WARNING" : kErrorLevel);
    return working ? kExitDone : kExitInstallFailed;
}

int UnattendedInstall(const UnattendedRequest& request)
{
    // Before the port is looked for: a stopped spooler lists none.
    if (!RunPreflight())
        return kExitInstallFailed;
    wchar_t port[260] = {};
    PORT_DATA_1 address;
    if (!FindRequestedPort(request.portName, port, ARRAYSIZE(port), &address))
        return kExitBadArguments;
    CInstallLock lock;
    const LockOutcome outcome = TakeInstallLock(lock);
    if (outcome == kLockBusy)
        return kExitAnotherInstall;
    // A lock that cannot be made is no other installation: 1618 would be retried for ever.
    if (outcome == kLockFailed)
        return kExitInstallFailed;
    wchar_t installed[32] = {};
    if (ReadInstalledRelease(installed, ARRAYSIZE(installed)) && CompareReleases(installed, kProgramRelease) > 0)
        return RefuseOlderRelease(installed);
    wchar_t printerName[260] = {};
    StringCchCopyW(printerName, ARRAYSIZE(printerName), request.printerName);
    CInstallJob job(&kModelTable[0], printerName, port);
    job.keepInstalled = 1;
    job.movePrinter = request.portGiven;
    job.runId = request.runId;
    job.networkPort = address.cbSize ? &address : nullptr;
    const int created = job.RunInstall();
    // The installation's SUCCESS line stands; a receipt that did not go out still fails the
    // run, since the printer has not been seen to work.
    if (created && request.testPage && PrintTestReceipt(job.placedPrinter) != kReceiptSent)
        return kExitInstallFailed;
    return InstallExitCode(created, job.restartNeeded);
}

// /testpage: 0 when the spooler took the whole receipt, 87 when no printer of the name uses
// the model's driver, else 1603; its line says which.
static int UnattendedTestPage(const UnattendedRequest& request)
{
    switch (PrintTestReceipt(request.printerName)) {
    case kReceiptSent:
        return kExitDone;
    case kReceiptNoModelPrinter:
        return kExitBadArguments;
    default:
        return kExitInstallFailed;
    }
}

int UnattendedUninstall(const UnattendedRequest& request)
{
    CInstallLock lock;
    TakeUninstallLock(lock, kUninstallLockWait);
    UninstallOutcome outcome = {};
    int done = 0;
    if (request.undo) {
        done = UndoLastRun(request.runId, &outcome);
    } else {
        UninstallPackage(&outcome);
        done = ReportUninstallRemains();
    }
    if (outcome.fileLeft[0]) {
        ReportError("PO_GSTR_UNINSTALL_FILE_LEFT", outcome.fileLeft);
        done = 0;
    }
    if (!done)
        return kExitInstallFailed;
    return outcome.restartNeeded ? kExitRestartRequired : kExitDone;
}

int InstallExitCode(int printerCreated, int restartNeeded)
{
    if (!printerCreated)
        return kExitInstallFailed;
    return restartNeeded ? kExitRestartRequired : kExitDone;
}

// The switches as typed are the same in every language; the descriptions are translated.
static void ComposeUsage(wchar_t* usage, size_t units)
{
    const struct {
        const wchar_t* command;
        const char* key;
    } lines[] = {
        {L"DriverInstall.exe", "PO_GSTR_USAGE_DIALOG"},
        {L"DriverInstall.exe /install [/name NAME] [/port PORT] [/log FILE]", "PO_GSTR_USAGE_INSTALL"},
        {L"DriverInstall.exe /status [/log FILE]", "PO_GSTR_USAGE_STATUS"},
        {L"DriverInstall.exe /testpage [/name NAME] [/log FILE]", "PO_GSTR_USAGE_TESTPAGE"},
        {L"DriverInstall.exe /uninstall [/log FILE]", "PO_GSTR_USAGE_UNINSTALL"},
        {L"DriverInstall.exe /uninstall /undo [/run ID] [/log FILE]", "PO_GSTR_USAGE_UNDO"},
        {L"DriverInstall.exe uninstall", "PO_GSTR_USAGE_UNINSTALL_WORD"},
    };
    wchar_t text[520] = {};
    StringCchCopyW(usage, units, GetLocalizedText("PO_GSTR_USAGE_TITLE", text, 520));
    for (const auto& line : lines) {
        StringCchCatW(usage, units, L"\r\n\r\n  ");
        StringCchCatW(usage, units, line.command);
        StringCchCatW(usage, units, L"\r\n      ");
        StringCchCatW(usage, units, GetLocalizedText(line.key, text, 520));
    }
    StringCchCatW(usage, units, L"\r\n\r\n");
    StringCchCatW(usage, units, GetLocalizedText("PO_GSTR_USAGE_CODES", text, 520));
}

static void ShowUsage(const CReportLog& log)
{
    wchar_t usage[4096] = {};
    ComposeUsage(usage, ARRAYSIZE(usage));
    if (!log.HasOutput()) {
        // A box where nobody sees it would hold the run for ever.
        if (IsWindowStationVisible())
            ShowNotice(usage, L"DriverInstall");
        return;
    }
    // Line by line, so that each is a line of the console too.
    wchar_t* next = usage;
    while (next && *next) {
        wchar_t* end = wcsstr(next, L"\r\n");
        if (end)
            *end = L'\0';
        ReportInfo(next);
        next = end ? end + 2 : nullptr;
    }
}

static void ReportExitCode(int code)
{
    wchar_t number[16] = {};
    StringCchPrintfW(number, ARRAYSIZE(number), L"%d", code);
    ReportProgress("PO_GSTR_EXIT_CODE", number);
}

int RunUnattended(const UnattendedRequest& request)
{
    BindMessageCatalogue();
    CReportLog log;
    const int logOpened = log.Open(request.logPath[0] ? request.logPath : nullptr);
    const DWORD logError = GetLastError();
    SetReportLog(&log);
    int code = kExitDone;
    if (request.action == kUnattendedUsage) {
        ShowUsage(log);
    } else {
        // The work goes on without its log; the console says so and gives the exit code.
        if (!logOpened) {
            wchar_t cause[MAX_PATH + 32] = {};
            StringCchPrintfW(cause, ARRAYSIZE(cause), L"%s (%lu)", request.logPath, logError);
            ReportError("PO_GSTR_LOG_UNWRITABLE", cause);
        }
        // Every problem of the line is refused before anything on the system changes.
        if (ReportArgumentProblem(request)) {
            if (request.problem == kNoAction)
                ShowUsage(log);
            code = kExitBadArguments;
        } else {
            switch (request.action) {
            case kUnattendedStatus:
                code = ReportInstallStatus();
                break;
            case kUnattendedUninstall:
                code = UnattendedUninstall(request);
                break;
            case kUnattendedTestPage:
                code = UnattendedTestPage(request);
                break;
            default:
                code = UnattendedInstall(request);
                break;
            }
        }
        ReportExitCode(code);
    }
    SetReportLog(nullptr);
    return code;
}

int RefuseUnseenDialog()
{
    BindMessageCatalogue();
    CReportLog log;
    log.Open(nullptr);
    SetReportLog(&log);
    ReportError("PO_GSTR_NO_WINDOW", nullptr);
    ShowUsage(log);
    ReportExitCode(kExitBadArguments);
    SetReportLog(nullptr);
    return kExitBadArguments;
}
