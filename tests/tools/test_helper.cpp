// What the Wine tests must do in a process of its own.
//   test_helper                    prints the probes, one "name=value" line each (a Windows
//                                  version is read at process start)
//   test_helper --load NAME        loads NAME by bare name (a search), to show what a
//                                  planted DLL beside a program would do
//   test_helper --list-ports       asks the spooler for its ports, with this helper's
//                                  unrestricted DLL search
//   test_helper --lookup KEY UNITS binds the catalogue beside the helper and looks KEY up
//                                  into a buffer of UNITS holding "previous" and filler,
//                                  with guard units behind it; prints the code page, the
//                                  text's UTF-16 units in hex, whether it ended within the
//                                  buffer and whether the guards are whole
//   test_helper --add-usb-monitor  adds the monitor and its port. Wine's spooler runs in
//                                  the calling process and keeps the monitor DLL mapped
//                                  there, which would keep a test from deleting it.
#include <windows.h>
#include <winspool.h>

#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#include "i18n/catalogue.h"
#include "spooler/spooler.h"
#include "spooler/spooler_names.h"
#include "system/probes.h"

static int LookUp(const wchar_t* wideKey, size_t units)
{
    const size_t kGuards = 4;
    const wchar_t kGuard = 0xBEEF;
    char key[128] = {};
    for (size_t i = 0; wideKey[i] && i + 1 < sizeof(key); ++i)
        key[i] = static_cast<char>(wideKey[i]);
    wchar_t* buffer = static_cast<wchar_t*>(malloc((units + kGuards) * sizeof(wchar_t)));
    if (!buffer)
        return 1;
    wmemset(buffer, L'x', units);
    wmemset(buffer + units, kGuard, kGuards);
    if (units > 8)
        wcscpy(buffer, L"previous");
    BindMessageCatalogue();
    GetLocalizedText(key, buffer, units);
    printf("acp=%u\ntext=", GetACP());
    size_t length = 0;
    for (; length < units && buffer[length]; ++length)
        printf("%04X", buffer[length]);
    size_t guards = 0;
    for (size_t i = 0; i < kGuards; ++i)
        guards += buffer[units + i] == kGuard;
    printf("\nterminated=%d\nguard=%d\n", length < units, guards == kGuards);
    free(buffer);
    return 0;
}

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
    if (argc == 2 && wcscmp(argv[1], L"--list-ports") == 0) {
        DWORD needed = 0, count = 0;
        Spooler().enumPorts(nullptr, 1, nullptr, 0, &needed, &count);
        // One port name a line, for a test that must not load the monitors itself.
        BYTE* buffer = static_cast<BYTE*>(calloc(needed + 16, 1));
        if (buffer && Spooler().enumPorts(nullptr, 1, buffer, needed, &needed, &count)) {
            const PORT_INFO_1W* ports = reinterpret_cast<const PORT_INFO_1W*>(buffer);
            for (DWORD i = 0; i < count; ++i)
                wprintf(L"%ls\n", ports[i].pName);
        }
        free(buffer);
        return 0;
    }
    if (argc == 4 && wcscmp(argv[1], L"--lookup") == 0)
        return LookUp(argv[2], wcstoul(argv[3], nullptr, 10));
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
