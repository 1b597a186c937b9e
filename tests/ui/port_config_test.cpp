// Configure Port under Wine: the Configure LPT Port dialog made from template 201 and driven
// through ConfigureLptPort, and the platform's COM settings dialog through ConfigureComPort.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <functional>
#include <string>
#include <vector>

#include "support/message_boxes.h"
#include "system/user_report.h"
#include "ui/lpt_dialog_ids.h"
#include "ui/port_config.h"

namespace {

const wchar_t kWindowsKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
const wchar_t kTimeout[] = L"TransmissionRetryTimeout";
const wchar_t kCannotConfigure[] = L"Can't configure port";

bool SetWindowsKeyDacl(const wchar_t* sddl)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr))
        return false;
    HKEY key = nullptr;
    bool set = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kWindowsKey, 0, WRITE_DAC, &key) == ERROR_SUCCESS;
    if (set) {
        set = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor) == ERROR_SUCCESS;
        RegCloseKey(key);
    }
    LocalFree(descriptor);
    return set;
}

// Everyone may do anything but set values (KEY_SET_VALUE).
const wchar_t kNoWriting[] = L"D:(D;;0x2;;;WD)(A;;KA;;;WD)";
const wchar_t kAnything[] = L"D:(A;;KA;;;WD)";

struct StoredValue {
    bool present = false;
    DWORD type = REG_NONE;
    std::wstring text;
};

StoredValue StoredTimeout()
{
    StoredValue stored;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kWindowsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return stored;
    DWORD bytes = 0;
    if (RegQueryValueExW(key, kTimeout, nullptr, &stored.type, nullptr, &bytes) == ERROR_SUCCESS) {
        stored.present = true;
        std::vector<wchar_t> data(bytes / sizeof(wchar_t) + 1, L'\0');
        RegQueryValueExW(key, kTimeout, nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &bytes);
        stored.text = data.data();
    }
    RegCloseKey(key);
    return stored;
}

std::wstring TextOf(HWND window)
{
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, 1024);
    return text;
}

void Replace(HWND field, const wchar_t* text)
{
    SendMessageW(field, EM_SETSEL, 0, -1);
    SendMessageW(field, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text));
}

void Type(HWND field, wchar_t character)
{
    SendMessageW(field, WM_CHAR, character, 1);
}

struct Selection {
    DWORD start = 0;
    DWORD end = 0;
};

Selection SelectionOf(HWND field)
{
    Selection selection;
    SendMessageW(field, EM_GETSEL, reinterpret_cast<WPARAM>(&selection.start),
                 reinterpret_cast<LPARAM>(&selection.end));
    return selection;
}

