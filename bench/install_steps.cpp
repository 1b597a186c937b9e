// Where the unattended install's time goes: the steps of the entry, of the unattended run
// and of the install sequence, in the program's order and each timed, in one process that
// must run beside the package in a fresh prefix. Prints one "step<TAB>name<TAB>ms" line a
// step; install_bench.sh takes the medians over fresh prefixes. Exit code 0 when the
// printer was created.
//   install_steps
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <stdio.h>
#include <stdlib.h>

#include "app/app_module.h"
#include "i18n/catalogue.h"
#include "install/install_job.h"
#include "install/install_lock.h"
#include "install/package_manifest.h"
#include "install/package_staging.h"
#include "spooler/spooler_names.h"
#include "system/probes.h"
#include "system/system_library.h"
#include "system/report_log.h"
#include "system/user_report.h"

static LARGE_INTEGER frequency;

template <typename Work> static int Time(const wchar_t* name, Work work)
{
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    int result = work();
    QueryPerformanceCounter(&end);
    wprintf(L"step\t%ls\t%.2f\n", name, 1000.0 * double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart));
    return result;
}

int wmain()
{
    QueryPerformanceFrequency(&frequency);
    // The reports go nowhere, as in the benchmark's run with no console and no log; this
    // program's own lines still reach the standard output its C runtime was given.
    SetStdHandle(STD_OUTPUT_HANDLE, INVALID_HANDLE_VALUE);

    Time(L"entry: CoInitialize, DefWindowProcW, InitCommonControlsEx, module, RICHED20", [] {
        RestrictDllSearchToSystemDirectory();
        CoInitialize(nullptr);
        DefWindowProcW(nullptr, WM_NULL, 0, 0);
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_BAR_CLASSES};
        InitCommonControlsEx(&controls);
        int initialised = SUCCEEDED(appModule.Init(GetModuleHandleW(nullptr)));
        LoadSystemLibrary(L"RICHED20.DLL");
        return initialised;
    });
    Time(L"catalogue check and bind", [] {
        BindMessageCatalogue();
        return 1;
    });
    CReportLog log;
    Time(L"report output (no console, no log file)", [&log] { return log.Open(nullptr); });
    SetReportLog(&log);
    CInstallLock lock;
    if (!Time(L"install lock", [&lock] { return lock.Take(0) == kLockHeld; }))
        return 1;
    CInstallJob* job = nullptr;
    Time(L"job: native bits, system language", [&job] {
        job = new CInstallJob(&kModelTable[0], kModelTable[0].displayName, kUsbPortName);
        return 1;
    });
    if (!Time(L"driver directory and its line", [job] {
            wchar_t* directory = getPrinterDriverDir(job->is64);
            if (!directory)
                return 0;
            lstrcpynW(job->driverDir, directory, MAX_PATH);
            free(directory);
            ReportProgress("PO_GSTR_LOG_DRIVER_DIR", job->driverDir);
            return 1;
        }))
        return 1;
    Time(L"privilege, package paths", [job] {
        HANDLE token = nullptr;
        if (OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, &token)) {
            EnableTokenPrivilege(token, L"SeDebugPrivilege");
            CloseHandle(token);
        }
        return job->computePaths();
    });
    CPackageStage stage;
    if (!Time(L"private copy of the package, checked against the manifest", [job, &stage] {
            const char* manifest = nullptr;
            size_t length = 0;
            wchar_t refused[MAX_PATH] = {};
            return LoadPackageManifest(&manifest, &length) && stage.Stage(*job, manifest, length, refused) &&
                   job->usePackageDir(stage.Folder());
        }))
        return 1;
    Time(L"restore client", [job] {
        job->copyRestoreClient();
        return 1;
    });
    if (!Time(L"template clone (modifyFiles)", [job] { return job->modifyFiles(); }) ||
        !Time(L"package copy with its lines (copyFiles)", [job] { return job->copyFiles(); }))
        return 1;
    Time(L"monitor pair copy with its lines", [job] { return job->copyMonitorDlls(); });
    if (!Time(L"AddMonitorW and its line", [job] { return job->installMonitor(); }) ||
        !Time(L"AddPortExA and its line", [job] { return job->installPort(); }) ||
        !Time(L"AddPrinterDriverW and its line", [job] { return job->installDriver(); }) ||
        !Time(L"AddPrinterW, ClosePrinter and its line", [job] { return job->installPrinter(); }))
        return 1;
    Time(L"success and exit-code lines", [] {
        wchar_t text[520] = {};
        ReportToUser(GetLocalizedText("PO_GSTR_INSTALL_SUCCESS", text, 520), L"SUCCESS");
        ReportProgress("PO_GSTR_EXIT_CODE", L"0");
        return 1;
    });
    Time(L"private copy deleted", [&stage] {
        stage.Remove();
        return 1;
    });
    SetReportLog(nullptr);
    delete job;
    Time(L"entry end: CoUninitialize, module", [] {
        appModule.Term();
        CoUninitialize();
        return 1;
    });
    return 0;
}
