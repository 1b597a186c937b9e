#pragma once
#include <windows.h>

#include "system/service_control.h"

// What keeps an installation from working on this machine, found before anything changes:
// an account that is no administrator, a Print Spooler service that is disabled or will not
// run, Windows protected print mode. Each is said in one "ERROR" report (a box in the
// dialog, a line without a window).

// What to do about the spooler service as the service control manager describes it.
enum SpoolerStep {
    kSpoolerGoOn,     // running, or the manager could not be asked: the install finds out
    kSpoolerStart,    // stopped or on its way, and allowed to start
    kSpoolerDisabled, // start type disabled: an administrator's decision, never changed here
};

SpoolerStep DecideSpoolerStep(const ServiceFacts& spooler);

// The spooler is given this long to run after it was started: at a computer's start-up an
// installation by Group Policy may come before it.
inline constexpr DWORD kSpoolerStartMs = 60 * 1000;

// The checks in order, the spooler started where it may be ("INFO" line). 1 when the
// installation may go on; 0 after the one "ERROR" report.
int RunPreflight();
