#include "install/install_status.h"

#include <stdlib.h>
#include <strsafe.h>

#include "i18n/catalogue.h"
#include "install/install_job.h"
#include "install/install_record.h"
#include "install/model_names.h"
#include "install/package_manifest.h"
#include "install/package_staging.h"
#include "install/uninstall.h"
#include "spooler/spooler.h"
#include "spooler/spooler_names.h"
#include "system/protected_print.h"
#include "system/probes.h"
#include "system/user_report.h"

// Room for a label, a printer name of up to 259 characters and its port list.
static const size_t kLineUnits = 1024;
static const size_t kLabelUnits = 260;

static const wchar_t* TextOr(const wchar_t* text)
{
    return text ? text : L"";
}

int HasModelDriver(const DRIVER_INFO_1W* drivers, DWORD count)
{
    for (DWORD index = 0; drivers && index < count; ++index) {
        if (isModelDriverName(drivers[index].pName))
            return 1;
    }
    return 0;
}

int HasUsbMonitor(const MONITOR_INFO_1W* monitors, DWORD count)
{
    for (DWORD index = 0; monitors && index < count; ++index) {
        if (lstrcmpiW(TextOr(monitors[index].pName), kUsbMonitorName) == 0)
            return 1;
    }
    return 0;
}

int ComposeInstallStatus(const InstallStatusFacts& facts, const InstallStatusLabels& labels, StatusLineSink sink,
                         void* context)
{
    // A line too long for the buffer is cut: it still names the printer, and the spooler
    // holds the full names.
    wchar_t line[kLineUnits] = {};
    StringCchPrintfW(line, kLineUnits, L"%ls \"%ls\" (%ls): %ls", labels.driver, kModelDriverName,
                     TextOr(facts.environment), facts.driverRegistered ? labels.present : labels.missing);
    sink(line, context);
    StringCchPrintfW(line, kLineUnits, L"%ls \"%ls\": %ls", labels.monitor, kUsbMonitorName,
                     facts.monitorPresent ? labels.present : labels.missing);
    sink(line, context);
    StringCchPrintfW(line, kLineUnits, L"%ls \"%ls\": %ls", labels.port, kUsbPortName,
                     facts.portPresent ? labels.present : labels.missing);
    sink(line, context);

    DWORD users = 0;
    for (DWORD index = 0; facts.printers && index < facts.printerCount; ++index) {
        const PRINTER_INFO_2W& printer = facts.printers[index];
        if (!isModelDriverName(printer.pDriverName))
            continue;
        ++users;
        StringCchPrintfW(line, kLineUnits, L"%ls \"%ls\" (%ls)", labels.printer, TextOr(printer.pPrinterName),
                         TextOr(printer.pPortName));
        sink(line, context);
    }
    if (users == 0)
        sink(labels.noPrinter, context);
    return facts.driverRegistered && users > 0 ? 0 : 1;
}

int ComposeReleaseStatus(const ReleaseFacts& facts, const ReleaseLabels& labels, StatusLineSink sink, void* context)
{
    // A line too long for the buffer is cut; it still says what is wrong.
    wchar_t line[kLineUnits] = {};
    const int recorded = facts.installed && facts.installed[0];
    StringCchPrintfW(line, kLineUnits, L"%ls %ls", labels.release, recorded ? facts.installed : labels.none);
    sink(line, context);
    const int current = recorded && CompareReleases(facts.installed, facts.program) >= 0;
    if (recorded && !current) {
        StringCchPrintfW(line, kLineUnits, L"%ls %ls", labels.older, facts.program);
        sink(line, context);
    }
    if (facts.fileFault) {
        StringCchPrintfW(line, kLineUnits, L"%ls %ls (%lu)", labels.fileFault, TextOr(facts.faultyFile),
                         facts.fileFault);
        sink(line, context);
    }
    return current && !facts.fileFault ? 0 : 1;
}

