#pragma once
#include <windows.h>

// What the platform told about the running system, gathered before the name is chosen.
struct OsVersionFacts {
    DWORD major;
    DWORD minor;
    DWORD platformId;
    BYTE productType;
    WORD processorArchitecture; // native, so that a 32-bit build on XP x64 names it right
    int serverR2;               // GetSystemMetrics(SM_SERVERR2)
    int ntVersionKnown;         // RtlGetNtVersionNumbers answered
    DWORD ntMajor;              // the real version, which the manifest-less 6.2 hides
    DWORD ntMinor;
};

// The display name of the system, or null when it has none to show (the label stays empty).
const wchar_t* SelectOSDisplayName(const OsVersionFacts& facts);
