// The main dialog from the real template 129, driven in-process with the messages a user's
// actions send, against Wine's spooler; run beside the sample package.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "i18n/catalogue.h"
#include "install/install_lock.h"
#include "spooler/spooler.h"
#include "support/message_boxes.h"
#include "support/wine_support.h"
#include "system/probes.h"
#include "system/system_api.h"
#include "system/user_report.h"
#include "ui/main_dialog.h"

namespace {

struct Recorded {
    std::vector<std::wstring> printerNames;
    std::vector<std::wstring> portNames;
} recorded;

HANDLE WINAPI RecordingAddPrinter(LPWSTR server, DWORD level, LPBYTE info)
{
    const PRINTER_INFO_2W* printer = reinterpret_cast<const PRINTER_INFO_2W*>(info);
    recorded.printerNames.push_back(printer->pPrinterName);
    recorded.portNames.push_back(printer->pPortName);
    return RealSpooler().addPrinter(server, level, info);
}

BOOL WINAPI NoPorts(LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD needed, LPDWORD returned)
{
    *needed = 0;
    *returned = 0;
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

BOOL WINAPI VersionSixThree(OSVERSIONINFOW* info)
{
    info->dwMajorVersion = 6;
    info->dwMinorVersion = 3;
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    return TRUE;
}

int UnknownNtVersion(DWORD*, DWORD*, DWORD*)
{
    return 0;
}

BOOL WINAPI VersionQueryFails(OSVERSIONINFOW*)
{
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}

MSG KeyDown(HWND window, WPARAM key)
{
    MSG message = {};
    message.hwnd = window;
    message.message = WM_KEYDOWN;
    message.wParam = key;
    return message;
}

void Pump()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// What the catalogue beside the program says for a key; the dialog has bound it.
std::wstring Text(const char* key)
{
    wchar_t text[1024] = {};
    return GetLocalizedText(key, text, 1024);
}

std::vector<std::wstring> ListEntries(HWND list)
{
    std::vector<std::wstring> entries;
    const LRESULT count = SendMessageW(list, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t text[1024] = {};
        SendMessageW(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        entries.push_back(text);
    }
    return entries;
}

class MainDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        RestorePackageBesideProgram();
        recorded = {};
        Spooler().addPrinter = RecordingAddPrinter;
    }
    void TearDown() override
    {
        if (dialog_.m_hWnd)
            DestroyWindow(dialog_.m_hWnd);
        Spooler() = RealSpooler();
        System() = RealSystemApi();
        MSG quit;
        PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    }

    HWND Open()
    {
        HWND window = dialog_.Create(nullptr);
        Pump();
        return window;
    }
    HWND Item(int id) { return GetDlgItem(dialog_.m_hWnd, id); }
    void Command(int id, int notification = BN_CLICKED)
    {
        SendMessageW(dialog_.m_hWnd, WM_COMMAND, MAKEWPARAM(id, notification), reinterpret_cast<LPARAM>(Item(id)));
    }
    // An install through the dialog; the boxes it showed.
    std::vector<SeenBox> Install()
    {
        MessageBoxWatch watch;
        Command(IDOK);
        Pump();
        for (const SeenBox& box : watch.boxes) {
            EXPECT_EQ(dialog_.m_hWnd, box.owner) << testing::PrintToString(box.text);
            EXPECT_TRUE(box.okAndCancel);
        }
        return watch.boxes;
    }

    CMainDlg dialog_;
};

TEST_F(MainDialog, OpensWithItsRuntimeTextsTheModelTheNameAndUsbPortSelected)
{
    ASSERT_NE(nullptr, Open());
    EXPECT_EQ(dialog_.m_hWnd, mainWindow);
    EXPECT_EQ(Text("PO_GSTR_DLG_CAPTION") + L" v2.29E", TextOf(dialog_.m_hWnd));
    const std::vector<std::pair<int, const char*>> keys = {
        {1000, "PO_GSTR_OS_TYPE"},        {1005, "PO_GSTR_MICRO_PRINTER"},  {1008, "PO_GSTR_PRINTER_DETAIL"},
        {1009, "PO_GSTR_PRINTER_PORT"},   {IDOK, "PO_GSTR_OK"},             {IDCANCEL, "PO_GSTR_CANCEL"},
        {1020, "PO_GSTR_PT_CONFIG_NAME"}, {1022, "PO_GSTR_PT_CONFIG_PORT"}, {1049, "PO_GSTR_PORT_STATIC"},
        {1023, "PO_IDC_BUTTON_ADD_PORT"}};
    std::vector<std::pair<int, std::wstring>> texts;
    for (const auto& [id, key] : keys)
        texts.push_back({id, Text(key)});
    // The catalogue beside the program is the English one, not the built-in texts.
    EXPECT_EQ(L"Close", Text("PO_GSTR_CANCEL"));
    for (const auto& [id, text] : texts)
        EXPECT_EQ(text, TextOf(Item(id))) << id;

    EXPECT_EQ(std::vector<std::wstring>{L"KR-620"}, ListEntries(Item(IDC_MODEL_LIST)));
    EXPECT_EQ(0, SendMessageW(Item(IDC_MODEL_LIST), CB_GETCURSEL, 0, 0));
    EXPECT_EQ(L"KR-620", TextOf(Item(IDE_PRINTER_NAME)));
    EXPECT_EQ(BST_CHECKED, SendMessageW(Item(IDR_CATEGORY), BM_GETCHECK, 0, 0));

    // Wine's own ports, sorted case-insensitively, with the one the install creates.
    const std::vector<std::wstring> ports = ListEntries(Item(IDC_PORT_LIST));
    const std::vector<std::wstring> expected = {L"COM1:", L"COM2:", L"COM3:", L"COM4:", L"FILE:",
                                                L"LPT1:", L"LPT2:", L"LPT3:", L"USB PORT:"};
    for (const std::wstring& port : expected)
        EXPECT_NE(ports.end(), std::find(ports.begin(), ports.end(), port)) << testing::PrintToString(port);
    EXPECT_TRUE(std::is_sorted(ports.begin(), ports.end(),
                               [](const std::wstring& a, const std::wstring& b) {
                                   return lstrcmpiW(a.c_str(), b.c_str()) < 0;
                               }));
    EXPECT_EQ(L"USB PORT:", TextOf(Item(IDC_PORT_LIST)));
    EXPECT_EQ(std::wstring(L"USB PORT:"), dialog_.SelectedPort());

    wchar_t osName[256] = {};
    ASSERT_EQ(1, GetOSDisplayName(osName));
    EXPECT_EQ(osName, TextOf(Item(IDT_OS_NAME)));
    EXPECT_EQ(IDOK, LOWORD(SendMessageW(dialog_.m_hWnd, DM_GETDEFID, 0, 0)));
}

TEST_F(MainDialog, TheVersionLabelIsEmptiedForAnUnnamedVersionAndKeptWhenTheQueryFails)
{
    System().getVersionEx = VersionSixThree;
    System().getNtVersionNumbers = UnknownNtVersion;
    ASSERT_NE(nullptr, Open());
    EXPECT_EQ(L"", TextOf(Item(IDT_OS_NAME)));
    DestroyWindow(dialog_.m_hWnd);

    System().getVersionEx = VersionQueryFails;
    CMainDlg second;
    ASSERT_NE(nullptr, second.Create(nullptr));
    EXPECT_EQ(L"系统类型:", TextOf(GetDlgItem(second.m_hWnd, IDT_OS_NAME)));
    DestroyWindow(second.m_hWnd);
}

// True while the handle names an icon.
bool IsIcon(HICON icon)
{
    ICONINFO info = {};
    if (!GetIconInfo(icon, &info))
        return false;
    DeleteObject(info.hbmMask);
    if (info.hbmColor)
        DeleteObject(info.hbmColor);
    return true;
}

TEST_F(MainDialog, ItsTwoIconsAreDestroyedWithItsWindow)
{
    ASSERT_NE(nullptr, Open());
    HICON big = reinterpret_cast<HICON>(SendMessageW(dialog_.m_hWnd, WM_GETICON, ICON_BIG, 0));
    HICON small = reinterpret_cast<HICON>(SendMessageW(dialog_.m_hWnd, WM_GETICON, ICON_SMALL, 0));
    ASSERT_TRUE(IsIcon(big));
    ASSERT_TRUE(IsIcon(small));
    EXPECT_NE(big, small);
    DestroyWindow(dialog_.m_hWnd);
    EXPECT_FALSE(IsIcon(big));
    EXPECT_FALSE(IsIcon(small));
}

TEST_F(MainDialog, TheCategoryButtonAndTheModelListPutTheModelNameBack)
{
    ASSERT_NE(nullptr, Open());
    SetWindowTextW(Item(IDE_PRINTER_NAME), L"Front desk");
    Command(IDR_CATEGORY, BN_CLICKED);
    EXPECT_EQ(L"KR-620", TextOf(Item(IDE_PRINTER_NAME)));

    SetWindowTextW(Item(IDE_PRINTER_NAME), L"Back office");
    Command(IDC_MODEL_LIST, CBN_DROPDOWN);
    EXPECT_EQ(L"Back office", TextOf(Item(IDE_PRINTER_NAME)));
    Command(IDC_MODEL_LIST, CBN_SELCHANGE);
    EXPECT_EQ(L"KR-620", TextOf(Item(IDE_PRINTER_NAME)));
}

TEST_F(MainDialog, AnEmptyNameIsRefusedOnceAndNothingIsInstalled)
{
    ASSERT_NE(nullptr, Open());
    SetWindowTextW(Item(IDE_PRINTER_NAME), L"");
    const std::vector<SeenBox> boxes = Install();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(L"ERROR", boxes[0].caption);
    EXPECT_EQ(Text("PO_GSTR_DRIVER_NAME_ERROR"), boxes[0].text);
    EXPECT_TRUE(recorded.printerNames.empty());
    EXPECT_TRUE(IsWindow(dialog_.m_hWnd));
    EXPECT_EQ(L"USB PORT:", TextOf(Item(IDC_PORT_LIST)));
}

TEST_F(MainDialog, WithoutPortsFromTheSpoolerInstallIsRefusedThoughUsbPortIsListed)
{
    Spooler().enumPorts = NoPorts;
    ASSERT_NE(nullptr, Open());
    EXPECT_EQ(std::vector<std::wstring>{L"USB PORT:"}, ListEntries(Item(IDC_PORT_LIST)));
    EXPECT_EQ(L"USB PORT:", TextOf(Item(IDC_PORT_LIST)));
    const std::vector<SeenBox> boxes = Install();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(Text("PO_GSTR_DRIVER_PORT_ERROR"), boxes[0].text);
    EXPECT_EQ(L"ERROR", boxes[0].caption);
    EXPECT_TRUE(recorded.printerNames.empty());

    // Configure Port has no enumeration to go by and does nothing.
    MessageBoxWatch watch;
    Command(IDC_CONFIGURE_PORT);
    EXPECT_TRUE(watch.boxes.empty());
    EXPECT_TRUE(watch.dialogs.empty());
}

TEST_F(MainDialog, InstallsWithTheNameAndPortAsTypedAndStaysOpenForAnother)
{
    ASSERT_NE(nullptr, Open());
    SetWindowTextW(Item(IDE_PRINTER_NAME), L"   ");
    SendMessageW(Item(IDC_PORT_LIST), CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(L"LPT2:"));
    std::vector<SeenBox> boxes = Install();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(L"SUCCESS", boxes.back().caption);
    EXPECT_EQ(Text("PO_GSTR_INSTALL_SUCCESS"), boxes.back().text);
    ASSERT_EQ(1u, recorded.printerNames.size());
    EXPECT_EQ(L"   ", recorded.printerNames[0]);
    EXPECT_EQ(L"LPT2:", recorded.portNames[0]);

    // Nothing in the dialog changed; a second press installs again.
    EXPECT_EQ(L"   ", TextOf(Item(IDE_PRINTER_NAME)));
    EXPECT_EQ(L"LPT2:", TextOf(Item(IDC_PORT_LIST)));
    boxes = Install();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(L"SUCCESS", boxes.back().caption);
    EXPECT_EQ(2u, recorded.printerNames.size());

    // 300 characters typed: the first 258 are the name.
    const std::wstring typed(300, L'x');
    SetWindowTextW(Item(IDE_PRINTER_NAME), typed.c_str());
    Install();
    ASSERT_EQ(3u, recorded.printerNames.size());
    EXPECT_EQ(typed.substr(0, 258), recorded.printerNames[2]);
}

// Holds the machine's install lock on a thread of its own until told to let go.
struct OtherInstallation {
    HANDLE taken = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = nullptr;

