// The file work of an installation against Wine's file system: the package copied into the
// spooler's driver directory, the monitor pair into the system directories, the restore
// client, and the model's data files cloned from the template. The test program runs from a
// folder that holds the sample package beside it, as the installer does.
#include <gtest/gtest.h>

#include <windows.h>

#include <sddl.h>
#include <stdlib.h>

#include <string>
#include <utility>
#include <vector>

#include "install/install_job.h"
#include "spooler/spooler_names.h"
#include "support/message_boxes.h"
#include "support/wine_support.h"
#include "system/probes.h"
#include "system/report_log.h"

namespace {

std::wstring ProgramFolder()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    *wcsrchr(path, L'\\') = 0;
    return path;
}

// A job for the one model with its driver directory filled in, as the install does first.
class JobOnWine : public ::testing::Test {
protected:
    void SetUp() override
    {
        RestorePackageBesideProgram();
        wchar_t* directory = getPrinterDriverDir(job_.is64);
        ASSERT_NE(nullptr, directory);
        wcscpy(job_.driverDir, directory);
        free(directory);
        ASSERT_EQ(1, job_.computePaths());
        source_ = job_.sourceDir;
        tag_ = job_.isChinese ? L"CHN" : L"ENG";
    }

    std::wstring Source(const std::wstring& name) const { return source_ + L"\\" + name; }
    std::wstring Driver(const std::wstring& name) const { return std::wstring(job_.driverDir) + L"\\" + name; }

    CInstallJob job_{&kModelTable[0], L"Front desk", L"USB PORT:"};
    std::wstring source_;
    std::wstring tag_;
};

using InstallFiles = JobOnWine;

TEST_F(InstallFiles, PathsFollowTheProgramTheBitnessAndTheLanguage)
{
    const bool chinese = getenv("LC_ALL") && std::string(getenv("LC_ALL")).rfind("zh_CN", 0) == 0;
    EXPECT_EQ(chinese ? 1 : 0, job_.isChinese);
    EXPECT_EQ(Is64BitPrefix() ? 1 : 0, job_.is64);
    const std::wstring setup = ProgramFolder() + (Is64BitPrefix() ? L"\\SETUP64" : L"\\SETUP");
    EXPECT_EQ(setup, job_.setupDir);
    EXPECT_EQ(setup + L"\\80Normal\\" + tag_, source_);
    EXPECT_EQ(L"KR-620" + tag_ + L".GPD", job_.dataFile);
    const std::wstring driverTail = Is64BitPrefix() ? L"\\x64" : L"\\w32x86";
    EXPECT_EQ(driverTail, std::wstring(job_.driverDir).substr(wcslen(job_.driverDir) - driverTail.size()));
}

TEST_F(InstallFiles, ThePackageAndTheGeneratedFilesLandInTheDriverDirectory)
{
    ASSERT_EQ(1, job_.modifyFiles());
    ASSERT_TRUE(WriteFileBytes(Driver(L"UNIDRV.dll"), "an older file"));
    ASSERT_EQ(1, job_.copyFiles());
    const std::wstring names[] = {L"UNIRES.dll",          L"unidrv.hlp",          L"UNIDRVUI.dll",
                                  L"UNIDRV.dll",          L"STDNAMES.GPD",        L"KR-620" + tag_ + L".GPD",
                                  L"KR-620" + tag_ + L".INI", L"KR-620RC" + tag_ + L".dll",
                                  L"KR-620UI" + tag_ + L".dll"};
    for (const std::wstring& name : names) {
        EXPECT_TRUE(FileExists(Driver(name))) << std::string(name.begin(), name.end());
        EXPECT_EQ(ReadFileBytes(Source(name)), ReadFileBytes(Driver(name))) << std::string(name.begin(), name.end());
    }
    EXPECT_EQ(L"KR-620" + tag_ + L".GPD", std::wstring(job_.gpdFile));
}

