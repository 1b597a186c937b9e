// What an installation decides on data alone: package paths, generated names, the
// dependent-file list, the numbered printer name, a file to replace at the next start, and
// the exit code of a run without a window.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/unattended.h"
#include "install/install_job.h"
#include "install/install_record.h"
#include "install/package_manifest.h"
#include "install/package_staging.h"
#include "install/preflight.h"
#include "system/protected_print.h"
#include "system/system_api.h"

namespace {

TEST(PackagePaths, FollowTheProgramsFolderTheBitnessAndTheLanguage)
{
    wchar_t setup[MAX_PATH] = {};
    wchar_t source[MAX_PATH] = {};
    ASSERT_EQ(1, ComposePackagePaths(L"D:\\drv\\DriverInstall.exe", 1, L"80Normal", 1, setup, source));
    EXPECT_STREQ(L"D:\\drv\\SETUP64", setup);
    EXPECT_STREQ(L"D:\\drv\\SETUP64\\80Normal\\CHN", source);

    ASSERT_EQ(1, ComposePackagePaths(L"C:\\DriverInstall.exe", 0, L"80Normal", 0, setup, source));
    EXPECT_STREQ(L"C:\\SETUP", setup);
    EXPECT_STREQ(L"C:\\SETUP\\80Normal\\ENG", source);

    // No backslash: the folder is empty.
    ASSERT_EQ(1, ComposePackagePaths(L"DriverInstall.exe", 0, L"80Normal", 0, setup, source));
    EXPECT_STREQ(L"SETUP", setup);
}

TEST(PackagePaths, ThatDoNotFitAreRefusedNotCut)
{
    // A folder of 240 characters: SETUP fits, the language folder does not.
    std::wstring program = L"C:\\" + std::wstring(236, L'd') + L"\\x.exe";
    wchar_t setup[MAX_PATH] = L"stale";
    wchar_t source[MAX_PATH] = L"stale";
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(0, ComposePackagePaths(program.c_str(), 1, L"80Normal", 0, setup, source));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE), GetLastError());
    EXPECT_STREQ(L"", setup);
    EXPECT_STREQ(L"", source);

    // Exactly 259 characters still fit.
    std::wstring fits = L"C:\\" + std::wstring(259 - 22, L'f') + L"\\DriverInstall.exe";
    ASSERT_EQ(1, ComposePackagePaths(fits.c_str(), 0, L"80Normal", 0, setup, source));
    EXPECT_EQ(259u, wcslen(source));

    wchar_t path[MAX_PATH] = L"stale";
    EXPECT_EQ(0, JoinPath(path, L"", L"UNIDRV.dll"));
    EXPECT_STREQ(L"", path);
    EXPECT_EQ(0, JoinPath(path, std::wstring(250, L'f').c_str(), L"UNIDRV.dll"));
    EXPECT_STREQ(L"", path);
}

LANGID fakeLanguage;
WORD fakeArchitecture;
LANGID WINAPI FakeLanguage()
{
    return fakeLanguage;
}
void WINAPI FakeNativeInfo(SYSTEM_INFO* info)
{
    *info = SYSTEM_INFO{};
    info->wProcessorArchitecture = fakeArchitecture;
}
void(WINAPI* FindFakeNativeInfo())(SYSTEM_INFO*)
{
    return FakeNativeInfo;
}

class JobNames : public ::testing::Test {
protected:
    void SetUp() override
    {
        System().getSystemDefaultLangID = FakeLanguage;
        System().findGetNativeSystemInfo = FindFakeNativeInfo;
    }
    void TearDown() override { System() = RealSystemApi(); }
};

