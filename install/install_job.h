#pragma once
#include <windows.h>
#include <winspool.h>

#include <stddef.h>

#include "spooler/tcp_port.h"

// One row of the model table; every field is a constant of the build.
struct PrinterModelInfo {
    const wchar_t* displayName;
    // The name the driver is registered under, and the base of every generated file name.
    const wchar_t* driverName;
    // "80Normal" when the package folder already holds the model's own data files; any other
    // value has them generated from the "80Normal" template at every installation.
    const wchar_t* templateKey;
    const wchar_t* packageFolder;
    int hasExtraFiles;
    const wchar_t* extraFile1;
    const wchar_t* extraFile2;
};

class CPackageStage;

extern const PrinterModelInfo kModelTable[];
extern const size_t kModelCount;

// The template whose files the model's data files are cloned from, and whose name the
// clone replaces in their text.
inline constexpr wchar_t kTemplateName[] = L"80Normal";
// The clone reads the GPD and INI templates in pieces of this size.
inline constexpr size_t kClonePieceBytes = 256 * 1024;

// One installation: names, paths and flags worked out for the running system, and the file
// and spooler work of the install. Built by the Install handler for one press and dropped
// afterwards; it owns no heap memory and no handles. Operations return 1 or 0 with the
// cause in the last error.
class CInstallJob {
public:
    // model is the selected row of the model table; the two buffers belong to the caller
    // and must outlive the job.
    CInstallJob(const PrinterModelInfo* model, const wchar_t* printerNameBuffer, const wchar_t* portNameBuffer);

    // The whole installation, reported to the user in message boxes. 1 when the printer was
    // created.
    int RunInstall();

    // Package paths from the program's own folder. 0 with ERROR_FILENAME_EXCED_RANGE, and
    // both paths left empty, when they would not fit: a cut path would name another folder.
    int computePaths();
    // The same paths, and packageDir, for a package laid out in folder as beside the program
    // (the installation's private copy).
    int usePackageDir(const wchar_t* folder);
    // Places srclient.dll from packageDir into C:\WINDOWS\system32 when that lacks it; never
    // overwrites. 1 when a copy was attempted.
    int copyRestoreClient();
    // Copies the model's package files from sourceDir into driverDir, trying every entry.
    // 0 when any could not be copied (a driver missing a file would be registered broken),
    // with the first failure's cause.
    int copyFiles();
    // Writes the generated name of a kind (0 GPD, 1 INI, 2 RC DLL, 3 UI DLL) into its field.
    // 0 with ERROR_FILENAME_EXCED_RANGE, the field left empty, when the name does not fit.
    int makeFileName(int kind, const wchar_t* base, const wchar_t* part, const wchar_t* tag);
    // The monitor DLL pair from setupDir into the system directory, and on a 64-bit system
    // into the native one too. Always 1: a file that cannot be copied is passed over, except
    // in a run without a window, where one the system holds with other bytes (the spooler
    // keeps the old monitor loaded) is noted for scheduleMonitorReplacements.
    int copyMonitorDlls();
    int copyMonitorDllsNative();
    // Each noted DLL copied beside the held one and put in its place at the next start of the
    // system, with a "WARNING" line naming it and the copy's code, and restartNeeded set;
    // called once the printer exists, so that a failed installation leaves nothing to come
    // back at the restart. 0 when one could be neither replaced nor scheduled: a "WARNING"
    // line names it and its cause, which the last error keeps.
    int scheduleMonitorReplacements();
    // The package file at source (a path in sourceDir or setupDir) into target, read from the
    // private copy's handle when the job reads one; disposition and kept as CopyFromHandle's.
    int copyPackageFile(const wchar_t* source, const wchar_t* target, DWORD disposition, HANDLE* kept) const;
    // A file the installation generated in the package, opened shared for reading only: held
    // by the private copy for the later copies, or closed where there is none. 0 with the
    // cause when it could not be kept.
    int keepGenerated(const wchar_t* path, HANDLE file) const;

    // Generates the model's GPD, INI, RC and UI files in sourceDir from the template's: the
    // GPD and INI each streamed once through fixed buffers, with every template name of the
    // GPD and the first of the INI replaced by the driver name (a text without it is written
    // as it is), the DLLs copied. 0 when a template could not be read or copied or a
    // generated file not written, with the first failure's cause; all four kinds are tried
    // in any case.
    int modifyFiles();
    // sourceDir\<base><tag><extension> for kinds 0 and 1, sourceDir\<base><part><tag>.dll for
    // kinds 2 and 3, into a buffer of MAX_PATH units. 0 with ERROR_FILENAME_EXCED_RANGE when
    // it does not fit (or sourceDir is unknown); the buffer is then empty.
    int makeClonePath(int kind, const wchar_t* base, const wchar_t* extensionOrPart, const wchar_t* tag,
                      wchar_t* path) const;

    int installMonitor();
    int installPort();
    // The port of networkPort created through the Standard TCP/IP monitor and recorded.
    int installNetworkPort();
    int installDriver();
    int installPrinter();
    int installPrinterUnderNewName(PRINTER_INFO_2W* record);
    // The printer step of a run that keeps an installation (keepInstalled): the spooler's
    // printers decide between keeping, numbering and creating.
    int placePrinter();
    // The printer of that name kept with its settings, sharing and security; moved to
    // portName when it is on another port and movePrinter is set.
    int updatePrinter(const wchar_t* name);

