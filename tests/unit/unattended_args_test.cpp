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
    Parse(L"-?", kUnattendedUsage);
    Parse(L"/? anything", kUnattendedUsage);
    // Everything else goes the old way: the uninstall word, the dialog.
    for (const wchar_t* line : {L"", L"uninstall /install", L"/uninstall", L"install", L"/installer", L"\"/install\"x",
                                L"/name x /install"})
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
    EXPECT_STREQ(L"", request.logPath);

    request = Parse(L"/install /NAME \"uninstall lab\" -port LPT1: /log \"C:\\deploy logs\\kr.log\" /name Lab",
                    kUnattendedInstall);
    EXPECT_EQ(kArgumentsGood, request.problem);
    // Given twice: the last counts. The word uninstall inside a value is a name.
    EXPECT_STREQ(L"Lab", request.printerName);
    EXPECT_STREQ(L"LPT1:", request.portName);
    EXPECT_STREQ(L"C:\\deploy logs\\kr.log", request.logPath);

    // A name that begins with a dash is a name, not a switch.
    EXPECT_STREQ(L"-Kitchen", Parse(L"/install /name -Kitchen", kUnattendedInstall).printerName);
    EXPECT_STREQ(L"s.log", Parse(L"/status /log s.log", kUnattendedStatus).logPath);
}

TEST(UnattendedArguments, BadArgumentsAreNamed)
{
    struct Case {
        const wchar_t* line;
        ArgumentProblem problem;
        const wchar_t* offending;
    } cases[] = {
        {L"/install /color red", kUnknownSwitch, L"/color"},
        {L"/install Front", kUnknownSwitch, L"Front"},
        {L"/status /name x", kUnknownSwitch, L"/name"},
        {L"/install /name", kMissingValue, L"/name"},
        {L"/install /name /port LPT1:", kMissingValue, L"/name"},
        {L"/install /port -log x", kMissingValue, L"/port"},
        {L"/install /name \"\"", kEmptyName, L""},
    };
    for (const Case& c : cases) {
        UnattendedRequest request = Parse(c.line, c.line[1] == L's' ? kUnattendedStatus : kUnattendedInstall);
        EXPECT_EQ(c.problem, request.problem) << c.line;
        EXPECT_STREQ(c.offending, request.offending) << c.line;
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