    static DWORD WINAPI Hold(void* parameter)
    {
        OtherInstallation* other = static_cast<OtherInstallation*>(parameter);
        CInstallLock lock;
        EXPECT_EQ(kLockHeld, lock.Take(0));
        SetEvent(other->taken);
        WaitForSingleObject(other->release, INFINITE);
        return 0;
    }
    OtherInstallation()
    {
        thread = CreateThread(nullptr, 0, Hold, this, 0, nullptr);
        WaitForSingleObject(taken, 10000);
    }
    ~OtherInstallation()
    {
        SetEvent(release);
        WaitForSingleObject(thread, 10000);
        CloseHandle(thread);
        CloseHandle(taken);
        CloseHandle(release);
    }
};

TEST_F(MainDialog, InstallWaitsItsTurnBehindAnotherInstallation)
{
    ASSERT_NE(nullptr, Open());
    {
        OtherInstallation other;
        const std::vector<SeenBox> boxes = Install();
        ASSERT_EQ(1u, boxes.size());
        EXPECT_EQ(L"ERROR", boxes[0].caption);
        EXPECT_EQ(Text("PO_GSTR_BUSY"), boxes[0].text);
        EXPECT_TRUE(recorded.printerNames.empty());
    }
    const std::vector<SeenBox> boxes = Install();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(L"SUCCESS", boxes.back().caption);
}

TEST_F(MainDialog, ALockThatCannotBeMadeStopsTheInstallWithItsCauseAndAnObjectNotOursDoesNot)
{
    ASSERT_NE(nullptr, Open());
    const std::wstring lockName = kInstallLockName;
    HANDLE link = LinkLockNameToNowhere();
    ASSERT_NE(nullptr, link);
    std::vector<SeenBox> boxes = Install();
    CloseHandle(link);
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(L"ERROR", boxes[0].caption);
    EXPECT_EQ(Text("PO_GSTR_LOCK_FAILED") + L" " + lockName + L" (3)", boxes[0].text);
    EXPECT_TRUE(recorded.printerNames.empty());

    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, kInstallLockName);
    boxes = Install();
    CloseHandle(event);
    ASSERT_GE(boxes.size(), 2u);
    EXPECT_EQ(L"WARNING", boxes[0].caption);
    EXPECT_EQ(Text("PO_GSTR_LOCK_NOT_HONOURED") + L" " + lockName + L" (6)", boxes[0].text);
    EXPECT_EQ(L"SUCCESS", boxes.back().caption);
    EXPECT_EQ(1u, recorded.printerNames.size());
}