TEST_F(JobNames, OfAnEnglish32BitAndAChinese64BitSystem)
{
    fakeLanguage = 1033;
    fakeArchitecture = PROCESSOR_ARCHITECTURE_INTEL;
    CInstallJob english(&kModelTable[0], L"Front desk", L"USB PORT:");
    EXPECT_EQ(0, english.is64);
    EXPECT_EQ(0, english.isChinese);
    EXPECT_STREQ(L"KR-620ENG.GPD", english.dataFile);
    EXPECT_STREQ(L"KR-620", english.templateKey);
    EXPECT_STREQ(L"80Normal", english.packageFolder);
    ASSERT_EQ(1, english.makeFileName(0, english.driverName, L".GPD", L"ENG"));
    ASSERT_EQ(1, english.makeFileName(1, english.driverName, L".INI", L"ENG"));
    ASSERT_EQ(1, english.makeFileName(2, english.driverName, L"RC", L"ENG"));
    ASSERT_EQ(1, english.makeFileName(3, english.driverName, L"UI", L"ENG"));
    EXPECT_STREQ(english.dataFile, english.gpdFile);
    EXPECT_STREQ(L"KR-620ENG.INI", english.iniFile);
    EXPECT_STREQ(L"KR-620RCENG.dll", english.rcFile);
    EXPECT_STREQ(L"KR-620UIENG.dll", english.uiFile);

    fakeLanguage = 2052;
    fakeArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
    CInstallJob chinese(&kModelTable[0], L"Front desk", L"USB PORT:");
    EXPECT_EQ(1, chinese.is64);
    EXPECT_EQ(1, chinese.isChinese);
    EXPECT_STREQ(L"KR-620CHN.GPD", chinese.dataFile);

    // Taiwan's Chinese is not the package's Chinese.
    fakeLanguage = 1028;
    CInstallJob taiwan(&kModelTable[0], L"Front desk", L"USB PORT:");
    EXPECT_EQ(0, taiwan.isChinese);
}

TEST_F(JobNames, ThatDoNotFitAreLeftEmpty)
{
    const std::wstring longName(255, L'N');
    PrinterModelInfo row = {longName.c_str(), longName.c_str(), L"x", L"80Normal", 0, nullptr, nullptr};
    CInstallJob job(&row, L"p", L"LPT1:");
    EXPECT_STREQ(L"", job.dataFile);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(0, job.makeFileName(2, job.driverName, L"RC", L"ENG"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE), GetLastError());
    EXPECT_STREQ(L"", job.rcFile);
}

TEST_F(JobNames, WithoutPackagePathsNoFileIsTouched)
{
    // What a refused program path leaves: no folder to build a path on, not the drive's root.
    CInstallJob job(&kModelTable[0], L"p", L"LPT1:");
    wcscpy(job.driverDir, L"C:\\drivers");
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(0, job.modifyFiles());
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE), GetLastError());
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(0, job.copyFiles());
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE), GetLastError());
}

TEST_F(JobNames, StagedFilesAreTheLanguageFolderTheMonitorPairAndTheRestoreClient)
{
    const auto staged = [](const CInstallJob& job) {
        wchar_t paths[kMaxStagedFiles][MAX_PATH] = {};
        size_t count = 0;
        EXPECT_EQ(1, ListStagedFiles(job, paths, &count));
        return std::vector<std::wstring>(paths, paths + count);
    };
    fakeLanguage = 2052;
    fakeArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
    CInstallJob chinese(&kModelTable[0], L"p", L"LPT1:");
    // The model's files are generated: the template's are read.
    const std::wstring folder = L"SETUP64\\80Normal\\CHN\\";
    EXPECT_EQ((std::vector<std::wstring>{folder + L"UNIRES.dll", folder + L"unidrv.hlp", folder + L"UNIDRVUI.dll",
                                         folder + L"UNIDRV.dll", folder + L"STDNAMES.GPD", folder + L"80NormalCHN.GPD",
                                         folder + L"80NormalCHN.INI", folder + L"80NormalRCCHN.dll",
                                         folder + L"80NormalUICHN.dll", L"SETUP64\\ZelvokUSBMonUI.dll",
                                         L"SETUP64\\ZelvokUSBMon.dll", L"srclient.dll"}),
              staged(chinese));

    // A model whose package holds its own data files, with both extra files.
    fakeLanguage = 1033;
    fakeArchitecture = PROCESSOR_ARCHITECTURE_INTEL;
    PrinterModelInfo row = {L"X", L"X-1", L"80Normal", L"X", 1, L"EXTRA1.DLL", L"EXTRA2.DAT"};
    CInstallJob own(&row, L"p", L"LPT1:");
    const std::vector<std::wstring> files = staged(own);
    ASSERT_EQ(kMaxStagedFiles, files.size());
    EXPECT_EQ(L"SETUP\\X\\ENG\\EXTRA1.DLL", files[0]);
    EXPECT_EQ(L"SETUP\\X\\ENG\\X-1ENG.GPD", files[7]);
    EXPECT_EQ(L"SETUP\\X\\ENG\\X-1UIENG.dll", files[10]);

    // Which package file a registered driver file came from unchanged: /status compares
    // them. A generated GPD or INI has no such file; the model's own files have.
    const struct Case {
        const CInstallJob* job;
        const wchar_t* file;
        const wchar_t* source;
    } cases[] = {
        {&chinese, L"unidrv.DLL", L"SETUP64\\80Normal\\CHN\\UNIDRV.dll"},
        {&chinese, L"KR-620RCCHN.DLL", L"SETUP64\\80Normal\\CHN\\80NormalRCCHN.dll"},
        {&chinese, L"KR-620CHN.GPD", L""},
        {&chinese, L"80NormalCHN.INI", L""},
        {&chinese, L"ZelvokUSBMon.dll", L""},
        {&own, L"X-1ENG.GPD", L"SETUP\\X\\ENG\\X-1ENG.GPD"},
        {&own, L"extra2.dat", L"SETUP\\X\\ENG\\EXTRA2.DAT"},
    };
    for (const Case& c : cases) {
        wchar_t source[MAX_PATH] = L"previous";
        EXPECT_EQ(c.source[0] != 0, PackageSourceOfDriverFile(*c.job, c.file, source)) << c.file;
        EXPECT_STREQ(c.source, source);
    }
}

