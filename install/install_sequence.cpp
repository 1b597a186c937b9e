// One installation from the driver directory to the printer, against the spooler, with
// every outcome reported to the user. Nothing done is undone when a later step fails; what
// the run created is recorded, for an installer's rollback to take back.
#include <stdlib.h>
#include <string.h>
#include <strsafe.h>

#include "i18n/catalogue.h"
#include "install/install_job.h"
#include "install/install_record.h"
#include "install/install_status.h"
#include "install/package_manifest.h"
#include "install/package_staging.h"
#include "install/uninstall.h"
#include "spooler/spooler.h"
#include "spooler/spooler_names.h"
#include "system/probes.h"
#include "system/system_api.h"
#include "system/user_report.h"

static const wchar_t kErrorCaption[] = L"ERROR";
static const wchar_t kSuccessCaption[] = L"SUCCESS";
static const size_t kCatalogueTextUnits = 520;
static const size_t kDiagnosticUnits = 512;
static const size_t kNumberedNameUnits = 520;
static const size_t kDependentFileUnits = 520;

static void ReportCatalogueText(const char* key, const wchar_t* caption)
{
    wchar_t text[kCatalogueTextUnits] = {};
    ReportToUser(GetLocalizedText(key, text, kCatalogueTextUnits), caption);
}

// A diagnostic line carrying a last-error code, e.g. "copyFiles error_code=2".
static void ReportCode(const wchar_t* format, DWORD code)
{
    wchar_t text[kDiagnosticUnits] = {};
    StringCchPrintfW(text, kDiagnosticUnits, format, code);
    ReportToUser(text, kErrorCaption);
}

static int ReportStepFailure(const wchar_t* format)
{
    DWORD code = GetLastError();
    ReportCatalogueText("PO_GSTR_INSTALL_DRIVER_ERROR", kErrorCaption);
    ReportCode(format, code);
    return 0;
}

// One report naming the package file that was refused and the cause.
static int ReportRefusedPackageFile(const wchar_t* relativePath)
{
    const DWORD code = GetLastError();
    wchar_t text[kCatalogueTextUnits + MAX_PATH + 16] = {};
    GetLocalizedText("PO_GSTR_PACKAGE_FILE_REFUSED", text, kCatalogueTextUnits);
    wchar_t value[MAX_PATH + 16] = {};
    // Both parts are bounded above, so the line always fits whole.
    StringCchPrintfW(value, ARRAYSIZE(value), L" %s (%lu)", relativePath, code);
    StringCchCatW(text, ARRAYSIZE(text), value);
    ReportToUser(text, kErrorCaption);
    return 0;
}

namespace {

// The job reads the private copy while this lasts, which ends before the copy is removed.
struct StageInUse {
    StageInUse(CInstallJob* job, CPackageStage* stage) : job_(job) { job_->stage = stage; }
    ~StageInUse() { job_->stage = nullptr; }
    StageInUse(const StageInUse&) = delete;
    StageInUse& operator=(const StageInUse&) = delete;

private:
    CInstallJob* job_;
};

} // namespace