void Press(HWND dialog, int id)
{
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// The dialog's client area relative to the owner's, and a control's rectangle relative to
// the dialog's client area, in pixels.
RECT ClientOffset(HWND window, HWND from)
{
    POINT origin = {0, 0};
    POINT fromOrigin = {0, 0};
    ClientToScreen(window, &origin);
    ClientToScreen(from, &fromOrigin);
    return RECT{origin.x - fromOrigin.x, origin.y - fromOrigin.y, 0, 0};
}

RECT ControlRect(HWND dialog, int id)
{
    RECT rect = {};
    GetWindowRect(GetDlgItem(dialog, id), &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// Position and size are converted apart, as the dialog manager does, so that the
// rounding is the same.
RECT DialogUnits(HWND dialog, LONG x, LONG y, LONG width, LONG height)
{
    RECT place = {x, y, width, height};
    MapDialogRect(dialog, &place);
    return RECT{place.left, place.top, place.left + place.right, place.top + place.bottom};
}

void ExpectSameRect(const RECT& expected, const RECT& actual, const char* what)
{
    EXPECT_EQ(expected.left, actual.left) << what;
    EXPECT_EQ(expected.top, actual.top) << what;
    EXPECT_EQ(expected.right, actual.right) << what;
    EXPECT_EQ(expected.bottom, actual.bottom) << what;
}

// Counts the EN_UPDATE notifications the timeout field sends its dialog.
class FieldUpdates {
public:
    FieldUpdates()
    {
        active = this;
        hook_ = SetWindowsHookExW(WH_CALLWNDPROC, Count, nullptr, GetCurrentThreadId());
    }
    ~FieldUpdates()
    {
        UnhookWindowsHookEx(hook_);
        active = nullptr;
    }
    int count = 0;

private:
    static LRESULT CALLBACK Count(int code, WPARAM wParam, LPARAM lParam)
    {
        const CWPSTRUCT* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (code == HC_ACTION && active && sent->message == WM_COMMAND &&
            sent->wParam == MAKEWPARAM(IDE_TIMEOUT, EN_UPDATE))
            ++active->count;
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    static FieldUpdates* active;
    HHOOK hook_;
};
FieldUpdates* FieldUpdates::active;

class LptDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExW(HKEY_LOCAL_MACHINE, kWindowsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
        RegDeleteValueW(key, kTimeout);
        RegCloseKey(key);
    }
    void TearDown() override
    {
        SetWindowsKeyDacl(kAnything);
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kWindowsKey);
    }

    void Store(DWORD type, const void* data, DWORD bytes)
    {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, kWindowsKey, 0, KEY_SET_VALUE, &key));
        EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(key, kTimeout, 0, type, static_cast<const BYTE*>(data), bytes));
        RegCloseKey(key);
    }
    void StoreText(const std::wstring& text)
    {
        Store(REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }

    // ConfigureLptPort with drive run inside the dialog's modal loop; drive must close it.
    int Run(const std::function<void(HWND dialog, HWND field)>& drive)
    {
        dialog_ = nullptr;
        watch_.onDialog = [&](HWND dialog) {
            dialog_ = dialog;
            drive(dialog, GetDlgItem(dialog, IDE_TIMEOUT));
        };
        return ConfigureLptPort(L"LPT1:");
    }
    // The text the dialog shows when it opens.
    std::wstring Shown()
    {
        std::wstring shown;
        EXPECT_EQ(1, Run([&](HWND dialog, HWND field) {
            shown = TextOf(field);
            Press(dialog, IDCANCEL);
        }));
        return shown;
    }
    void ExpectOneCannotConfigureBox(HWND owner)
    {
        ASSERT_EQ(1u, watch_.boxes.size());
        EXPECT_EQ(kCannotConfigure, watch_.boxes[0].text);
        EXPECT_EQ(L"ERROR", watch_.boxes[0].caption);
        EXPECT_EQ(owner, watch_.boxes[0].owner);
        EXPECT_TRUE(watch_.boxes[0].okAndCancel);
    }

    StandInMainWindow owner_;
    MessageBoxWatch watch_;
    HWND dialog_ = nullptr;
};

