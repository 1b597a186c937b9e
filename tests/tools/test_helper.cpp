// What the Wine tests must do in a process of its own.
//   test_helper                    prints the probes, one "name=value" line each (a Windows
//                                  version is read at process start)
//   test_helper --load NAME        loads NAME by bare name (a search), to show what a
//                                  planted DLL beside a program would do
//   test_helper --add-usb-monitor  adds the monitor and its port. Wine's spooler runs in
//                                  the calling process and keeps the monitor DLL mapped
//                                  there, which would keep a test from deleting it.
#include <windows.h>
#include <winspool.h>

#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#include "spooler/spooler.h"
#include "spooler/spooler_names.h"
#include "system/probes.h"

static int AddUsbMonitorAndPort()
{
    MONITOR_INFO_2W monitor = {const_cast<wchar_t*>(kUsbMonitorName),
                               const_cast<wchar_t*>(GetPrintEnvironment(GetNativeBits() == 64)),
                               const_cast<wchar_t*>(kMonitorDllName)};
    if (!Spooler().addMonitor(nullptr, 2, reinterpret_cast<BYTE*>(&monitor)))
        return 1;
    AddPortExAFn addPortExA = Spooler().findAddPortExA();
    PORT_INFO_1A port = {const_cast<char*>(kUsbPortNameA)};
    if (!addPortExA || !addPortExA(nullptr, 1, reinterpret_cast<BYTE*>(&port), const_cast<char*>(kUsbMonitorNameA)))
        return 2;
    return 0;
}

int wmain(int argc, wchar_t** argv)
{
    if (argc == 3 && wcscmp(argv[1], L"--load") == 0)
        return LoadLibraryW(argv[2]) ? 0 : 1;
    if (argc == 2 && wcscmp(argv[1], L"--add-usb-monitor") == 0)
        return AddUsbMonitorAndPort();

    wchar_t name[256] = {};
    int named = GetOSDisplayName(name);
    DWORD major = 0, minor = 0, build = 0;
    int known = GetNtVersionNumbers(&major, &minor, &build);
    OSVERSIONINFOEXW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version));
    wprintf(L"bits=%d\n", GetNativeBits());
    wprintf(L"environment=%ls\n", GetPrintEnvironment(GetNativeBits() == 64));
    wprintf(L"chinese=%d\n", IsChineseSystem());
    wprintf(L"reported=%lu.%lu\n", version.dwMajorVersion, version.dwMinorVersion);
    wprintf(L"product=%u\n", version.wProductType);
    wprintf(L"nt=%d:%lu.%lu.%lu\n", known, major, minor, build);
    wprintf(L"osname=%d:%ls\n", named, name);
    return 0;
}