// A manifest as the build writes it, with lines that are not entries among them.
TEST(PackageManifest, ListsAPathInEitherLetterCaseAndPassesOverLinesThatAreNotEntries)
{
    const std::string hash(64, 'a');
    const std::string text = std::string(63, 'a') + " 1 SETUP\\short.dll\r\n" +      // a digit short
                             std::string(63, 'a') + "g 1 SETUP\\nothex.dll\r\n" +     // not hex
                             hash + " 18446744073709551616 SETUP\\huge.dll\r\n" +     // 2^64
                             hash + " 12 \r\n" +                                       // no path
                             hash + "  12 SETUP\\two.dll\r\n" +                      // two blanks
                             hash + " 18446744073709551615 SETUP\\max.dll\n" +
                             "0123456789abcdefABCDEF" + std::string(42, '0') + " 3584 SETUP\\80Normal\\ENG\\UNIDRV.dll";
    struct Case {
        const wchar_t* path;
        int listed;
        unsigned long long size;
    } cases[] = {
        {L"SETUP\\80Normal\\ENG\\UNIDRV.dll", 1, 3584},
        {L"setup\\80NORMAL\\eng\\unidrv.DLL", 1, 3584},
        {L"SETUP\\80Normal\\ENG\\UNIDRV.dl", 0, 0},
        {L"SETUP\\80Normal\\ENG\\UNIDRV.dll2", 0, 0},
        {L"SETUP\\max.dll", 1, 18446744073709551615ULL},
        {L"SETUP\\short.dll", 0, 0},
        {L"SETUP\\nothex.dll", 0, 0},
        {L"SETUP\\huge.dll", 0, 0},
        {L"SETUP\\two.dll", 0, 0},
        {L"", 0, 0},
    };
    for (const Case& c : cases) {
        ManifestEntry entry = {};
        EXPECT_EQ(c.listed, FindManifestEntry(text.data(), text.size(), c.path, &entry)) << testing::PrintToString(c.path);
        EXPECT_EQ(c.size, entry.size);
    }
    ManifestEntry entry = {};
    ASSERT_EQ(1, FindManifestEntry(text.data(), text.size(), L"SETUP\\80Normal\\ENG\\UNIDRV.dll", &entry));
    const BYTE start[] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef, 0xAB, 0xCD, 0xEF, 0x00};
    EXPECT_EQ(0, memcmp(start, entry.sha256, sizeof(start)));
    // A name beyond ASCII is never listed, not even under its own bytes.
    const std::string accented = hash + " 1 caf\xc3\xa9.dll\n";
    EXPECT_EQ(0, FindManifestEntry(accented.data(), accented.size(), L"caf\u00e9.dll", &entry));
    // The length bounds the text: an entry past it is not read.
    EXPECT_EQ(0, FindManifestEntry(text.data(), text.size() - 1, L"SETUP\\80Normal\\ENG\\UNIDRV.dll", &entry));
}

std::vector<std::wstring> Split(const wchar_t* list, size_t units)
{
    std::vector<std::wstring> names;
    for (size_t at = 0; at < units && list[at];) {
        names.emplace_back(list + at);
        at += names.back().size() + 1;
    }
    return names;
}