TEST_F(LptDialog, ShowsTheStoredTimeoutInTheTemplatesLayoutWithItsRuntimeTexts)
{
    StoreText(L"90");
    std::vector<std::wstring> texts;
    HWND owner = nullptr;
    LONG_PTR style = 0;
    ASSERT_EQ(1, Run([&](HWND dialog, HWND field) {
        for (HWND window : {dialog, GetDlgItem(dialog, IDG_TIMEOUT), GetDlgItem(dialog, IDT_RETRY), GetDlgItem(dialog, IDOK),
                            GetDlgItem(dialog, IDCANCEL), field})
            texts.push_back(TextOf(window));
        owner = GetWindow(dialog, GW_OWNER);
        style = GetWindowLongPtrW(dialog, GWL_STYLE);

        RECT place = DialogUnits(dialog, 10, 25, 0, 0);
        RECT offset = ClientOffset(dialog, mainWindow);
        EXPECT_EQ(place.left, offset.left);
        EXPECT_EQ(place.top, offset.top);
        RECT client = {};
        GetClientRect(dialog, &client);
        ExpectSameRect(DialogUnits(dialog, 0, 0, 193, 47), client, "dialog");
        ExpectSameRect(DialogUnits(dialog, 147, 9, 40, 14), ControlRect(dialog, IDOK), "OK");
        ExpectSameRect(DialogUnits(dialog, 147, 26, 40, 14), ControlRect(dialog, IDCANCEL), "Cancel");
        ExpectSameRect(DialogUnits(dialog, 89, 20, 32, 12), ControlRect(dialog, IDE_TIMEOUT), "field");
        ExpectSameRect(DialogUnits(dialog, 14, 4, 119, 40), ControlRect(dialog, IDG_TIMEOUT), "frame");
        ExpectSameRect(DialogUnits(dialog, 25, 22, 58, 8), ControlRect(dialog, IDT_RETRY), "label");
        EXPECT_TRUE(GetWindowLongPtrW(field, GWL_STYLE) & ES_NUMBER);
        EXPECT_EQ(static_cast<LRESULT>(DLGC_DEFPUSHBUTTON), SendDlgItemMessageW(dialog, IDOK, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON);
        Press(dialog, IDCANCEL);
    }));
    EXPECT_EQ((std::vector<std::wstring>{L"Configure LPT Port", L"Timeout(seconds)", L"Transmission Retry", L"OK", L"CANCEL",
                                         L"90"}),
              texts);
    EXPECT_EQ(90, lptTimeout);
    EXPECT_EQ(mainWindow, owner);
    // System-modal, which makes it topmost on Windows (not on Wine).
    EXPECT_EQ(DS_SYSMODAL | DS_MODALFRAME | WS_CAPTION | WS_SYSMENU | WS_POPUP,
              style & (DS_SYSMODAL | DS_MODALFRAME | DS_ABSALIGN | DS_CENTER | WS_CAPTION | WS_SYSMENU | WS_POPUP | WS_CHILD));
    EXPECT_TRUE(watch_.boxes.empty());
}

TEST_F(LptDialog, ShowsTheStoredTextAsANumberAndZeroForAnythingElse)
{
    EXPECT_EQ(L"0", Shown()) << "missing";

    // A number whose bytes would read as the text 97.
    DWORD digits = 0x00370039;
    Store(REG_DWORD, &digits, sizeof(digits));
    EXPECT_EQ(L"0", Shown()) << "REG_DWORD";

    // Too long for the buffer: neither cut to its first 259 digits nor read past the end.
    StoreText(std::wstring(2000, L'7'));
    EXPECT_EQ(L"0", Shown()) << "2,000 characters";

    // 259 characters fit beside the terminator; stored without one, one is added.
    std::wstring longest = std::wstring(256, L'0') + L"120";
    Store(REG_SZ, longest.c_str(), static_cast<DWORD>(longest.size() * sizeof(wchar_t)));
    EXPECT_EQ(L"120", Shown()) << "259 characters, no terminator";

    StoreText(L" \t045 seconds");
    EXPECT_EQ(L"45", Shown());
    StoreText(L"-5");
    EXPECT_EQ(L"-5", Shown());
    EXPECT_EQ(-5, lptTimeout);
    StoreText(L"99999999999");
    EXPECT_EQ(L"2147483647", Shown());
    EXPECT_TRUE(watch_.boxes.empty());
}

TEST_F(LptDialog, ReadsNoTextThatFillsTheBufferWithoutATerminator)
{
    const std::wstring full(260, L'7');
    Store(REG_SZ, full.c_str(), 520);
    wchar_t buffer[261] = {};
    buffer[260] = L'#';
    EXPECT_EQ(1, ReadRegistryString(kWindowsKey, kTimeout, buffer));
    EXPECT_STREQ(L"", buffer);
    EXPECT_EQ(L'#', buffer[260]);

    Store(REG_SZ, full.c_str(), 518);
    EXPECT_EQ(1, ReadRegistryString(kWindowsKey, kTimeout, buffer));
    EXPECT_EQ(full.substr(1), buffer);
}

TEST_F(LptDialog, KeyThatCannotBeOpenedForWritingIsReportedInsteadOfTheDialog)
{
    StoreText(L"90");
    ASSERT_TRUE(SetWindowsKeyDacl(kNoWriting));
    SetLastError(0);
    EXPECT_EQ(0, Run([](HWND dialog, HWND) { Press(dialog, IDCANCEL); }));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_EQ(nullptr, dialog_);
    ExpectOneCannotConfigureBox(mainWindow);

    ASSERT_TRUE(SetWindowsKeyDacl(kAnything));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeW(HKEY_LOCAL_MACHINE, kWindowsKey));
    watch_.boxes.clear();
    SetLastError(0);
    EXPECT_EQ(0, Run([](HWND dialog, HWND) { Press(dialog, IDCANCEL); }));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_EQ(nullptr, dialog_);
    ExpectOneCannotConfigureBox(mainWindow);
}

TEST_F(LptDialog, RefusesASeventhDigit)
{
    StoreText(L"12345");
    std::vector<std::wstring> seen;
    ASSERT_EQ(1, Run([&](HWND dialog, HWND field) {
        EXPECT_EQ(6, SendMessageW(field, EM_GETLIMITTEXT, 0, 0));
        SendMessageW(field, EM_SETSEL, 5, 5);
        Type(field, L'6');
        seen.push_back(TextOf(field));
        Type(field, L'7');
        seen.push_back(TextOf(field));
        SendMessageW(field, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"7"));
        seen.push_back(TextOf(field));
        Press(dialog, IDOK);
    }));
    EXPECT_EQ((std::vector<std::wstring>{L"123456", L"123456", L"123456"}), seen);
    EXPECT_EQ(L"123456", StoredTimeout().text);
}

