#pragma once
#include <windows.h>

#include <stddef.h>

#include "install/install_job.h"
#include "install/package_manifest.h"

// The package files an installation reads are first copied into a private folder of its
// own and checked there; everything after reads that copy. The package folder itself, a
// share or a downloads folder others may write, is only ever read.

// At most: two extra files, the driver kit's five, four data files, the monitor pair and the
// restore client.
inline constexpr size_t kMaxStagedFiles = 14;

// The files an installation of the job reads, as paths relative to the program's folder:
// the model's language folder (the template's four data files where the model's are
// generated from them), the monitor pair of SETUP or SETUP64, and the restore client.
// 0 with ERROR_FILENAME_EXCED_RANGE when a path does not fit.
int ListStagedFiles(const CInstallJob& job, wchar_t (*paths)[MAX_PATH], size_t* count);

// The package file that a driver file of the job's registration (its bare name, in any
// letter case) was copied from unchanged, as a path relative to the program's folder, into
// relative (MAX_PATH units): the driver kit's files and the extra files under their own
// names, the RC and UI DLLs under the template's. 0 for a file the install generates or
// rewrites (the GPD and the INI made from the template) and for one the package lacks.
int PackageSourceOfDriverFile(const CInstallJob& job, const wchar_t* fileName, wchar_t* relative);

// 0 when the file at path holds the bytes a manifest entry lists; else ERROR_FILE_NOT_FOUND
// (or ERROR_PATH_NOT_FOUND) when it is missing, ERROR_INVALID_DATA when it holds others, or
// the cause that kept it from being read.
DWORD CheckFileAgainstEntry(const wchar_t* path, const ManifestEntry& entry);

// The private copy. Its folders are held open, so that nobody renames or deletes them, and
// each checked file is held open shared for reading only, so that nobody changes or deletes
// it, until the copy is removed: everything the installation takes from the copy is read
// through those handles (Find), never by opening a path again. It is deleted with the
// object, whatever the installation's outcome.
class CPackageStage {
public:
    CPackageStage() = default;
    ~CPackageStage();
    CPackageStage(const CPackageStage&) = delete;
    CPackageStage& operator=(const CPackageStage&) = delete;

    // Removes the copies of earlier runs that were stopped before they could (the caller holds
    // the install lock, so no other installation is using one), then copies the job's files
    // from job.packageDir into a new private folder in the temporary folder. With a manifest
    // (its text and length) a file it does not list is not copied, and a listed one must be
    // there with the listed size and SHA-256, and is refused as soon as it grows past that
    // size; without one (a test program) every file found is copied as it is. 1 when staged;
    // 0 with the cause in the last error, and refused (MAX_PATH units) then names the package
    // file at fault by its relative path (ERROR_INVALID_DATA for other bytes than listed), or
    // is empty when the copy itself failed (no temporary folder, a full disk).
    int Stage(const CInstallJob& job, const char* manifest, size_t manifestLength, wchar_t* refused);
    // The copy's folder; empty before Stage and after Remove.
    const wchar_t* Folder() const { return folder_; }
    // The held handle of the copy's file at path (a full path, any letter case), positioned
    // anywhere; null with ERROR_FILE_NOT_FOUND for a file the copy does not hold.
    HANDLE Find(const wchar_t* path) const;
    // Takes over the handle of a file the installation made in the copy (opened shared for
    // reading only), for Find to give out. 0 with the cause, the handle closed, when no room
    // is left.
    int Keep(const wchar_t* path, HANDLE file);
    // Deletes the copy. A folder that still cannot be deleted after a few tries is deleted
    // at the next start of the system, with a "WARNING" line naming it.
    void Remove();

private:
    struct Held {
        wchar_t path[MAX_PATH];
        HANDLE handle;
    };
    int HoldFolder(const wchar_t* path);
    int MakeFolders(const wchar_t* relative);
    void Release();

    wchar_t folder_[MAX_PATH] = {};
    // Every staged file and the four the installation generates from them.
    Held files_[kMaxStagedFiles + 4] = {};
    size_t fileCount_ = 0;
    // The copy's folder and the package folders inside it.
    Held folders_[8] = {};
    size_t folderCount_ = 0;
};