    const wchar_t* printerName;
    const wchar_t* templateKey;
    const wchar_t* driverName;
    const wchar_t* packageFolder;
    wchar_t dataFile[MAX_PATH];
    wchar_t driverDir[MAX_PATH];
    wchar_t sourceDir[MAX_PATH];
    wchar_t setupDir[MAX_PATH];
    const wchar_t* portName;
    int is64;
    int isChinese;
    const PrinterModelInfo* model;
    wchar_t gpdFile[MAX_PATH];
    wchar_t iniFile[MAX_PATH];
    wchar_t rcFile[MAX_PATH];
    wchar_t uiFile[MAX_PATH];
    // 1 when a file of the installation takes effect only after the system restarts.
    int restartNeeded;
    // The folder the package is read from: the program's own, then the private copy.
    wchar_t packageDir[MAX_PATH];
    // Set for a run without a window: a printer of the name that uses the model's driver is
    // this installation, updated in place rather than made again, and a port that exists is
    // not added again. The dialog makes a printer at every press.
    int keepInstalled;
    // Set when the port was asked for: a kept printer on another port moves there. A run
    // that names no port leaves a kept printer where its user put it.
    int movePrinter;
    // The name the run records its work under, for an undo of exactly this run; never null.
    const wchar_t* runId;
    // The port for a printer's address that no port of the spooler's is for yet, named as
    // portName: made before the printer. Null for every other port.
    const PORT_DATA_1* networkPort;
    // The private copy that RunInstall reads the package from while it runs; null where the
    // package is read in place.
    CPackageStage* stage;
    // The held monitor DLLs copyMonitorDlls noted: the folder as the system records the
    // rename, the file's name, the copy's cause and whether the 32-bit directory of a 64-bit
    // system was reached through redirection.
    struct HeldMonitorDll {
        wchar_t folder[MAX_PATH];
        const wchar_t* name;
        DWORD cause;
        int redirected;
    };
    HeldMonitorDll heldMonitorDlls[4];
    int heldMonitorDllCount;
    // The printer the run created or kept, as the spooler spells it; empty before the
    // printer step succeeds. As long as the name buffers it is copied from: never cut.
    wchar_t placedPrinter[520];
};

// A package file read from its start: the private copy's held handle while the job reads
// one, else the file at path opened here (a package read in place).
class CPackageFile {
public:
    CPackageFile(const CInstallJob& job, const wchar_t* path);
    ~CPackageFile();
    CPackageFile(const CPackageFile&) = delete;
    CPackageFile& operator=(const CPackageFile&) = delete;
    // INVALID_HANDLE_VALUE, with the cause in the last error, when there is no such file.
    HANDLE Handle() const { return handle_; }

private:
    HANDLE handle_;
    int owned_;
};

// Package layout decisions, free of any asking.

// The driver kit's files of every model's language folder, in the order they are copied.
extern const wchar_t* const kUnidrvFiles[5];
// The system restore client, beside the program, placed where the system lacks it.
inline constexpr wchar_t kRestoreClientName[] = L"srclient.dll";

// "CHN" on a Chinese system, else "ENG": the only thing the language changes in the layout.
const wchar_t* LanguageTag(int isChinese);

// From the program's full path: setupDir = its folder + "SETUP64" or "SETUP", sourceDir =
// setupDir\packageFolder\tag; each MAX_PATH units. 0 with ERROR_FILENAME_EXCED_RANGE and
// both left empty when either does not fit.
int ComposePackagePaths(const wchar_t* programPath, int is64, const wchar_t* packageFolder, int isChinese,
                        wchar_t* setupDir, wchar_t* sourceDir);

// The name of a generated file of a kind into a buffer of MAX_PATH units: base, tag and
// extension for kinds 0 and 1 (GPD, INI), base, part, tag and ".dll" for kinds 2 and 3 (RC,
// UI). 0 with ERROR_FILENAME_EXCED_RANGE, the buffer empty, when it does not fit.
int FormatGeneratedName(int kind, const wchar_t* base, const wchar_t* extensionOrPart, const wchar_t* tag,
                        wchar_t* name);

// folder\name into a buffer of MAX_PATH units. 0 with ERROR_FILENAME_EXCED_RANGE and an empty
// buffer when the folder is empty or the path does not fit: a cut path names another file.
int JoinPath(wchar_t* path, const wchar_t* folder, const wchar_t* name);

// The driver's dependent files as the spooler takes them: names end to end, each with its
// terminator, the list closed by an empty name, in a zero-filled buffer of `units`.
// 0 with ERROR_FILENAME_EXCED_RANGE when they do not fit.
int BuildDependentFiles(const wchar_t* driverName, int isChinese, const PrinterModelInfo* model, wchar_t* buffer,
                        size_t units);

// 1 when a copy over an existing file failed with a cause that a process holding the file
// gives (open without sharing, mapped, loaded), so that it can be replaced at the next start
// of the system; 0 for any other cause.
int IsHeldFileError(DWORD copyError);

// What the printer step of a run that keeps an installation does with the name.
enum PrinterPlan {
    kPlanCreate,   // no printer bears it
    kPlanNumbered, // a printer of another driver bears it: the first free name(n)
    kPlanKeep,     // a printer of the model's driver bears it: that printer is the installation
};

// The plan for name among the spooler's printers, whose names match in any letter case as
// the spooler's do; *existing is the index of the printer that bears it.
PrinterPlan DecidePrinterPlan(const PRINTER_INFO_2W* list, DWORD count, const wchar_t* name, DWORD* existing);

// 1 when an entry of the list bears exactly this printer name (letter case counts).
int isPrinterNameInList(const PRINTER_INFO_2W* list, DWORD count, const wchar_t* name);

// The first of name(1), name(2), ... that no listed printer bears, into candidate (units).
// 0 with ERROR_FILENAME_EXCED_RANGE when it does not fit.
int ChooseNumberedPrinterName(const PRINTER_INFO_2W* list, DWORD count, const wchar_t* name, wchar_t* candidate,
                              size_t units);