TEST_F(InstallFiles, AMissingFileFailsTheCopyButNotTheOthers)
{
    ASSERT_EQ(1, job_.modifyFiles());
    ASSERT_TRUE(DeleteFileW(Source(L"UNIRES.dll").c_str()));
    ASSERT_TRUE(DeleteFileW(Source(L"STDNAMES.GPD").c_str()));
    DeleteFileW(Driver(L"unidrv.hlp").c_str());
    DeleteFileW(Driver(L"KR-620UI" + tag_ + L".dll").c_str());

    SetLastError(0xDEADBEEF);
    EXPECT_EQ(0, job_.copyFiles());
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    // Entries before and after the missing ones were still copied.
    EXPECT_TRUE(FileExists(Driver(L"unidrv.hlp")));
    EXPECT_TRUE(FileExists(Driver(L"KR-620UI" + tag_ + L".dll")));
}

TEST_F(InstallFiles, AModelsExtraFilesAreCopiedAndAMissingOneFails)
{
    PrinterModelInfo row = {L"X", L"KR-620", L"KR-620", L"80Normal", 1, L"EXTRA1.DLL", L"EXTRA2.DAT"};
    job_.model = &row;
    ASSERT_EQ(1, job_.modifyFiles());
    ASSERT_TRUE(WriteFileBytes(Source(L"EXTRA1.DLL"), "one"));
    ASSERT_TRUE(WriteFileBytes(Source(L"EXTRA2.DAT"), "two"));
    ASSERT_EQ(1, job_.copyFiles());
    EXPECT_EQ("one", ReadFileBytes(Driver(L"EXTRA1.DLL")));
    EXPECT_EQ("two", ReadFileBytes(Driver(L"EXTRA2.DAT")));

    row.extraFile2 = nullptr;
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(0, job_.copyFiles());
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());

    // Without the flag the extra files are not the model's.
    row.hasExtraFiles = 0;
    EXPECT_EQ(1, job_.copyFiles());
}

TEST_F(InstallFiles, TheMonitorPairGoesIntoEverySystemDirectory)
{
    std::vector<std::wstring> folders = {NativeSystemDir()};
    if (Is64BitPrefix())
        folders.push_back(Wow64SystemDir());
    for (const std::wstring& folder : folders) {
        DeleteFileW((folder + L"\\" + kMonitorDllName).c_str());
        ASSERT_TRUE(WriteFileBytes(folder + L"\\" + kMonitorUiDllName, "an older file"));
    }
    EXPECT_EQ(1, job_.copyMonitorDlls());
    const std::wstring setup = job_.setupDir;
    for (const wchar_t* name : {kMonitorDllName, kMonitorUiDllName}) {
        const std::string package = ReadFileBytes(setup + L"\\" + name);
        ASSERT_FALSE(package.empty());
        EXPECT_EQ(package, ReadFileBytes(NativeSystemDir() + L"\\" + name));
        if (Is64BitPrefix()) {
            EXPECT_EQ(package, ReadFileBytes(Wow64SystemDir() + L"\\" + name));
        }
    }

    // Redirection is back on: the system directory's path reaches the 32-bit one again.
    if (Is64BitPrefix()) {
        wchar_t systemDir[MAX_PATH] = {};
        GetSystemDirectoryW(systemDir, MAX_PATH);
        ASSERT_TRUE(WriteFileBytes(std::wstring(systemDir) + L"\\redirection.probe", "probe"));
        EXPECT_TRUE(FileExists(Wow64SystemDir() + L"\\redirection.probe"));
        EXPECT_FALSE(FileExists(NativeSystemDir() + L"\\redirection.probe"));
    }
}

size_t FileCount(const std::wstring& folder)
{
    size_t count = 0;
    WIN32_FIND_DATAW found = {};
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    do
        ++count;
    while (FindNextFileW(search, &found));
    FindClose(search);
    return count;
}