TEST(DependentFiles, InTheSpoolersOrderEndingInTwoNuls)
{
    wchar_t list[520];
    ASSERT_EQ(1, BuildDependentFiles(L"KR-620", 0, &kModelTable[0], list, 520));
    std::vector<std::wstring> expected = {L"UNIRES.DLL",      L"STDNAMES.GPD",    L"UNIDRVUI.DLL",
                                          L"KR-620RCENG.dll", L"KR-620UIENG.dll", L"KR-620ENG.INI"};
    EXPECT_EQ(expected, Split(list, 520));
    size_t end = 0;
    for (const std::wstring& name : expected)
        end += name.size() + 1;
    EXPECT_EQ(0, list[end]);

    ASSERT_EQ(1, BuildDependentFiles(L"KR-620", 1, &kModelTable[0], list, 520));
    EXPECT_EQ(L"KR-620RCCHN.dll", Split(list, 520)[3]);
    EXPECT_EQ(L"KR-620CHN.INI", Split(list, 520)[5]);

    PrinterModelInfo withExtras = {L"X", L"X", L"X", L"80Normal", 1, L"EXTRA1.DLL", L"EXTRA2.DLL"};
    ASSERT_EQ(1, BuildDependentFiles(L"X", 0, &withExtras, list, 520));
    std::vector<std::wstring> names = Split(list, 520);
    ASSERT_EQ(8u, names.size());
    EXPECT_EQ(L"EXTRA1.DLL", names[6]);
    EXPECT_EQ(L"EXTRA2.DLL", names[7]);
}

TEST(DependentFiles, ThatDoNotFitAreRefused)
{
    // The six names with their terminators take 83 units for "KR-620", the closing empty
    // name one more.
    wchar_t list[85];
    list[83] = L'#';
    EXPECT_EQ(0, BuildDependentFiles(L"KR-620", 0, &kModelTable[0], list, 83));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE), GetLastError());
    EXPECT_EQ(L'#', list[83]);
    EXPECT_EQ(1, BuildDependentFiles(L"KR-620", 0, &kModelTable[0], list, 84));
}

std::vector<PRINTER_INFO_2W> Printers(std::vector<const wchar_t*> names)
{
    std::vector<PRINTER_INFO_2W> list;
    for (const wchar_t* name : names) {
        PRINTER_INFO_2W printer = {};
        printer.pPrinterName = const_cast<wchar_t*>(name);
        list.push_back(printer);
    }
    return list;
}

TEST(NumberedPrinterName, IsTheFirstNumberNoPrinterBears)
{
    wchar_t candidate[520];
    auto list = Printers({L"Front desk", L"Front desk(1)", nullptr, L"Front desk(2)", L"Front desk(4)"});
    ASSERT_EQ(1, ChooseNumberedPrinterName(list.data(), static_cast<DWORD>(list.size()), L"Front desk", candidate,
                                           520));
    EXPECT_STREQ(L"Front desk(3)", candidate);

    // Letter case counts: another printer's name in other case leaves the number free.
    list = Printers({L"Front desk", L"FRONT DESK(1)"});
    ASSERT_EQ(1, ChooseNumberedPrinterName(list.data(), 2, L"Front desk", candidate, 520));
    EXPECT_STREQ(L"Front desk(1)", candidate);

    ASSERT_EQ(1, ChooseNumberedPrinterName(nullptr, 0, L"Front desk", candidate, 520));
    EXPECT_STREQ(L"Front desk(1)", candidate);

    // The longest name the dialog takes still gets its number.
    std::wstring longest(258, L'n');
    ASSERT_EQ(1, ChooseNumberedPrinterName(nullptr, 0, longest.c_str(), candidate, 520));
    EXPECT_EQ(longest + L"(1)", candidate);
    EXPECT_EQ(0, ChooseNumberedPrinterName(nullptr, 0, longest.c_str(), candidate, 261));
    EXPECT_STREQ(L"", candidate);
}