TEST_F(MainDialog, EnterInstallsAndEscapeAndTheCloseBoxExitWithTwo)
{
    ASSERT_NE(nullptr, Open());
    SetWindowTextW(Item(IDE_PRINTER_NAME), L"");
    SetFocus(Item(IDE_PRINTER_NAME));
    {
        MessageBoxWatch watch;
        MSG enter = KeyDown(Item(IDE_PRINTER_NAME), VK_RETURN);
        EXPECT_TRUE(dialog_.PreTranslateMessage(&enter));
        Pump();
        ASSERT_EQ(1u, watch.boxes.size());
        EXPECT_EQ(Text("PO_GSTR_DRIVER_NAME_ERROR"), watch.boxes[0].text);
    }

    MSG escape = KeyDown(Item(IDE_PRINTER_NAME), VK_ESCAPE);
    EXPECT_TRUE(dialog_.PreTranslateMessage(&escape));
    Pump();
    EXPECT_EQ(nullptr, dialog_.m_hWnd);
    MSG quit;
    ASSERT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(2u, quit.wParam);

    CMainDlg closed;
    ASSERT_NE(nullptr, closed.Create(nullptr));
    SendMessageW(closed.m_hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    Pump();
    EXPECT_EQ(nullptr, closed.m_hWnd);
    ASSERT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(2u, quit.wParam);
}

} // namespace
