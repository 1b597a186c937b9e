#pragma once
#include <windows.h>

#include <stddef.h>

// What the installations keep about themselves under the product's key in
// HKEY_LOCAL_MACHINE (the 32-bit view of SOFTWARE, where the MSI keeps its values too): the
// release installed, and what the last install created, so that an undo takes back that
// work and nothing that was there before. The values hold names, never catalogue texts, so
// that a run in another language reads them alike. Only administrators and the system
// account may write there.

inline constexpr wchar_t kProductKey[] = L"SOFTWARE\\Ketrin\\DriverInstall";

// This program's release, "MAJOR.MINOR.PATCH".
extern const wchar_t kProgramRelease[];

// Below 0, 0 or above 0 as release a is older than, the same as or newer than b: each of
// the dot-separated parts compared as a number, a missing or unreadable part counting as 0.
int CompareReleases(const wchar_t* a, const wchar_t* b);

// Records this program's release as the one installed.
int WriteInstalledRelease();
// The release recorded, into release (units). 0 with ERROR_FILE_NOT_FOUND when none is.
int ReadInstalledRelease(wchar_t* release, size_t units);
// Takes away the release and the last run's record, and the product's key with them when
// nothing else is left in it (the MSI removes its own values).
void RemoveProductRecord();

// What an install may create, each recorded by its name: the network port is the one made
// through the Standard TCP/IP monitor for an address.
enum RecordedKind {
    kRecordedMonitor,
    kRecordedPort,
    kRecordedDriver,
    kRecordedPrinter,
    kRecordedNetworkPort,
    kRecordedKinds
};

// Printer names in the record may carry a number beyond the typed name's 259 characters.
inline constexpr size_t kRecordedNameUnits = 520;

// The work of one install: its run name (empty when none was given) and the name of each
// thing it created, empty for what it found in place.
struct RunRecord {
    wchar_t runId[65];
    wchar_t names[kRecordedKinds][kRecordedNameUnits];
};

// Replaces the last run's record with an empty one of this run (runId may be empty). Until
// it succeeds nothing is recorded in this process, so no run's work is put in another's
// record.
int BeginRunRecord(const wchar_t* runId);
// Adds one thing this run created to its record; nothing when no record was begun.
int RecordCreated(RecordedKind kind, const wchar_t* name);
// The last run's record. 0 with ERROR_FILE_NOT_FOUND when there is none.
int ReadRunRecord(RunRecord* record);
int ClearRunRecord();