TEST_F(LptDialog, ZeroOrAnEmptyFieldPutsTheLastAcceptedValueBackSelected)
{
    StoreText(L"90");
    struct Step {
        std::wstring text;
        Selection selection;
    };
    std::vector<Step> steps;
    auto note = [&](HWND field) { steps.push_back({TextOf(field), SelectionOf(field)}); };
    ASSERT_EQ(1, Run([&](HWND dialog, HWND field) {
        Replace(field, L"0");
        note(field);
        Replace(field, L"45");
        Replace(field, L"");
        note(field);
        SendMessageW(field, EM_SETSEL, 2, 2);
        Type(field, VK_BACK);
        note(field);
        Type(field, VK_BACK);
        note(field);
        Replace(field, L"000");
        note(field);
        Press(dialog, IDCANCEL);
    }));
    ASSERT_EQ(5u, steps.size());
    // The third step is an accepted edit, which leaves the caret where it was.
    const wchar_t* texts[] = {L"90", L"45", L"4", L"4", L"4"};
    const DWORD starts[] = {0, 0, 1, 0, 0};
    const DWORD ends[] = {2, 2, 1, 1, 1};
    for (size_t i = 0; i < steps.size(); ++i) {
        EXPECT_EQ(texts[i], steps[i].text) << i;
        EXPECT_EQ(starts[i], steps[i].selection.start) << i;
        EXPECT_EQ(ends[i], steps[i].selection.end) << i;
    }

    // A negative value read from the registry goes back as it was shown, and an empty one
    // as 0. Neither is out of range again: putting a value back is not checked, else it
    // would be put back for ever (one notification for the edit, one for the put-back).
    for (const wchar_t* value : {L"-5", L""}) {
        StoreText(value);
        std::wstring restored;
        int updates = 0;
        ASSERT_EQ(1, Run([&](HWND dialog, HWND field) {
            FieldUpdates counted;
            Replace(field, L"");
            restored = TextOf(field);
            updates = counted.count;
            Press(dialog, IDCANCEL);
        }));
        EXPECT_EQ(*value ? value : L"0", restored);
        EXPECT_EQ(2, updates) << value;
    }
}

TEST_F(LptDialog, OkStoresTheFieldAsTypedAndCancelStoresNothing)
{
    StoreText(L"90");
    ASSERT_EQ(1, Run([](HWND dialog, HWND field) {
        Replace(field, L"120");
        Press(dialog, IDOK);
    }));
    EXPECT_FALSE(IsWindow(dialog_));
    StoredValue stored = StoredTimeout();
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), stored.type);
    EXPECT_EQ(L"120", stored.text);

    ASSERT_EQ(1, Run([](HWND dialog, HWND field) {
        Replace(field, L"045");
        Press(dialog, IDOK);
    }));
    EXPECT_EQ(L"045", StoredTimeout().text);

    for (auto close : {+[](HWND dialog) { Press(dialog, IDCANCEL); },
                       +[](HWND dialog) { SendMessageW(dialog, WM_CLOSE, 0, 0); }}) {
        ASSERT_EQ(1, Run([&](HWND dialog, HWND field) {
            Replace(field, L"300");
            close(dialog);
        }));
        EXPECT_FALSE(IsWindow(dialog_));
        EXPECT_EQ(L"045", StoredTimeout().text);
    }
    EXPECT_TRUE(watch_.boxes.empty());
}

TEST_F(LptDialog, SaveFailureIsReportedOverTheLptDialogWhichClosesAnyway)
{
    StoreText(L"90");
    ASSERT_EQ(1, Run([](HWND dialog, HWND field) {
        Replace(field, L"120");
        ASSERT_TRUE(SetWindowsKeyDacl(kNoWriting));
        Press(dialog, IDOK);
    }));
    ExpectOneCannotConfigureBox(dialog_);
    EXPECT_FALSE(IsWindow(dialog_));
    EXPECT_EQ(L"90", StoredTimeout().text);
}

// Wine's own COM settings dialog, handed over by the watch: noted, baudRate picked when
// given and OK pressed, or Cancel without one.
struct ComSettingsDialogs {
    struct Seen {
        HWND window;
        std::wstring title;
        HWND owner;
    };
    std::vector<Seen> seen;

