#pragma once
#include <windows.h>
#include <winspool.h>

#include "system/service_control.h"

// What a deployment tool's detection rule asks: whether the model's driver is registered
// for the system's environment, whether "USB Printer Monitor" and "USB PORT:" exist, and
// which printers use the driver, on which ports, and which release is installed with its
// files intact. Each fact is an "INFO" line of the report (system/user_report.h). Changes
// nothing. 0 when the driver is registered, at least one printer uses it and this release
// or a newer one is installed with the package's files, else 1.
int ReportInstallStatus();

// What the spooler said, as the status run found it.
struct InstallStatusFacts {
    const wchar_t* environment;
    int driverRegistered;
    int monitorPresent;
    int portPresent;
    // Every printer the spooler listed, of any driver.
    const PRINTER_INFO_2W* printers;
    DWORD printerCount;
    // 0 when the spooler answered the printer and monitor lists (empty ones too), else the
    // cause of the first that it did not answer: the lists above then say nothing.
    DWORD unanswered = 0;
};

// The catalogue texts of the lines; the values are put after them, never into them.
struct InstallStatusLabels {
    const wchar_t* driver;
    const wchar_t* monitor;
    const wchar_t* port;
    const wchar_t* printer;
    const wchar_t* present;
    const wchar_t* missing;
    const wchar_t* noPrinter;
};

typedef void (*StatusLineSink)(const wchar_t* line, void* context);

// Hands each line of the status to sink in order: the driver, the monitor, the port, then
// one line for each printer that uses the model's driver (name and port) or, when none
// does, the no-printer line. Returns the exit code: 0 when the driver is registered and at
// least one printer uses it, else 1.
int ComposeInstallStatus(const InstallStatusFacts& facts, const InstallStatusLabels& labels, StatusLineSink sink,
                         void* context);

// The release part of the status: the release recorded as installed (empty when none is),
// this program's, and the first of the driver's files that does not hold the package's
// bytes with the cause (ERROR_FILE_NOT_FOUND or ERROR_INVALID_DATA; 0 when none or nothing
// was checked).
struct ReleaseFacts {
    const wchar_t* installed;
    const wchar_t* program;
    const wchar_t* faultyFile;
    DWORD fileFault;
};

struct ReleaseLabels {
    const wchar_t* release;
    const wchar_t* none;
    const wchar_t* older;
    const wchar_t* fileFault;
};

// Hands sink the release line (the release, or the none label), then a line for each reason
// the installation is not this release: older (with this program's release), a faulty file
// (its path and cause). 0 when this release or a newer one is recorded with its files
// intact, else 1, so that a start-up script's "/status || /install" brings the release.
int ComposeReleaseStatus(const ReleaseFacts& facts, const ReleaseLabels& labels, StatusLineSink sink, void* context);

// Hands sink one reason for each thing of the model that an uninstall left, as the spooler
// lists it afterwards: printerLeft, a blank and the name of each printer that still uses the
// model's driver, then monitorLeft, a blank and the monitor's name when it is still
// registered. A printer whose deletion waits for its jobs (pending deletion) is on its way
// out and no reason. A spooler that did not answer is the one reason: notChecked and the
// cause in brackets, since nothing is known. 1 when there is no reason (the uninstall reached
// its goal), else 0.
int ComposeUninstallRemains(const InstallStatusFacts& facts, const wchar_t* printerLeft, const wchar_t* monitorLeft,
                            const wchar_t* notChecked, StatusLineSink sink, void* context);

// The machine's part of the status: the Print Spooler service's state and whether Windows
// protected print mode is on.
struct MachineStatusLabels {
    const wchar_t* spooler;
    const wchar_t* running;
    const wchar_t* notRunning;
    const wchar_t* disabled;
    const wchar_t* notAsked;
    const wchar_t* protectedPrint;
    const wchar_t* on;
    const wchar_t* off;
};

// Hands sink the spooler's line (running; disabled when it is not running and may not start;
// not running; cannot be asked) and protected print mode's (on or off).
void ComposeMachineStatus(const ServiceFacts& spooler, int protectedPrintOn, const MachineStatusLabels& labels,
                          StatusLineSink sink, void* context);

// Asks the spooler, after an uninstall, what ComposeUninstallRemains decides on, and
// reports each reason as an "ERROR" (system/user_report.h). 1 when nothing is left.
int ReportUninstallRemains();

// Whether the model's driver is registered for the environment, into *registered. 0 with
// the cause, *registered as it was, when the spooler gave no list.
int IsModelDriverRegistered(const wchar_t* environment, int* registered);

// Whether "USB Printer Monitor" is registered, as IsModelDriverRegistered asks.
int IsUsbMonitorRegistered(int* registered);

// 1 when one of the level-1 driver records is the model's driver (isModelDriverName).
int HasModelDriver(const DRIVER_INFO_1W* drivers, DWORD count);

// 1 when one of the level-1 monitor records is named "USB Printer Monitor", in any case.
int HasUsbMonitor(const MONITOR_INFO_1W* monitors, DWORD count);