int CInstallJob::RunInstall()
{
    // The dialog always passes a row; without one there is nothing to install.
    if (!model) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // Begun before anything changes: what this run creates is all that its undo takes back,
    // and a run stopped before its first change leaves nothing to undo.
    BeginRunRecord(runId);
    wchar_t* directory = getPrinterDriverDir(is64);
    // A directory that does not fit is refused like a missing one: every file is put there.
    if (directory && FAILED(StringCchCopyW(driverDir, MAX_PATH, directory))) {
        driverDir[0] = 0;
        free(directory);
        directory = nullptr;
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
    }
    if (!directory) {
        ReportCode(L"getPrinterDriverDir error_code=%lu", GetLastError());
        return 0;
    }
    free(directory);
    ReportProgress("PO_GSTR_LOG_DRIVER_DIR", driverDir);

    HANDLE token = nullptr;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, &token)) {
        EnableTokenPrivilege(token, L"SeDebugPrivilege");
        CloseHandle(token);
    }

    // A program folder too deep for the package's paths would fail later as a missing file.
    if (!computePaths())
        return ReportStepFailure(L"computePaths error_code=%lu");
    // Everything after reads a private copy, checked against the program's manifest before
    // anything on the system changes, through the handles it holds; the copy is deleted on
    // every way out.
    CPackageStage packageStage;
    const char* manifest = nullptr;
    size_t manifestLength = 0;
    LoadPackageManifest(&manifest, &manifestLength);
    wchar_t refused[MAX_PATH] = {};
    if (!packageStage.Stage(*this, manifest, manifestLength, refused))
        return refused[0] ? ReportRefusedPackageFile(refused) : ReportStepFailure(L"stagePackage error_code=%lu");
    if (!usePackageDir(packageStage.Folder()))
        return ReportStepFailure(L"stagePackage error_code=%lu");
    const StageInUse inUse(this, &packageStage);
    System().packageStaged(packageStage.Folder());
    copyRestoreClient();
    if (wcscmp(templateKey, kTemplateName) != 0 && !modifyFiles())
        return ReportStepFailure(L"modifyFiles error_code=%lu");
    if (!copyFiles())
        return ReportStepFailure(L"copyFiles error_code=%lu");
    copyMonitorDlls();

    // A monitor that could not be added has no port to add; the driver may still go in.
    if (installMonitor())
        installPort();
    // Without it the printer would be made on a port that does not exist.
    if (networkPort && !installNetworkPort())
        return ReportStepFailure(L"XcvData AddPort error_code=%lu");
    if (!installDriver()) {
        // Protected print mode turned on after the preflight, or seen only by the spooler.
        if (GetLastError() == ERROR_PRINTER_DRIVER_BLOCKED) {
            ReportCatalogueText("PO_GSTR_PROTECTED_PRINT", kErrorCaption);
            return 0;
        }
        return ReportStepFailure(L"error_code=%lu");
    }
    if (!(keepInstalled ? placePrinter() : installPrinter())) {
        ReportCatalogueText("PO_GSTR_ADD_PRINTER_ERROR", kErrorCaption);
        return 0;
    }
    // Its WARNING lines said what stays as it was: the printer would run on the old monitor.
    if (!scheduleMonitorReplacements())
        return 0;
    // Read back by /status and by the next install, which never puts an older release over it.
    WriteInstalledRelease();
    ReportCatalogueText("PO_GSTR_INSTALL_SUCCESS", kSuccessCaption);
    return 1;
}

int CInstallJob::installMonitor()
{
    MONITOR_INFO_2W monitor = {};
    monitor.pName = const_cast<wchar_t*>(kUsbMonitorName);
    monitor.pEnvironment = const_cast<wchar_t*>(GetPrintEnvironment(is64));
    monitor.pDLLName = const_cast<wchar_t*>(kMonitorDllName);
    if (Spooler().addMonitor(nullptr, 2, reinterpret_cast<BYTE*>(&monitor))) {
        RecordCreated(kRecordedMonitor, kUsbMonitorName);
        ReportProgress("PO_GSTR_LOG_MONITOR_ADDED", kUsbMonitorName);
        return 1;
    }
    DWORD code = GetLastError();
    if (code == ERROR_PRINT_MONITOR_ALREADY_INSTALLED) {
        ReportProgress("PO_GSTR_LOG_MONITOR_PRESENT", kUsbMonitorName);
        return 1;
    }
    ReportCode(L"AddMonitor Error = %lu\r\n", code);
    return 0;
}

int CInstallJob::installPort()
{
    if (keepInstalled) {
        DWORD count = 0;
        PORT_INFO_2W* ports = EnumeratePorts(&count);
        const int present = ListsUsbPort(ports, count);
        free(ports);
        if (present) {
            ReportProgress("PO_GSTR_LOG_PORT_PRESENT", kUsbPortName);
            return 1;
        }
    }
    // A spooler library that cannot be loaded, or lacks the call, is passed over in silence.
    AddPortExAFn addPortExA = Spooler().findAddPortExA();
    if (!addPortExA)
        return 0;
    PORT_INFO_1A port = {const_cast<char*>(kUsbPortNameA)};
    if (addPortExA(nullptr, 1, reinterpret_cast<BYTE*>(&port), const_cast<char*>(kUsbMonitorNameA))) {
        RecordCreated(kRecordedPort, kUsbPortName);
        ReportProgress("PO_GSTR_LOG_PORT_ADDED", kUsbPortName);
        return 1;
    }
    ReportCode(L"AddPortEx Error = %lu\r\n", GetLastError());
    return 0;
}

int CInstallJob::installNetworkPort()
{
    if (!AddTcpPort(networkPort))
        return 0;
    RecordCreated(kRecordedNetworkPort, networkPort->sztPortName);
    ReportProgress("PO_GSTR_LOG_PORT_ADDED", networkPort->sztPortName);
    return 1;
}

