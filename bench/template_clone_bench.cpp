// Times the template clone (modifyFiles) against plain CopyFileW copies of the same four
// template files, for a GPD template of 10 KB, 1 MB and 50 MB, and prints the ratio per
// size. The clone streams the GPD and the INI through a fixed pair of buffers, reading each
// once and writing each generated file once, and copies the two DLLs.
// Memory: the peak working set the clone added, per template byte.
#include <windows.h>
#include <psapi.h>

#include <stdio.h>

#include <algorithm>
#include <string>
#include <vector>

#include "install/install_job.h"

static double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

static void WriteBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

// size bytes of line after line, written a block at a time: the benchmark's own memory stays
// small beside what the clone adds.
static void WriteRepeated(const std::wstring& path, const std::string& line, size_t size)
{
    std::string block;
    while (block.size() < 64 * 1024)
        block += line;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    for (size_t at = 0; at < size; at += block.size()) {
        DWORD written = 0;
        WriteFile(file, block.data(), static_cast<DWORD>(std::min(block.size(), size - at)), &written, nullptr);
    }
    CloseHandle(file);
}

static SIZE_T PeakWorkingSet()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    return counters.PeakWorkingSetSize;
}

static double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

int wmain()
{
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"clone-bench";
    CreateDirectoryW(folder.c_str(), nullptr);

    CInstallJob job(&kModelTable[0], L"bench", L"LPT1:");
    job.isChinese = 0;
    wcscpy(job.sourceDir, folder.c_str());
    // The three small kinds as the sample package has them; the GPD carries the size.
    WriteBytes(folder + L"\\80NormalENG.INI", "[OEMFiles]\r\nOEMConfigFile1=80NormalUIENG.dll\r\n");
    WriteBytes(folder + L"\\80NormalRCENG.dll", std::string(3584, 'r'));
    WriteBytes(folder + L"\\80NormalUIENG.dll", std::string(3584, 'u'));

    const std::string line = "*Command: CmdSelect { *Cmd: \"<1B>@\" } *% 80Normal receipt printer, 80 mm\r\n";
    const size_t sizes[] = {10 * 1024, 1024 * 1024, 50 * 1024 * 1024};
    printf("size_bytes  copy_ms  clone_ms  ratio  clone_ms_per_MB  peak_added_bytes_per_template_byte\n");
    const SIZE_T startPeak = PeakWorkingSet();
    for (size_t size : sizes) {
        WriteRepeated(folder + L"\\80NormalENG.GPD", line, size);

        const int rounds = size > 10 * 1024 * 1024 ? 5 : 21;
        std::vector<double> copies, clones;
        for (int round = 0; round < rounds; ++round) {
            LARGE_INTEGER a, b, c;
            QueryPerformanceCounter(&a);
            for (const wchar_t* name : {L"ENG.GPD", L"ENG.INI", L"RCENG.dll", L"UIENG.dll"})
                CopyFileW((folder + L"\\80Normal" + name).c_str(), (folder + L"\\copy" + name).c_str(), FALSE);
            QueryPerformanceCounter(&b);
            if (!job.modifyFiles()) {
                fprintf(stderr, "modifyFiles failed: %lu\n", GetLastError());
                return 1;
            }
            QueryPerformanceCounter(&c);
            copies.push_back(Seconds(a, b));
            clones.push_back(Seconds(b, c));
        }
        const double copy = Median(copies), clone = Median(clones);
        const double peakAdded = double(PeakWorkingSet() - startPeak) / double(size);
        printf("%10zu  %7.2f  %8.2f  %5.2f  %15.2f  %.2f\n", size, copy * 1000, clone * 1000, clone / copy,
               clone * 1000 / (double(size) / (1024 * 1024)), peakAdded);
    }
    return 0;
}