TEST(PrinterPlan, KeepsTheModelsPrinterOfTheNameAndNumbersBesideAnotherDriversOne)
{
    auto list = Printers({L"Front desk", L"Kitchen", nullptr, L"Bar"});
    list[0].pDriverName = const_cast<wchar_t*>(L"kr-620");
    list[1].pDriverName = const_cast<wchar_t*>(L"Generic / Text Only");
    const struct Case {
        const wchar_t* name;
        PrinterPlan plan;
        DWORD existing;
    } cases[] = {
        {L"FRONT DESK", kPlanKeep, 0}, {L"Kitchen", kPlanNumbered, 1}, {L"Bar", kPlanNumbered, 3},
        {L"Front desk(1)", kPlanCreate, 99},
    };
    for (const Case& c : cases) {
        DWORD existing = 99;
        EXPECT_EQ(c.plan, DecidePrinterPlan(list.data(), static_cast<DWORD>(list.size()), c.name, &existing)) << c.name;
        EXPECT_EQ(c.existing, existing) << c.name;
    }
    EXPECT_EQ(kPlanCreate, DecidePrinterPlan(nullptr, 0, L"Front desk", nullptr));
}

TEST(Release, PartsCompareAsNumbers)
{
    const struct Case {
        const wchar_t* a;
        const wchar_t* b;
        int order;
    } cases[] = {
        {L"2.29.0", L"2.29.0", 0},  {L"2.29.1", L"2.29.0", 1}, {L"2.9.0", L"2.29.0", -1}, {L"10.0.0", L"9.99.99", 1},
        {L"2.29", L"2.29.0", 0},    {L"2.29.0.1", L"2.29.0", 1}, {L"", L"0.0.1", -1},    {L"x.y", L"0.0.0", 0},
        {L"99999999999.0", L"2.0", 1},
    };
    for (const Case& c : cases) {
        const int order = CompareReleases(c.a, c.b);
        EXPECT_EQ(c.order, order < 0 ? -1 : order > 0 ? 1 : 0) << testing::PrintToString(c.a) << " " << c.b;
    }
}

TEST(HeldFile, IsOneACopyCannotOverwriteWhileAProcessHoldsIt)
{
    for (DWORD held : {ERROR_SHARING_VIOLATION, ERROR_USER_MAPPED_FILE, ERROR_ACCESS_DENIED})
        EXPECT_EQ(1, IsHeldFileError(held)) << held;
    for (DWORD other : {ERROR_SUCCESS, ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_DISK_FULL, ERROR_INVALID_NAME})
        EXPECT_EQ(0, IsHeldFileError(other)) << other;
}

TEST(InstallExitCode, IsRestartRequiredOnlyForACreatedPrinter)
{
    EXPECT_EQ(0, InstallExitCode(1, 0));
    EXPECT_EQ(3010, InstallExitCode(1, 1));
    EXPECT_EQ(1603, InstallExitCode(0, 0));
    EXPECT_EQ(1603, InstallExitCode(0, 1));
}

} // namespace

TEST(Preflight, TheSpoolerIsStartedOnlyWhereItMayStartAndProtectedPrintFollowsThePlatformFirst)
{
    const struct {
        ServiceFacts spooler;
        SpoolerStep step;
    } steps[] = {
        {{1, SERVICE_RUNNING, SERVICE_DISABLED}, kSpoolerGoOn},
        {{0, SERVICE_STOPPED, SERVICE_DISABLED}, kSpoolerGoOn},
        {{1, SERVICE_STOPPED, SERVICE_DEMAND_START}, kSpoolerStart},
        {{1, SERVICE_START_PENDING, SERVICE_AUTO_START}, kSpoolerStart},
        {{1, SERVICE_STOPPED, SERVICE_DISABLED}, kSpoolerDisabled},
    };
    for (const auto& row : steps)
        EXPECT_EQ(row.step, DecideSpoolerStep(row.spooler)) << row.spooler.state << " " << row.spooler.startType;

    // queried, its answer, the policy's state present and value, the mode present and value.
    const struct {
        ProtectedPrintFacts facts;
        int on;
    } modes[] = {
        {{1, 0, 1, 1, 1, 1}, 0},
        {{1, 1, 0, 0, 0, 0}, 1},
        {{0, 0, 0, 0, 1, 1}, 1},
        {{0, 0, 1, 1, 1, 1}, 1},
        {{0, 0, 1, 0, 1, 1}, 0},
        {{0, 0, 0, 0, 1, 0}, 0},
        {{0, 0, 1, 1, 0, 0}, 0},
    };
    for (const auto& row : modes)
        EXPECT_EQ(row.on, IsProtectedPrintOn(row.facts)) << &row - modes;
}