int ComposeUninstallRemains(const InstallStatusFacts& facts, const wchar_t* printerLeft, const wchar_t* monitorLeft,
                            const wchar_t* notChecked, StatusLineSink sink, void* context)
{
    // A line too long for the buffer is cut: it still names the printer.
    wchar_t line[kLineUnits] = {};
    if (facts.unanswered) {
        StringCchPrintfW(line, kLineUnits, L"%ls (%lu)", notChecked, facts.unanswered);
        sink(line, context);
        return 0;
    }
    int left = 0;
    for (DWORD index = 0; facts.printers && index < facts.printerCount; ++index) {
        const PRINTER_INFO_2W& printer = facts.printers[index];
        if (!isModelDriverName(printer.pDriverName) || (printer.Status & PRINTER_STATUS_PENDING_DELETION))
            continue;
        ++left;
        StringCchPrintfW(line, kLineUnits, L"%ls %ls", printerLeft, TextOr(printer.pPrinterName));
        sink(line, context);
    }
    if (facts.monitorPresent) {
        ++left;
        StringCchPrintfW(line, kLineUnits, L"%ls %ls", monitorLeft, kUsbMonitorName);
        sink(line, context);
    }
    return left == 0 ? 1 : 0;
}

// The level-1 driver records of the environment, in a new buffer the caller releases with
// free().
static DRIVER_INFO_1W* FetchDrivers(const wchar_t* environment, DWORD* count)
{
    wchar_t* asked = const_cast<wchar_t*>(environment);
    return reinterpret_cast<DRIVER_INFO_1W*>(FetchSpoolerRecords(
        [asked](BYTE* records, DWORD size, DWORD* needed, DWORD* returned) {
            return Spooler().enumPrinterDrivers(nullptr, asked, 1, records, size, needed, returned);
        },
        count));
}

// The level-1 monitor records, as FetchDrivers gives the drivers.
static MONITOR_INFO_1W* FetchMonitors(DWORD* count)
{
    return reinterpret_cast<MONITOR_INFO_1W*>(FetchSpoolerRecords(
        [](BYTE* records, DWORD size, DWORD* needed, DWORD* returned) {
            return Spooler().enumMonitors(nullptr, 1, records, size, needed, returned);
        },
        count));
}

// The first file of the model's driver registration for the environment that does not hold
// the bytes the program's manifest lists for its package file, into faulty (MAX_PATH); its
// cause, or 0. A program without a manifest (a test program) has nothing to compare with.
static DWORD CheckDriverFiles(const wchar_t* environment, wchar_t* faulty)
{
    faulty[0] = 0;
    const char* manifest = nullptr;
    size_t length = 0;
    if (!LoadPackageManifest(&manifest, &length))
        return 0;
    wchar_t* asked = const_cast<wchar_t*>(environment);
    DWORD count = 0;
    DRIVER_INFO_3W* drivers = reinterpret_cast<DRIVER_INFO_3W*>(FetchSpoolerRecords(
        [asked](BYTE* records, DWORD size, DWORD* needed, DWORD* returned) {
            return Spooler().enumPrinterDrivers(nullptr, asked, 3, records, size, needed, returned);
        },
        &count));
    // The job works out the package's layout for this system: its bitness and language.
    const CInstallJob job(&kModelTable[0], L"", L"");
    DWORD fault = 0;
    for (DWORD index = 0; index < count && !fault; ++index) {
        const DRIVER_INFO_3W& driver = drivers[index];
        if (!isModelDriverName(driver.pName))
            continue;
        const wchar_t* single[] = {driver.pDriverPath, driver.pDataFile, driver.pConfigFile, driver.pHelpFile};
        const wchar_t* dependent = driver.pDependentFiles;
        for (size_t next = 0; !fault;) {
            const wchar_t* path = nullptr;
            if (next < ARRAYSIZE(single)) {
                path = single[next++];
            } else if (dependent && *dependent) {
                path = dependent;
                dependent += wcslen(dependent) + 1;
            } else {
                break;
            }
            const wchar_t* slash = path ? wcsrchr(path, L'\\') : nullptr;
            wchar_t relative[MAX_PATH] = {};
            ManifestEntry entry = {};
            if (!slash || !PackageSourceOfDriverFile(job, slash + 1, relative) ||
                !FindManifestEntry(manifest, length, relative, &entry))
                continue;
            fault = CheckFileAgainstEntry(path, entry);
            if (fault)
                StringCchCopyW(faulty, MAX_PATH, path);
        }
    }
    free(drivers);
    return fault;
}