    ComSettingsDialogs(MessageBoxWatch& watch, const wchar_t* baudRate)
    {
        watch.onDialog = [this, baudRate](HWND window) {
            seen.push_back({window, TextOf(window), GetWindow(window, GW_OWNER)});
            if (!baudRate) {
                SendMessageW(window, WM_COMMAND, IDCANCEL, 0);
                return;
            }
            const int baudList = 1026;
            HWND combo = GetDlgItem(window, baudList);
            LRESULT index = SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                         reinterpret_cast<LPARAM>(baudRate));
            SendMessageW(combo, CB_SETCURSEL, index, 0);
            SendMessageW(window, WM_COMMAND, MAKEWPARAM(baudList, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
            SendMessageW(window, WM_COMMAND, IDOK, 0);
        };
    }
};

DCB DefaultDcb(const wchar_t* device)
{
    COMMCONFIG config = {};
    config.dwSize = sizeof(config);
    config.wVersion = 0x100;
    EXPECT_TRUE(GetDefaultCommConfigW(device, &config, &config.dwSize)) << device;
    return config.dcb;
}

// Where Wine keeps a COM port's default settings; Windows keeps them elsewhere.
std::vector<BYTE> WinesStoredDcb(const wchar_t* device)
{
    std::wstring path = std::wstring(L"System\\CurrentControlSet\\Services\\Class\\Ports\\") + device;
    std::vector<BYTE> dcb(64);
    DWORD bytes = static_cast<DWORD>(dcb.size());
    if (RegGetValueW(HKEY_LOCAL_MACHINE, path.c_str(), L"DCB", RRF_RT_REG_BINARY, nullptr, dcb.data(), &bytes) !=
        ERROR_SUCCESS)
        bytes = 0;
    dcb.resize(bytes);
    return dcb;
}

class PortConfig : public ::testing::Test {
protected:
    StandInMainWindow owner_;
    MessageBoxWatch watch_;
};

TEST_F(PortConfig, CancelledComSettingsAreStoredUnchanged)
{
    ASSERT_TRUE(WinesStoredDcb(L"com3").empty());
    DCB before = DefaultDcb(L"COM3");
    ComSettingsDialogs settings(watch_, nullptr);
    EXPECT_EQ(1, ConfigureComPort(L"com3:"));
    ASSERT_EQ(1u, settings.seen.size());
    EXPECT_NE(std::wstring::npos, settings.seen[0].title.find(L"com3")) << settings.seen[0].title;
    EXPECT_EQ(mainWindow, settings.seen[0].owner);
    std::vector<BYTE> stored = WinesStoredDcb(L"com3");
    ASSERT_EQ(sizeof(DCB), stored.size());
    EXPECT_EQ(0, memcmp(&before, stored.data(), sizeof(DCB)));
    EXPECT_TRUE(watch_.boxes.empty());
}

TEST_F(PortConfig, ComSettingsChosenInTheDialogAreStored)
{
    ASSERT_EQ(9600u, DefaultDcb(L"COM4").BaudRate);
    ComSettingsDialogs settings(watch_, L"19200");
    EXPECT_EQ(1, ConfigureComPort(L"COM4:"));
    ASSERT_EQ(1u, settings.seen.size());
    EXPECT_EQ(19200u, DefaultDcb(L"COM4").BaudRate);
    EXPECT_TRUE(watch_.boxes.empty());
}

TEST_F(PortConfig, ComPortsThatCannotBeConfiguredAreReported)
{
    struct Case {
        std::wstring port;
        DWORD error;
    } cases[] = {
        // Wine knows COM1 to COM9 only.
        {L"COM10:", ERROR_BADKEY},
        // A device name of 32 characters is refused before the platform is asked.
        {L"COM" + std::wstring(29, L'1') + L":", ERROR_FILENAME_EXCED_RANGE},
        {L"COM1" + std::wstring(296, L' ') + L":", ERROR_FILENAME_EXCED_RANGE},
    };
    ComSettingsDialogs settings(watch_, nullptr);
    for (const Case& c : cases) {
        watch_.boxes.clear();
        SetLastError(0);
        EXPECT_EQ(0, ConfigureComPort(c.port.c_str())) << c.port;
        EXPECT_EQ(c.error, GetLastError()) << c.port;
        ASSERT_EQ(1u, watch_.boxes.size()) << c.port;
        EXPECT_EQ(kCannotConfigure, watch_.boxes[0].text);
        EXPECT_EQ(L"ERROR", watch_.boxes[0].caption);
        EXPECT_EQ(mainWindow, watch_.boxes[0].owner);
        EXPECT_TRUE(watch_.boxes[0].okAndCancel);
    }
    EXPECT_TRUE(settings.seen.empty());
}

} // namespace
