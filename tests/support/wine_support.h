#pragma once
#include <windows.h>
#include <winspool.h>

#include <map>
#include <string>
#include <vector>

#include "support/message_boxes.h"

// Helpers for the tests that run inside a throwaway Wine prefix.

// A Windows path for a path of the Linux host (Wine maps the host's root to Z:).
std::wstring HostPath(const std::string& unixPath);
// A host path given to the test in an environment variable, as a Windows path.
std::wstring HostPathFromEnv(const char* variable);

// The prefix's own folders as host paths, untouched by WOW64 redirection: the native
// system directory, and on a 64-bit prefix the 32-bit one (syswow64).
std::wstring NativeSystemDir();
std::wstring Wow64SystemDir();
bool Is64BitPrefix();

// Each system directory the monitor pair goes into: as this process reaches it (a host
// path) and as the program names it (the 32-bit one of a 64-bit system by its own name,
// which no redirection changes); the 32-bit one first.
struct SystemDirectory {
    std::wstring host;
    std::wstring named;
};
std::vector<SystemDirectory> MonitorSystemDirectories();

// An older monitor DLL (or the bytes given) in each of those directories, held open without
// sharing (or with the sharing given) as a process that has loaded it holds it, until the
// object ends.
class HeldOlderMonitors {
public:
    explicit HeldOlderMonitors(const std::string& bytes = "an older monitor", DWORD sharing = 0);
    ~HeldOlderMonitors();
    HeldOlderMonitors(const HeldOlderMonitors&) = delete;
    HeldOlderMonitors& operator=(const HeldOlderMonitors&) = delete;
    bool held() const;
    void Release();

private:
    std::vector<HANDLE> files_;
};

// A printer's comment, read or (with a text) changed, and its port changed, through SetPrinterW
// level 2 as a user of Printers and Faxes would.
std::wstring PrinterComment(const wchar_t* name, const wchar_t* newComment = nullptr, const wchar_t* newPort = nullptr);

// A key of HKEY_LOCAL_MACHINE given a DACL in SDDL.
bool SetKeyDacl(const std::wstring& key, const wchar_t* sddl);

// The release the installations record, written as an older or newer release would leave it.
bool RecordRelease(const wchar_t* release);

bool FileExists(const std::wstring& path);
// A file's bytes; empty when it cannot be read.
std::string ReadFileBytes(const std::wstring& path);
// Creates or replaces a file with these bytes.
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
bool CopyInto(const std::wstring& source, const std::wstring& folder, const std::wstring& name);
std::wstring TempFolder(const std::wstring& name);

// Starts a program and waits for it; the exit code, or -1 when it could not be started
// and -2 when it did not end within the time (it is then ended).
struct Started {
    HANDLE process = nullptr;
    DWORD processId = 0;
};
Started StartProgram(const std::wstring& exe, const std::wstring& arguments, const STARTUPINFOW* startup = nullptr);
long WaitForExit(Started& started, DWORD milliseconds);
long RunProgram(const std::wstring& exe, const std::wstring& arguments, DWORD milliseconds = 60000);
// Its standard output and error as one; a program that does not end in time is ended and
// fails the test.
std::string RunAndCapture(const std::wstring& exe, const std::wstring& arguments, long* exitCode,
                          DWORD milliseconds = 30000);

// Like WaitForExit, watching all the while for a visible top-level window of the process.
long WaitForExitWatchingWindows(Started& started, DWORD milliseconds, bool* sawWindow);

// The dialog window of a process, waited for; null when none appeared in time.
HWND WaitForDialogOf(DWORD processId, DWORD milliseconds);
// The text of another process's window or control.
std::wstring TextOf(HWND window);
// Answers the message boxes that another process's window owns with OK, as each comes,
// until one carries the caption "SUCCESS" or no further box comes within the wait.
std::vector<SeenBox> AnswerBoxesOf(HWND owner, DWORD quietMilliseconds = 15000);

// The sample package's monitor pair in the system directories (both on a 64-bit prefix).
void PlaceMonitorDlls();
// Both DLLs of the pair in the native, or the 32-bit, system directory (one and the same
// on a 32-bit prefix).
bool MonitorDllsInNativeSystemDir();
bool MonitorDllsIn32BitSystemDir();
// Adds the monitor and "USB PORT:" from a helper process, so that this one does not keep
// the monitor DLL loaded.
bool AddFixtureMonitorAndPort();
bool MonitorKeyExists();
bool MonitorRegistered(const wchar_t* name);

// A driver registered for the spooler, with dummy files; on a 64-bit prefix for both
// environments, since the 32-bit AddPrinterW looks drivers up only under "Windows NT x86".
bool RegisterSeedDriver(const wchar_t* name);
bool DriverRegistered(const wchar_t* name, const wchar_t* environment);
bool AddSeedPrinter(const wchar_t* printerName, const wchar_t* driverName, const wchar_t* port);
std::vector<std::wstring> PrinterNames();
bool PrinterExists(const wchar_t* name);
void DeleteAllPrinters();

// Every file in a folder and its sub-folders: its path relative to the folder, and its bytes.
std::map<std::wstring, std::string> FilesUnder(const std::wstring& folder);
// The installations' private copies still in the temporary folder.
std::vector<std::wstring> StagingFoldersLeft();
// The model's data file generated from a template's text that holds the template name, as
// the install writes it: the text up to a zero byte (an INI's as text mode reads it: CR LF as
// LF, up to a 0x1A byte), every "80Normal" (an INI's first) replaced by "KR-620", and each
// LF written as CR LF.
std::string GeneratedText(const std::string& templateText, bool gpd);

// The shipped program (DI_EXE) copied beside this one, where it finds the package; its path,
// or empty when it could not be copied.
std::wstring ShippedProgramBesideThis();
// The spooler's driver directory for the prefix's own environment.
std::wstring DriverDirectory();
// The lines of a program's UTF-8 output, without their line ends; empty lines dropped.
std::vector<std::wstring> OutputLines(const std::string& utf8);

// An object-manager link under the install lock's name that leads into a folder that does
// not exist: opening or making the lock then fails with ERROR_PATH_NOT_FOUND, as for a lock
// that cannot be made. Closing the handle takes the link away; null when it was not made.
HANDLE LinkLockNameToNowhere();

// The renames and deletions the system carries out at its next start, as (from, to) pairs
// (to empty for a deletion), and their removal.
std::vector<std::pair<std::wstring, std::wstring>> PendingRenames();
void ForgetPendingRenames();

// The session manager's key refusing new values, as for an account that may not schedule
// a rename; its own DACL comes back when this goes.
class RenamesRefused {
public:
    RenamesRefused();
    ~RenamesRefused();
    RenamesRefused(const RenamesRefused&) = delete;
    RenamesRefused& operator=(const RenamesRefused&) = delete;
    bool refused() const { return refused_; }

private:
    HKEY key_ = nullptr;
    alignas(8) BYTE original_[4096] = {};
    bool refused_ = false;
};

// Puts back the sample package beside this program (SETUP and SETUP64 from DI_DIST), as it
// was shipped, for a test that changes or generates files in it.
void RestorePackageBesideProgram();
