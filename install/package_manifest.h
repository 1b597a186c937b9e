#pragma once
#include <windows.h>

#include <stddef.h>

#include "system/crypto.h"

// The list of the package's files that the build links into the program: one line a file,
// "<SHA-256 in 64 hex digits> <size in bytes> <path relative to the program's folder>",
// ended by LF or CR LF. An installation copies only listed files, and only when their bytes
// are the listed ones.

struct ManifestEntry {
    unsigned long long size;
    BYTE sha256[kSha256Bytes];
};

// The entry of relativePath (backslashes, as the package lays it out). ASCII letters match
// in either case, as Windows file names do; any other character only itself, so a path
// that is not plain ASCII is never listed. Lines that do not parse are passed over. 1 with
// the entry when listed, else 0.
int FindManifestEntry(const char* text, size_t length, const wchar_t* relativePath, ManifestEntry* entry);

// The manifest linked into the running program. 0 when it has none (a test program): the
// installation then copies what it finds, unchecked.
int LoadPackageManifest(const char** text, size_t* length);