static void ReportLine(const wchar_t* line, void*)
{
    ReportInfo(line);
}

static void ReportError(const wchar_t* line, void*)
{
    ReportToUser(line, L"ERROR");
}

// The cause of a list the spooler did not give, kept as the status's first unanswered
// question; an empty list is an answer.
static void NoteUnanswered(InstallStatusFacts* facts)
{
    const DWORD cause = GetLastError();
    if (!facts->unanswered && cause != ERROR_NO_DATA)
        facts->unanswered = cause ? cause : ERROR_GEN_FAILURE;
}

// Every fact of the status, as the spooler answers now. *printers is the list behind
// facts->printers, which the caller releases with free().
static void FetchInstallStatus(InstallStatusFacts* facts, PRINTER_INFO_2W** printers)
{
    facts->environment = GetPrintEnvironment(GetNativeBits() == 64);
    *printers = nullptr;
    if (!listPrinters(printers, &facts->printerCount))
        NoteUnanswered(facts);
    facts->printers = *printers;

    DWORD count = 0;
    MONITOR_INFO_1W* monitors = FetchMonitors(&count);
    if (!monitors)
        NoteUnanswered(facts);
    facts->monitorPresent = HasUsbMonitor(monitors, count);
    free(monitors);

    DRIVER_INFO_1W* drivers = FetchDrivers(facts->environment, &count);
    facts->driverRegistered = HasModelDriver(drivers, count);
    free(drivers);

    PORT_INFO_2W* ports = EnumeratePorts(&count);
    facts->portPresent = ListsUsbPort(ports, count);
    free(ports);
}

int IsUsbMonitorRegistered(int* registered)
{
    DWORD count = 0;
    MONITOR_INFO_1W* monitors = FetchMonitors(&count);
    if (!monitors && GetLastError() != ERROR_NO_DATA)
        return 0;
    *registered = HasUsbMonitor(monitors, count);
    free(monitors);
    return 1;
}

int IsModelDriverRegistered(const wchar_t* environment, int* registered)
{
    DWORD count = 0;
    DRIVER_INFO_1W* drivers = FetchDrivers(environment, &count);
    if (!drivers && GetLastError() != ERROR_NO_DATA)
        return 0;
    *registered = HasModelDriver(drivers, count);
    free(drivers);
    return 1;
}

void ComposeMachineStatus(const ServiceFacts& spooler, int protectedPrintOn, const MachineStatusLabels& labels,
                          StatusLineSink sink, void* context)
{
    const wchar_t* state = labels.notAsked;
    if (spooler.asked && spooler.state == SERVICE_RUNNING)
        state = labels.running;
    else if (spooler.asked)
        state = spooler.startType == SERVICE_DISABLED ? labels.disabled : labels.notRunning;
    wchar_t line[kLineUnits] = {};
    StringCchPrintfW(line, kLineUnits, L"%ls %ls", TextOr(labels.spooler), TextOr(state));
    sink(line, context);
    StringCchPrintfW(line, kLineUnits, L"%ls %ls", TextOr(labels.protectedPrint),
                     TextOr(protectedPrintOn ? labels.on : labels.off));
    sink(line, context);
}

// The spooler's service and protected print mode, each a line.
static void ReportMachineStatus()
{
    ServiceFacts spooler = {};
    QueryServiceFacts(kSpoolerServiceName, &spooler);
    ProtectedPrintFacts protectedPrint = {};
    QueryProtectedPrintFacts(&protectedPrint);
    // A translation longer than a label's buffer is cut by the lookup.
    wchar_t texts[8][kLabelUnits] = {};
    const MachineStatusLabels labels = {
        GetLocalizedText("PO_GSTR_STATUS_SPOOLER", texts[0], kLabelUnits),
        GetLocalizedText("PO_GSTR_STATUS_RUNNING", texts[1], kLabelUnits),
        GetLocalizedText("PO_GSTR_STATUS_NOT_RUNNING", texts[2], kLabelUnits),
        GetLocalizedText("PO_GSTR_STATUS_DISABLED", texts[3], kLabelUnits),
        GetLocalizedText("PO_GSTR_STATUS_NOT_ASKED", texts[4], kLabelUnits),
        GetLocalizedText("PO_GSTR_STATUS_PROTECTED_PRINT", texts[5], kLabelUnits),
        GetLocalizedText("PO_GSTR_STATUS_ON", texts[6], kLabelUnits),
        GetLocalizedText("PO_GSTR_STATUS_OFF", texts[7], kLabelUnits),
    };
    ComposeMachineStatus(spooler, IsProtectedPrintOn(protectedPrint), labels, ReportLine, nullptr);
}