TEST_F(InstallFiles, AMonitorDllTheSystemHoldsIsReplacedAtTheNextStartOnlyInARunWithoutAWindow)
{
    const std::vector<SystemDirectory> folders = MonitorSystemDirectories();
    // Wine's spooler keeps a monitor this process added loaded, and so its DLL held, until
    // the monitor is removed here.
    DeleteMonitorW(nullptr, nullptr, const_cast<wchar_t*>(kUsbMonitorName));
    for (const SystemDirectory& folder : folders)
        DeleteFileW((folder.host + L"\\" + kMonitorUiDllName).c_str());
    HeldOlderMonitors held;
    ASSERT_TRUE(held.held());
    ForgetPendingRenames();
    const std::wstring setup = job_.setupDir;
    const std::string monitor = ReadFileBytes(setup + L"\\" + kMonitorDllName);
    const std::string monitorUi = ReadFileBytes(setup + L"\\" + kMonitorUiDllName);

    // The dialog run passes the held file over, without a box.
    {
        MessageBoxWatch watch;
        EXPECT_EQ(1, job_.copyMonitorDlls());
        EXPECT_EQ(1, job_.scheduleMonitorReplacements());
        EXPECT_TRUE(watch.boxes.empty());
    }
    EXPECT_EQ(0, job_.restartNeeded);
    EXPECT_TRUE(PendingRenames().empty());

    // Without a window, with the report's "WARNING" lines; the replacement is scheduled only
    // when the installation asks, once its printer exists.
    const std::wstring logPath = TempFolder(L"held") + L"\\install.log";
    auto runWithoutAWindow = [&](int scheduled) {
        DeleteFileW(logPath.c_str());
        {
            CReportLog log;
            EXPECT_EQ(1, log.Open(logPath.c_str()));
            SetReportLog(&log);
            EXPECT_EQ(1, job_.copyMonitorDlls());
            EXPECT_TRUE(PendingRenames().empty());
            EXPECT_EQ(scheduled, job_.scheduleMonitorReplacements());
            SetReportLog(nullptr);
        }
        std::vector<std::wstring> warnings;
        for (const std::wstring& line : OutputLines(ReadFileBytes(logPath))) {
            if (line.size() > 20 && line.compare(20, 9, L"WARNING: ") == 0)
                warnings.push_back(line.substr(20));
        }
        return warnings;
    };

    // A rename the system refuses to record leaves the old monitor in place: each file is
    // named with the cause, and no copy is left.
    std::vector<size_t> files;
    for (const auto& folder : folders)
        files.push_back(FileCount(folder.host));
    {
        RenamesRefused refused;
        ASSERT_TRUE(refused.refused());
        const std::vector<std::wstring> warnings = runWithoutAWindow(0);
        ASSERT_EQ(folders.size(), warnings.size());
        // Wine's MoveFileExW answers with the cause of the registry write it could not make.
        for (size_t i = 0; i < folders.size(); ++i) {
            const std::wstring named = L" " + folders[i].named + L"\\" + kMonitorDllName + L" (";
            EXPECT_NE(std::wstring::npos, warnings[i].find(named)) << testing::PrintToString(warnings[i]);
            EXPECT_EQ(std::wstring::npos, warnings[i].find(L"(0)")) << testing::PrintToString(warnings[i]);
        }
    }
    EXPECT_EQ(0, job_.restartNeeded);
    EXPECT_TRUE(PendingRenames().empty());
    for (size_t i = 0; i < folders.size(); ++i)
        EXPECT_EQ(files[i], FileCount(folders[i].host));

    const std::vector<std::wstring> warnings = runWithoutAWindow(1);
    EXPECT_EQ(1, job_.restartNeeded);
    held.Release();

    const auto renames = PendingRenames();
    ASSERT_EQ(folders.size(), renames.size());
    ASSERT_EQ(folders.size(), warnings.size());
    for (size_t i = 0; i < folders.size(); ++i) {
        const std::wstring& host = folders[i].host;
        const std::wstring& named = folders[i].named;
        const std::wstring target = named + L"\\" + kMonitorDllName;
        SCOPED_TRACE(std::string(target.begin(), target.end()));
        // "!" asks for the file in place to be replaced.
        EXPECT_EQ(L"!\\??\\" + target, renames[i].second);
        const std::wstring from = renames[i].first;
        ASSERT_EQ(0u, from.find(L"\\??\\" + named + L"\\"));
        const std::wstring copy = host + from.substr(from.rfind(L'\\'));
        EXPECT_EQ(monitor, ReadFileBytes(copy));
        EXPECT_EQ("an older monitor", ReadFileBytes(host + L"\\" + kMonitorDllName));
        EXPECT_EQ(monitorUi, ReadFileBytes(host + L"\\" + kMonitorUiDllName));
        // The line names the file and the copy's cause.
        const std::wstring ending = L" " + target + L" (32)";
        EXPECT_EQ(warnings[i].size() - ending.size(), warnings[i].rfind(ending)) << testing::PrintToString(warnings[i]);
        DeleteFileW(copy.c_str());
    }
    ForgetPendingRenames();
}

