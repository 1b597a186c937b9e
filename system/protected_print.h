#pragma once
#include <windows.h>

// Windows protected print mode (Windows 11 24H2 and later) blocks every third-party printer
// driver. The platform says whether it is on through a WinRT query where that exists, and
// the group policy that turns it on leaves its values in the registry.

struct ProtectedPrintFacts {
    // 1 when WindowsProtectedPrintInfo.IsProtectedPrintEnabled answered, with its answer.
    int queried;
    int queriedEnabled;
    // The policy's DWORD values under HKLM\SOFTWARE\Policies\Microsoft\Windows NT\Printers\WPP;
    // each *Present is 0 when the value is missing or of another type.
    int policyStatePresent;
    DWORD policyState; // WindowsProtectedPrintGroupPolicyState
    int modePresent;
    DWORD mode;        // WindowsProtectedPrintMode
};

// 1 when protected print mode is on: the WinRT answer where there is one; else the policy's
// mode value set to a nonzero number, unless the policy's state says it is not configured (0).
int IsProtectedPrintOn(const ProtectedPrintFacts& facts);

// The facts on this system: the WinRT query looked up at run time (combase), the policy
// values read from the 64-bit view where there is one.
void QueryProtectedPrintFacts(ProtectedPrintFacts* facts);