int BuildDependentFiles(const wchar_t* driverName, int isChinese, const PrinterModelInfo* model, wchar_t* buffer,
                        size_t units)
{
    const wchar_t* tag = LanguageTag(isChinese);
    wchar_t rcName[MAX_PATH] = {};
    wchar_t uiName[MAX_PATH] = {};
    wchar_t iniName[MAX_PATH] = {};
    if (FAILED(StringCchPrintfW(rcName, MAX_PATH, L"%sRC%s.dll", driverName, tag)) ||
        FAILED(StringCchPrintfW(uiName, MAX_PATH, L"%sUI%s.dll", driverName, tag)) ||
        FAILED(StringCchPrintfW(iniName, MAX_PATH, L"%s%s.INI", driverName, tag))) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    const wchar_t* names[8] = {L"UNIRES.DLL", L"STDNAMES.GPD", L"UNIDRVUI.DLL", rcName, uiName, iniName};
    int count = 6;
    if (model && model->hasExtraFiles) {
        names[count++] = model->extraFile1;
        names[count++] = model->extraFile2;
    }
    memset(buffer, 0, units * sizeof(wchar_t));
    size_t used = 0;
    for (int i = 0; i < count; ++i) {
        const size_t length = names[i] ? wcslen(names[i]) : 0;
        // An empty name would end the list early; a model without the file names none.
        if (length == 0)
            continue;
        // Room for this name's terminator and the empty name that closes the list.
        if (used + length + 2 > units) {
            memset(buffer, 0, units * sizeof(wchar_t));
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return 0;
        }
        memcpy(buffer + used, names[i], length * sizeof(wchar_t));
        used += length + 1;
    }
    return 1;
}

int CInstallJob::installDriver()
{
    wchar_t dependentFiles[kDependentFileUnits];
    if (!BuildDependentFiles(driverName, isChinese, model, dependentFiles, kDependentFileUnits))
        return 0;
    DRIVER_INFO_3W driver = {};
    driver.cVersion = 3;
    driver.pName = const_cast<wchar_t*>(driverName);
    driver.pEnvironment = const_cast<wchar_t*>(GetPrintEnvironment(is64));
    driver.pDriverPath = const_cast<wchar_t*>(L"UNIDRV.DLL");
    driver.pDataFile = dataFile;
    driver.pConfigFile = const_cast<wchar_t*>(L"UNIDRVUI.DLL");
    driver.pHelpFile = const_cast<wchar_t*>(L"UNIDRV.HLP");
    driver.pDependentFiles = dependentFiles;
    driver.pDefaultDataType = const_cast<wchar_t*>(kRawDataType);
    // Only a registration this run makes is its own to undo; one it cannot ask about is
    // taken for one that was there.
    int wasRegistered = 1;
    IsModelDriverRegistered(driver.pEnvironment, &wasRegistered);
    if (!Spooler().addPrinterDriverEx(nullptr, 3, reinterpret_cast<BYTE*>(&driver), APD_COPY_ALL_FILES))
        return 0;
    if (!wasRegistered)
        RecordCreated(kRecordedDriver, driverName);
    wchar_t registered[kCatalogueTextUnits] = {};
    // Only the report's line: a cut environment name would not change the installation.
    StringCchPrintfW(registered, kCatalogueTextUnits, L"%s (%s)", driverName, driver.pEnvironment);
    ReportProgress("PO_GSTR_LOG_DRIVER_ADDED", registered);
    return 1;
}

static PRINTER_INFO_2W PrinterRecord(const CInstallJob& job)
{
    PRINTER_INFO_2W printer = {};
    printer.pPrinterName = const_cast<wchar_t*>(job.printerName);
    printer.pPortName = const_cast<wchar_t*>(job.portName);
    printer.pDriverName = const_cast<wchar_t*>(job.driverName);
    printer.pPrintProcessor = const_cast<wchar_t*>(kPrintProcessorName);
    printer.pDatatype = const_cast<wchar_t*>(kRawDataType);
    printer.Attributes = PRINTER_ATTRIBUTE_LOCAL;
    return printer;
}

int CInstallJob::installPrinter()
{
    PRINTER_INFO_2W printer = PrinterRecord(*this);
    SetLastError(ERROR_SUCCESS);
    HANDLE handle = Spooler().addPrinter(nullptr, 2, reinterpret_cast<BYTE*>(&printer));
    if (handle) {
        Spooler().closePrinter(handle);
        RecordCreated(kRecordedPrinter, printerName);
        ReportProgress("PO_GSTR_LOG_PRINTER_ADDED", printerName);
        StringCchCopyW(placedPrinter, ARRAYSIZE(placedPrinter), printerName);
        return 1;
    }
    if (GetLastError() == ERROR_PRINTER_ALREADY_EXISTS)
        return installPrinterUnderNewName(&printer);
    return 0;
}

PrinterPlan DecidePrinterPlan(const PRINTER_INFO_2W* list, DWORD count, const wchar_t* name, DWORD* existing)
{
    for (DWORD i = 0; list && i < count; ++i) {
        if (!list[i].pPrinterName || lstrcmpiW(list[i].pPrinterName, name) != 0)
            continue;
        *existing = i;
        return isModelDriverName(list[i].pDriverName) ? kPlanKeep : kPlanNumbered;
    }
    return kPlanCreate;
}

