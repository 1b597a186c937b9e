// The command line of the runs without a window, split and read as deployment tools write
// it, and the log's line format.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/command_line.h"
#include "system/report_log.h"

namespace {

std::vector<std::wstring> Split(const wchar_t* line)
{
    std::vector<std::wstring> arguments;
    std::wstring out(wcslen(line) + 1, L'\0');
    const wchar_t* cursor = line;
    while (NextArgument(&cursor, &out[0]))
        arguments.push_back(out.c_str());
    return arguments;
}

using Args = std::vector<std::wstring>;

TEST(CommandLineSplit, FollowsTheRulesOfCommandLineToArgvW)
{
    EXPECT_EQ((Args{L"/install", L"/name", L"Front desk"}), Split(L"  /install\t/name \"Front desk\"  "));
    EXPECT_EQ((Args{L"ab c", L"d"}), Split(L"a\"b c\" d"));
    // 2n backslashes before a quote give n and the quote groups; 2n+1 give n and a quote.
    EXPECT_EQ((Args{L"a\\b", L"c\\\\", L"d\"e", L"f\\\"g"}), Split(L"a\\b \"c\\\\\\\\\" d\\\"e f\\\\\\\"g"));
    EXPECT_EQ((Args{L"C:\\logs\\"}), Split(L"C:\\logs\\"));
    // "" inside quotes is a quote; an empty pair is an empty argument.
    EXPECT_EQ((Args{L"say \"hi\"", L"", L"x"}), Split(L"\"say \"\"hi\"\"\" \"\" x"));
    EXPECT_EQ(Args{}, Split(L" \t "));
    EXPECT_EQ((Args{L"unterminated quote"}), Split(L"\"unterminated quote"));
}

UnattendedRequest Parse(const wchar_t* line, UnattendedAction expected)
{
    UnattendedRequest request;
    EXPECT_EQ(expected, ParseUnattendedCommandLine(line, L"KR-620", L"USB PORT:", &request)) << line;
    return request;
}

TEST(UnattendedArguments, OnlyAFirstArgumentOfOursMakesARunWithoutAWindow)
{
    Parse(L"/install", kUnattendedInstall);
    Parse(L"-INSTALL", kUnattendedInstall);
    Parse(L"/Status", kUnattendedStatus);
    Parse(L"-UNINSTALL", kUnattendedUninstall);
    EXPECT_STREQ(L"Till", Parse(L"/TestPage /name Till", kUnattendedTestPage).printerName);
    EXPECT_EQ(1, Parse(L"/testpage /install", kUnattendedInstall).testPage);
    Parse(L"-?", kUnattendedUsage);
    Parse(L"/? anything", kUnattendedUsage);
    // A value switch first: the action may follow, and "uninstall" in a value is a value.
    EXPECT_STREQ(L"C:\\Logs\\uninstall-kr620.log",
                 Parse(L"/log C:\\Logs\\uninstall-kr620.log /install", kUnattendedInstall).logPath);
    EXPECT_STREQ(L"x", Parse(L"-NAME x /install", kUnattendedInstall).printerName);
    EXPECT_STREQ(L"\\\\srv\\logs\\s.log", Parse(L"/Log \\\\srv\\logs\\s.log -STATUS", kUnattendedStatus).logPath);
    // As an installer's removal runs it.
    EXPECT_STREQ(L"C:\\Program Files\\KR-620\\uninstall.log",
                 Parse(L"/uninstall /log \"C:\\Program Files\\KR-620\\uninstall.log\"", kUnattendedUninstall).logPath);
    EXPECT_STREQ(L"C:\\x.log", Parse(L"/log C:\\x.log /UNINSTALL", kUnattendedUninstall).logPath);
    // Everything else goes the old way: the uninstall word, the dialog.
    for (const wchar_t* line : {L"", L"uninstall /install", L"uninstall /log C:\\x.log", L"/uninstaller", L"install",
                                L"/installer", L"\"/install\"x", L"/quiet /install"})
        Parse(line, kNotUnattended);
    UnattendedRequest request;
    EXPECT_EQ(kNotUnattended, ParseUnattendedCommandLine(nullptr, L"KR-620", L"USB PORT:", &request));
}

TEST(UnattendedArguments, NamePortAndLogWithTheirDefaults)
{
    UnattendedRequest request = Parse(L"/install", kUnattendedInstall);
    EXPECT_EQ(kArgumentsGood, request.problem);
    EXPECT_STREQ(L"KR-620", request.printerName);
    EXPECT_STREQ(L"USB PORT:", request.portName);
    EXPECT_EQ(0, request.portGiven);
    EXPECT_STREQ(L"", request.logPath);

    request = Parse(L"/install /NAME \"uninstall lab\" -port LPT1: /log \"C:\\deploy logs\\kr.log\" /name Lab",
                    kUnattendedInstall);
    EXPECT_EQ(kArgumentsGood, request.problem);
    // Given twice: the last counts. The word uninstall inside a value is a name.
    EXPECT_STREQ(L"Lab", request.printerName);
    EXPECT_STREQ(L"LPT1:", request.portName);
    EXPECT_EQ(1, request.portGiven);
    EXPECT_STREQ(L"C:\\deploy logs\\kr.log", request.logPath);

    // An installer's install and its undo, under one run name.
    request = Parse(L"/run {0F1E} /install /name Lab", kUnattendedInstall);
    EXPECT_EQ(kArgumentsGood, request.problem);
    EXPECT_STREQ(L"{0F1E}", request.runId);
    EXPECT_EQ(0, request.undo);
    request = Parse(L"/uninstall -UNDO /run {0F1E} /log C:\\u.log", kUnattendedUninstall);
    EXPECT_EQ(kArgumentsGood, request.problem);
    EXPECT_EQ(1, request.undo);
    EXPECT_STREQ(L"{0F1E}", request.runId);

    // A name that begins with a dash is a name, not a switch.
    EXPECT_STREQ(L"-Kitchen", Parse(L"/install /name -Kitchen", kUnattendedInstall).printerName);
    EXPECT_STREQ(L"C:\\s.log", Parse(L"/status /log C:\\s.log", kUnattendedStatus).logPath);
}

TEST(UnattendedArguments, BadArgumentsAreNamed)
{
    struct Case {
        const wchar_t* line;
        UnattendedAction action;
        ArgumentProblem problem;
        const wchar_t* offending;
    } cases[] = {
        {L"/install /color red", kUnattendedInstall, kUnknownSwitch, L"/color"},
        {L"/install Front", kUnattendedInstall, kUnknownSwitch, L"Front"},
        {L"/status /name x", kUnattendedStatus, kUnknownSwitch, L"/name"},
        // Given before /status, which takes neither.
        {L"-Port LPT1: /log C:\\s.log /status", kUnattendedStatus, kUnknownSwitch, L"-Port"},
        {L"/install /name", kUnattendedInstall, kMissingValue, L"/name"},
        {L"/install /name /port LPT1:", kUnattendedInstall, kMissingValue, L"/name"},
        {L"/install /port -log x", kUnattendedInstall, kMissingValue, L"/port"},
        {L"/install /name \"\"", kUnattendedInstall, kEmptyName, L""},
        // The spooler's separators of server, printer and options.
        {L"/install /name \"Front\\desk\"", kUnattendedInstall, kBadName, L"Front\\desk"},
        {L"/install /name a,b", kUnattendedInstall, kBadName, L"a,b"},
        {L"/name X", kUnattendedNoAction, kNoAction, L""},
        {L"/install /name x /status", kUnattendedInstall, kTwoActions, L"/status"},
        {L"/status -INSTALL", kUnattendedStatus, kTwoActions, L"-INSTALL"},
        {L"/uninstall /install", kUnattendedUninstall, kTwoActions, L"/install"},
        {L"/log C:\\x.log /status /uninstall", kUnattendedStatus, kTwoActions, L"/uninstall"},
        // The uninstall removes every printer of the model on every port.
        {L"/uninstall /name x", kUnattendedUninstall, kUnknownSwitch, L"/name"},
        {L"-port LPT1: /uninstall", kUnattendedUninstall, kUnknownSwitch, L"-port"},
        {L"/log /uninstall", kUnattendedNoAction, kMissingValue, L"/log"},
        // An undo belongs to the uninstall; a run's name to an install or its undo.
        {L"/install /undo", kUnattendedInstall, kUnknownSwitch, L"/undo"},
        {L"/undo /status", kUnattendedStatus, kUnknownSwitch, L"/undo"},
        {L"/uninstall /run A", kUnattendedUninstall, kUnknownSwitch, L"/run"},
        {L"/status /run A", kUnattendedStatus, kUnknownSwitch, L"/run"},
        {L"/install /run \"\"", kUnattendedInstall, kMissingValue, L"/run"},
        {L"/uninstall /undo /run", kUnattendedUninstall, kMissingValue, L"/run"},
        // A receipt goes on a printer as it is, or on the one an install made.
        {L"/testpage /port LPT1:", kUnattendedTestPage, kUnknownSwitch, L"/port"},
        {L"/status /testpage", kUnattendedStatus, kUnknownSwitch, L"/testpage"},
        {L"/name /testpage", kUnattendedNoAction, kMissingValue, L"/name"},
    };
    for (const Case& c : cases) {
        UnattendedRequest request = Parse(c.line, c.action);
        EXPECT_EQ(c.problem, request.problem) << c.line;
        EXPECT_STREQ(c.offending, request.offending) << c.line;
    }
}

TEST(UnattendedArguments, TheLogNeedsAPathFromADriveOrAShare)
{
    for (const wchar_t* path : {L"C:\\logs\\kr.log", L"c:/logs/kr.log", L"\\\\server\\share\\kr.log",
                                L"\\\\?\\C:\\logs\\kr.log", L"\\\\?\\UNC\\server\\share\\kr.log"}) {
        UnattendedRequest request = Parse((L"/install /log " + std::wstring(path)).c_str(), kUnattendedInstall);
        EXPECT_EQ(kArgumentsGood, request.problem) << path;
        EXPECT_STREQ(path, request.logPath);
    }
    // Relative to the current drive or folder (the system directory of a service), a share
    // without its name, a device.
    for (const wchar_t* path : {L"kr.log", L"..\\kr.log", L"\\kr.log", L"C:kr.log", L"1:\\kr.log", L"\\\\server\\kr.log",
                                L"\\\\?\\UNC\\server\\kr.log", L"\\\\.\\C:\\logs\\kr.log", L"\\\\?\\GLOBALROOT\\Device\\Null"}) {
        UnattendedRequest request = Parse((L"/install /log " + std::wstring(path)).c_str(), kUnattendedInstall);
        EXPECT_EQ(kLogNotFullPath, request.problem) << path;
        EXPECT_STREQ(path, request.offending);
        EXPECT_STREQ(L"", request.logPath) << path;
    }
}

TEST(UnattendedArguments, LongValuesAreRefusedNotCut)
{
    const std::wstring longest(258, L'n');
    UnattendedRequest request = Parse((L"/install /name " + longest).c_str(), kUnattendedInstall);
    EXPECT_EQ(kArgumentsGood, request.problem);
    EXPECT_EQ(longest, request.printerName);
    request = Parse((L"/install /name " + longest + L"n").c_str(), kUnattendedInstall);
    EXPECT_EQ(kNameTooLong, request.problem);
    EXPECT_STREQ(L"KR-620", request.printerName);
    request = Parse((L"/install /port " + std::wstring(260, L'p')).c_str(), kUnattendedInstall);
    EXPECT_EQ(kValueTooLong, request.problem);
    EXPECT_STREQ(L"/port", request.offending);
    request = Parse((L"/install /log C:\\" + std::wstring(300, L'l')).c_str(), kUnattendedInstall);
    EXPECT_EQ(kValueTooLong, request.problem);
    request = Parse((L"/install /run " + std::wstring(64, L'r')).c_str(), kUnattendedInstall);
    EXPECT_EQ(kArgumentsGood, request.problem);
    request = Parse((L"/install /run " + std::wstring(65, L'r')).c_str(), kUnattendedInstall);
    EXPECT_EQ(kValueTooLong, request.problem);
    // An unknown switch of any length is named by its start.
    request = Parse((L"/install /" + std::wstring(5000, L'x')).c_str(), kUnattendedInstall);
    EXPECT_EQ(kUnknownSwitch, request.problem);
    EXPECT_EQ(63u, wcslen(request.offending));
}

TEST(LogLine, OneStampedUtf8LineEndingInCrLf)
{
    SYSTEMTIME time = {};
    time.wYear = 2026;
    time.wMonth = 12;
    time.wDay = 8;
    time.wHour = 9;
    time.wMinute = 5;
    time.wSecond = 7;
    char out[256];
    size_t bytes = FormatLogLine(time, L"ERROR", L"AddMonitor Error = 5\r\n", out, sizeof(out));
    EXPECT_EQ("2026-12-08 09:05:07 ERROR: AddMonitor Error = 5\r\n", std::string(out, bytes));
    bytes = FormatLogLine(time, L"INFO", L"two\r\nlines", out, sizeof(out));
    EXPECT_EQ("2026-12-08 09:05:07 INFO: two  lines\r\n", std::string(out, bytes));
    bytes = FormatLogLine(time, L"SUCCESS", L"\u6253\u5370\u673a", out, sizeof(out));
    EXPECT_EQ("2026-12-08 09:05:07 SUCCESS: \xE6\x89\x93\xE5\x8D\xB0\xE6\x9C\xBA\r\n", std::string(out, bytes));
    // A line that does not fit is not written in part.
    EXPECT_EQ(0u, FormatLogLine(time, L"INFO", L"text", out, 20));
}

} // namespace
