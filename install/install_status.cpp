#include "install/install_status.h"

#include <stdlib.h>
#include <strsafe.h>

#include "i18n/catalogue.h"
#include "install/model_names.h"
#include "install/uninstall.h"
#include "spooler/spooler.h"
#include "spooler/spooler_names.h"
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

static void ReportLine(const wchar_t* line, void*)
{
    ReportInfo(line);
}

static void ReportError(const wchar_t* line, void*)
{
    ReportToUser(line, L"ERROR");
}

// Whether an enumeration answers at all: its size query succeeds for an empty list and fails
// with ERROR_INSUFFICIENT_BUFFER for a full one; any other cause (a stopped spooler's 1722)
// means the list says nothing. 0 when it answers, else the cause.
template <typename Enumerate> static DWORD UnansweredCause(Enumerate enumerate)
{
    DWORD needed = 0, returned = 0;
    SetLastError(ERROR_SUCCESS);
    if (enumerate(nullptr, 0, &needed, &returned) || GetLastError() == ERROR_INSUFFICIENT_BUFFER)
        return 0;
    return GetLastError() ? GetLastError() : ERROR_GEN_FAILURE;
}

// Every fact of the status, as the spooler answers now. *printers is the list behind
// facts->printers, which the caller releases with free().
static void FetchInstallStatus(InstallStatusFacts* facts, PRINTER_INFO_2W** printers)
{
    facts->environment = GetPrintEnvironment(GetNativeBits() == 64);
    wchar_t emptyName[] = L"";
    facts->unanswered = UnansweredCause([&](BYTE* records, DWORD size, DWORD* needed, DWORD* returned) {
        return Spooler().enumPrinters(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, emptyName, 2, records, size,
                                      needed, returned);
    });
    if (!facts->unanswered)
        facts->unanswered = UnansweredCause([](BYTE* records, DWORD size, DWORD* needed, DWORD* returned) {
            return Spooler().enumMonitors(nullptr, 1, records, size, needed, returned);
        });

    DWORD count = 0;
    DRIVER_INFO_1W* drivers = FetchDrivers(facts->environment, &count);
    facts->driverRegistered = HasModelDriver(drivers, count);
    free(drivers);

    MONITOR_INFO_1W* monitors = FetchMonitors(&count);
    facts->monitorPresent = HasUsbMonitor(monitors, count);
    free(monitors);

    PORT_INFO_2W* ports = EnumeratePorts(&count);
    facts->portPresent = ListsUsbPort(ports, count);
    free(ports);

    // A failed enumeration leaves the list empty: no printer is then said to use the driver.
    *printers = nullptr;
    listPrinters(printers, &facts->printerCount);
    facts->printers = *printers;
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
    return code;
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