TEST_F(InstallFiles, TheRestoreClientComesFromTheProgramsFolderAndIsNeverReplaced)
{
    // Seen from this 32-bit process; on a 64-bit system that is the 32-bit directory.
    const std::wstring target = L"C:\\WINDOWS\\system32\\srclient.dll";
    const std::wstring current = TempFolder(L"downloads");
    ASSERT_TRUE(WriteFileBytes(current + L"\\srclient.dll", "from the current folder"));
    ASSERT_TRUE(SetCurrentDirectoryW(current.c_str()));
    DeleteFileW(target.c_str());
    DeleteFileW((ProgramFolder() + L"\\srclient.dll").c_str());

    // Absent beside the program: the copy is attempted, nothing arrives.
    EXPECT_EQ(1, job_.copyRestoreClient());
    EXPECT_FALSE(FileExists(target));

    ASSERT_TRUE(WriteFileBytes(ProgramFolder() + L"\\srclient.dll", "from the program's folder"));
    EXPECT_EQ(1, job_.copyRestoreClient());
    EXPECT_EQ("from the program's folder", ReadFileBytes(target));

    ASSERT_TRUE(WriteFileBytes(ProgramFolder() + L"\\srclient.dll", "a newer one"));
    EXPECT_EQ(0, job_.copyRestoreClient());
    EXPECT_EQ("from the program's folder", ReadFileBytes(target));
}

// The template cloning, on the bytes of files the test writes into the language folder.
class TemplateClone : public JobOnWine {
protected:
    std::wstring Template(const wchar_t* part) const { return Source(std::wstring(L"80Normal") + part); }
    std::wstring Generated(const wchar_t* part) const { return Source(std::wstring(L"KR-620") + part); }
    std::wstring Gpd() const { return tag_ + L".GPD"; }
    std::wstring Ini() const { return tag_ + L".INI"; }
};

TEST_F(TemplateClone, ReplacesEveryNameInTheGpdAndTheFirstInTheIni)
{
    ASSERT_TRUE(WriteFileBytes(Template(Gpd().c_str()),
               "*GPDFileName: \"80NormalENG.GPD\"\r\n*ModelName: \"80Normal\"\r\n*% 80normal 80NORMAL\r\n"
               "*ResourceDLL: \"80Normal\"\r\n"));
    ASSERT_TRUE(WriteFileBytes(Template(Ini().c_str()), "[OEMFiles]\r\nOEMDriverFile1=80NormalUI.dll\r\nOEMConfigFile1=80Normal\r\n"));
    const std::string rc = "MZ\x90\0\x03 resource-only \r\n\x1A\xFF";
    ASSERT_TRUE(WriteFileBytes(Template((L"RC" + tag_ + L".dll").c_str()), rc));
    ASSERT_TRUE(WriteFileBytes(Template((L"UI" + tag_ + L".dll").c_str()), rc + "UI"));

    ASSERT_EQ(1, job_.modifyFiles());

    // Read raw and written through text mode: each CR LF of the template becomes CR CR LF.
    EXPECT_EQ("*GPDFileName: \"KR-620ENG.GPD\"\r\r\n*ModelName: \"KR-620\"\r\r\n*% 80normal 80NORMAL\r\r\n"
              "*ResourceDLL: \"KR-620\"\r\r\n",
              ReadFileBytes(Generated(Gpd().c_str())));
    // Read and written in text mode: the INI keeps its CR LF.
    EXPECT_EQ("[OEMFiles]\r\nOEMDriverFile1=KR-620UI.dll\r\nOEMConfigFile1=80Normal\r\n",
              ReadFileBytes(Generated(Ini().c_str())));
    EXPECT_EQ(rc, ReadFileBytes(Generated((L"RC" + tag_ + L".dll").c_str())));
    EXPECT_EQ(rc + "UI", ReadFileBytes(Generated((L"UI" + tag_ + L".dll").c_str())));
}