int CInstallJob::placePrinter()
{
    // Asked first: Wine's AddPrinterW replaces a printer of a taken name instead of failing,
    // so its answer cannot tell another driver's printer from none. A list the spooler does
    // not give leaves the creation to find out.
    PRINTER_INFO_2W* list = nullptr;
    DWORD count = 0;
    listPrinters(&list, &count);
    DWORD existing = 0;
    const PrinterPlan plan = DecidePrinterPlan(list, count, printerName, &existing);
    wchar_t name[kNumberedNameUnits] = {};
    // The spooler's spelling of the name, which the report gives; it holds no longer names.
    if (plan == kPlanKeep)
        StringCchCopyW(name, kNumberedNameUnits, list[existing].pPrinterName);
    free(list);
    if (plan == kPlanKeep)
        return updatePrinter(name);
    if (plan == kPlanCreate)
        return installPrinter();
    PRINTER_INFO_2W printer = PrinterRecord(*this);
    return installPrinterUnderNewName(&printer);
}

int CInstallJob::updatePrinter(const wchar_t* name)
{
    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE printer = nullptr;
    if (!Spooler().openPrinter(const_cast<wchar_t*>(name), &printer, &defaults))
        return 0;
    int kept = 0;
    int moved = 0;
    DWORD needed = 0;
    Spooler().getPrinter(printer, 2, nullptr, 0, &needed);
    BYTE* buffer = needed ? static_cast<BYTE*>(calloc(needed, 1)) : nullptr;
    if (needed && !buffer) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    } else if (buffer && Spooler().getPrinter(printer, 2, buffer, needed, &needed)) {
        PRINTER_INFO_2W* info = reinterpret_cast<PRINTER_INFO_2W*>(buffer);
        moved = movePrinter && (!info->pPortName || lstrcmpiW(info->pPortName, portName) != 0);
        kept = 1;
        if (moved) {
            info->pPortName = const_cast<wchar_t*>(portName);
            // A null descriptor leaves the printer's security as it is; every other field
            // goes back as the spooler gave it.
            info->pSecurityDescriptor = nullptr;
            kept = Spooler().setPrinter(printer, 2, buffer, 0);
        }
    }
    const DWORD cause = GetLastError();
    Spooler().closePrinter(printer);
    free(buffer);
    if (!kept) {
        SetLastError(cause);
        return 0;
    }
    ReportProgress("PO_GSTR_LOG_PRINTER_KEPT", name);
    StringCchCopyW(placedPrinter, ARRAYSIZE(placedPrinter), name);
    if (moved)
        ReportProgress("PO_GSTR_LOG_PRINTER_MOVED", portName);
    return 1;
}

int isPrinterNameInList(const PRINTER_INFO_2W* list, DWORD count, const wchar_t* name)
{
    for (DWORD i = 0; i < count; ++i) {
        if (list[i].pPrinterName && wcscmp(list[i].pPrinterName, name) == 0)
            return 1;
    }
    return 0;
}

int ChooseNumberedPrinterName(const PRINTER_INFO_2W* list, DWORD count, const wchar_t* name, wchar_t* candidate,
                              size_t units)
{
    // Of name(1) to name(count + 1) at least one is free, so the search ends.
    for (DWORD n = 1;; ++n) {
        if (FAILED(StringCchPrintfW(candidate, units, L"%s(%lu)", name, n))) {
            candidate[0] = 0;
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return 0;
        }
        if (!isPrinterNameInList(list, count, candidate))
            return 1;
    }
}

int CInstallJob::installPrinterUnderNewName(PRINTER_INFO_2W* record)
{
    PRINTER_INFO_2W* list = nullptr;
    DWORD count = 0;
    if (!listPrinters(&list, &count))
        return 0;
    wchar_t candidate[kNumberedNameUnits] = {};
    int chosen = ChooseNumberedPrinterName(list, count, printerName, candidate, kNumberedNameUnits);
    free(list);
    if (!chosen)
        return 0;
    record->pPrinterName = candidate;
    HANDLE handle = Spooler().addPrinter(nullptr, 2, reinterpret_cast<BYTE*>(record));
    if (!handle)
        return 0;
    Spooler().closePrinter(handle);
    RecordCreated(kRecordedPrinter, candidate);
    // The dialog's success box does not say so: the report names the printer really made.
    ReportProgress("PO_GSTR_LOG_PRINTER_ADDED", candidate);
    StringCchCopyW(placedPrinter, ARRAYSIZE(placedPrinter), candidate);
    return 1;
}