int ReportInstallStatus()
{
    InstallStatusFacts facts = {};
    PRINTER_INFO_2W* printers = nullptr;
    FetchInstallStatus(&facts, &printers);

    // A translation longer than a label's buffer is cut by the lookup.
    wchar_t texts[7][kLabelUnits] = {};
    const InstallStatusLabels labels = {
        GetLocalizedText("PO_GSTR_STATUS_DRIVER", texts[0], kLabelUnits),
        GetLocalizedText("PO_GSTR_STATUS_MONITOR", texts[1], kLabelUnits),
        GetLocalizedText("PO_GSTR_STATUS_PORT", texts[2], kLabelUnits),
        GetLocalizedText("PO_GSTR_STATUS_PRINTER", texts[3], kLabelUnits),
        GetLocalizedText("PO_GSTR_STATUS_PRESENT", texts[4], kLabelUnits),
        GetLocalizedText("PO_GSTR_STATUS_MISSING", texts[5], kLabelUnits),
        GetLocalizedText("PO_GSTR_STATUS_NO_PRINTER", texts[6], kLabelUnits),
    };
    const int code = ComposeInstallStatus(facts, labels, ReportLine, nullptr);
    free(printers);

    wchar_t installed[32] = {};
    // A value of another kind or length is no release of ours.
    ReadInstalledRelease(installed, ARRAYSIZE(installed));
    wchar_t faulty[MAX_PATH] = {};
    const DWORD fault = facts.driverRegistered ? CheckDriverFiles(facts.environment, faulty) : 0;
    wchar_t releaseTexts[4][kLabelUnits] = {};
    const ReleaseLabels releaseLabels = {
        GetLocalizedText("PO_GSTR_STATUS_RELEASE", releaseTexts[0], kLabelUnits),
        GetLocalizedText("PO_GSTR_STATUS_NO_RELEASE", releaseTexts[1], kLabelUnits),
        GetLocalizedText("PO_GSTR_STATUS_OLDER_RELEASE", releaseTexts[2], kLabelUnits),
        GetLocalizedText("PO_GSTR_STATUS_FILE_FAULT", releaseTexts[3], kLabelUnits),
    };
    const int releaseCode =
        ComposeReleaseStatus({installed, kProgramRelease, faulty, fault}, releaseLabels, ReportLine, nullptr);
    ReportMachineStatus();
    if (facts.unanswered) {
        wchar_t label[kLabelUnits] = {};
        wchar_t line[kLineUnits] = {};
        GetLocalizedText("PO_GSTR_STATUS_SPOOLER_SILENT", label, kLabelUnits);
        StringCchPrintfW(line, kLineUnits, L"%ls (%lu)", label, facts.unanswered);
        ReportError(line, nullptr);
        return ERROR_INSTALL_FAILURE;
    }
    return code | releaseCode;
}

int ReportUninstallRemains()
{
    InstallStatusFacts facts = {};
    PRINTER_INFO_2W* printers = nullptr;
    FetchInstallStatus(&facts, &printers);
    // A translation longer than a label's buffer is cut by the lookup.
    wchar_t printerLeft[kLabelUnits] = {};
    wchar_t monitorLeft[kLabelUnits] = {};
    wchar_t notChecked[kLabelUnits] = {};
    const int done =
        ComposeUninstallRemains(facts, GetLocalizedText("PO_GSTR_UNINSTALL_PRINTER_LEFT", printerLeft, kLabelUnits),
                                GetLocalizedText("PO_GSTR_UNINSTALL_MONITOR_LEFT", monitorLeft, kLabelUnits),
                                GetLocalizedText("PO_GSTR_UNINSTALL_NOT_CHECKED", notChecked, kLabelUnits),
                                ReportError, nullptr);
    free(printers);
    return done;
}