TEST_F(TemplateClone, LeavesTextsWithoutTheNameAsCopiedAndGivesLfTheCrLf)
{
    const std::string noName = "*% no template name here\r\n*% 80Norma1\n";
    ASSERT_TRUE(WriteFileBytes(Template(Gpd().c_str()), noName));
    ASSERT_TRUE(WriteFileBytes(Template(Ini().c_str()), ""));
    ASSERT_EQ(1, job_.modifyFiles());
    EXPECT_EQ(noName, ReadFileBytes(Generated(Gpd().c_str())));
    EXPECT_EQ("", ReadFileBytes(Generated(Ini().c_str())));

    ASSERT_TRUE(WriteFileBytes(Template(Gpd().c_str()), "80Normal\nline\n"));
    // A 0x1A byte ends a text-mode read; what follows it is not written back.
    ASSERT_TRUE(WriteFileBytes(Template(Ini().c_str()), "a=80Normal\r\n\x1A" "b=80Normal\r\n"));
    ASSERT_EQ(1, job_.modifyFiles());
    EXPECT_EQ("KR-620\r\nline\r\n", ReadFileBytes(Generated(Gpd().c_str())));
    EXPECT_EQ("a=KR-620\r\n", ReadFileBytes(Generated(Ini().c_str())));

    // A zero byte ends the text: a name behind it is not seen, and a template left as it is
    // keeps what follows the zero. An INI that a leading 0x1A leaves empty is left as it is.
    const std::string nameBehindZero("*% no name\r\n\0 80Normal\r\n", 24);
    const std::string emptyIni = "\x1A" "a=80Normal\r\n";
    ASSERT_TRUE(WriteFileBytes(Template(Gpd().c_str()), nameBehindZero));
    ASSERT_TRUE(WriteFileBytes(Template(Ini().c_str()), emptyIni));
    ASSERT_EQ(1, job_.modifyFiles());
    EXPECT_EQ(nameBehindZero, ReadFileBytes(Generated(Gpd().c_str())));
    EXPECT_EQ(emptyIni, ReadFileBytes(Generated(Ini().c_str())));

    ASSERT_TRUE(WriteFileBytes(Template(Gpd().c_str()), std::string("80Normal\n\0" "80Normal\n", 19)));
    ASSERT_TRUE(WriteFileBytes(Template(Ini().c_str()), std::string("a=80Normal\r\n\0" "b\r\n", 16)));
    ASSERT_EQ(1, job_.modifyFiles());
    EXPECT_EQ("KR-620\r\n", ReadFileBytes(Generated(Gpd().c_str())));
    EXPECT_EQ("a=KR-620\r\n", ReadFileBytes(Generated(Ini().c_str())));
}

TEST_F(TemplateClone, ASecondRunStartsAgainFromTheTemplates)
{
    ASSERT_EQ(1, job_.modifyFiles());
    const std::string gpd = ReadFileBytes(Generated(Gpd().c_str()));
    const std::string ini = ReadFileBytes(Generated(Ini().c_str()));
    EXPECT_EQ(std::string::npos, gpd.find("80Normal"));
    EXPECT_NE(std::string::npos, ini.find("KR-620"));
    ASSERT_TRUE(WriteFileBytes(Generated(Gpd().c_str()), "left over"));
    ASSERT_TRUE(WriteFileBytes(Generated(Ini().c_str()), "left over"));
    ASSERT_EQ(1, job_.modifyFiles());
    EXPECT_EQ(gpd, ReadFileBytes(Generated(Gpd().c_str())));
    EXPECT_EQ(ini, ReadFileBytes(Generated(Ini().c_str())));
}

TEST_F(TemplateClone, AMissingTemplateFailsAfterEveryKindWasTried)
{
    ASSERT_TRUE(DeleteFileW(Template(Gpd().c_str()).c_str()));
    DeleteFileW(Generated(Gpd().c_str()).c_str());
    DeleteFileW(Generated(Ini().c_str()).c_str());
    DeleteFileW(Generated((L"UI" + tag_ + L".dll").c_str()).c_str());
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(0, job_.modifyFiles());
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_FALSE(FileExists(Generated(Gpd().c_str())));
    EXPECT_TRUE(FileExists(Generated(Ini().c_str())));
    EXPECT_TRUE(FileExists(Generated((L"UI" + tag_ + L".dll").c_str())));
}

TEST_F(TemplateClone, GivesALongDriverNameTheRoomItsManyReplacementsNeed)
{
    const std::wstring longName(200, L'L');
    PrinterModelInfo row = {L"L", longName.c_str(), L"L", L"80Normal", 0, nullptr, nullptr};
    job_.model = &row;
    job_.driverName = row.driverName;
    std::string text;
    for (int i = 0; i < 10000; ++i)
        text += "80Normal";
    ASSERT_TRUE(WriteFileBytes(Template(Gpd().c_str()), text));
    ASSERT_EQ(1, job_.modifyFiles());
    const std::string generated = ReadFileBytes(Source(longName + Gpd()));
    ASSERT_EQ(size_t(200 * 10000), generated.size());
    EXPECT_EQ(std::string(200 * 10000, 'L'), generated);
}

TEST_F(TemplateClone, RewritesATemplateOf50Megabytes)
{
    std::string line = "*% 80Normal 0123456789abcdefghijklmnopqrstuvwxyz0123456789abcdefghijklmnopqrstuvwxyz\n";
    std::string text;
    text.reserve(50 * 1024 * 1024 + line.size());
    while (text.size() < 50u * 1024 * 1024)
        text += line;
    const size_t lines = text.size() / line.size();
    ASSERT_TRUE(WriteFileBytes(Template(Gpd().c_str()), text));
    ASSERT_EQ(1, job_.modifyFiles());
    // Each line loses two bytes to the shorter name and gains a CR.
    const std::string generated = ReadFileBytes(Generated(Gpd().c_str()));
    EXPECT_EQ(text.size() - lines, generated.size());
    EXPECT_EQ("*% KR-620 0123", generated.substr(0, 14));
    EXPECT_EQ(std::string::npos, generated.find("80Normal"));
}

TEST_F(TemplateClone, CarriesANameAndACrLfAcrossTheEndOfAPiece)
{
    // The GPD's name starts 7 bytes before the first piece ends; the INI's first name
    // straddles that end, and a CR LF the second one.
    const size_t piece = kClonePieceBytes;
    const std::string gpd = std::string(piece - 7, 'g') + "80Normal\n" + std::string(piece, 'h') + "80Normal";
    const std::string ini =
        std::string(piece - 4, 'i') + "80Normal" + std::string(piece - 5, 'j') + "\r\n80Normal\r\n";
    ASSERT_TRUE(WriteFileBytes(Template(Gpd().c_str()), gpd));
    ASSERT_TRUE(WriteFileBytes(Template(Ini().c_str()), ini));
    ASSERT_EQ(1, job_.modifyFiles());
    // Compared with ==: a failure printing half a megabyte twice would bury the rest.
    EXPECT_TRUE(ReadFileBytes(Generated(Gpd().c_str())) ==
                std::string(piece - 7, 'g') + "KR-620\r\n" + std::string(piece, 'h') + "KR-620");
    EXPECT_TRUE(ReadFileBytes(Generated(Ini().c_str())) ==
                std::string(piece - 4, 'i') + "KR-620" + std::string(piece - 5, 'j') + "\r\n80Normal\r\n");
}

TEST_F(TemplateClone, AMissingLanguageFolderFailsWithThePathsCause)
{
    const std::wstring moved = source_ + L".away";
    ASSERT_TRUE(MoveFileW(source_.c_str(), moved.c_str()));
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(0, job_.modifyFiles());
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
    EXPECT_EQ(0, job_.copyFiles());
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
    MoveFileW(moved.c_str(), source_.c_str());
}

TEST_F(TemplateClone, TouchesOnlyTheFilesOfTheSystemsLanguage)
{
    const std::wstring other = job_.isChinese ? L"ENG" : L"CHN";
    const std::wstring otherFolder = std::wstring(job_.setupDir) + L"\\80Normal\\" + other;
    const std::string otherTemplate = ReadFileBytes(otherFolder + L"\\80Normal" + other + L".GPD");
    ASSERT_EQ(1, job_.modifyFiles());
    EXPECT_TRUE(FileExists(Generated(Gpd().c_str())));
    EXPECT_FALSE(FileExists(otherFolder + L"\\KR-620" + other + L".GPD"));
    EXPECT_FALSE(FileExists(otherFolder + L"\\KR-620" + other + L".INI"));
    EXPECT_EQ(otherTemplate, ReadFileBytes(otherFolder + L"\\80Normal" + other + L".GPD"));
}

} // namespace
