#include "ui/port_config.h"

#include <limits.h>
#include <string.h>
#include <wchar.h>

#include "app/dialog_impl.h"
#include "i18n/catalogue.h"
#include "system/user_report.h"
#include "ui/lpt_dialog_ids.h"

int lptTimeout;

static const wchar_t kWindowsKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
static const wchar_t kTimeoutValue[] = L"TransmissionRetryTimeout";
// KEY_READ | KEY_WRITE, for reading as well: a user who may not change the value is told
// so before the dialog opens.
static const REGSAM kTimeoutKeyAccess = 0x2001F;
static const size_t kMessageUnits = 520;
// What a query may fill of the caller's buffer, terminator included.
static const size_t kRegistryTextUnits = 260;
static const size_t kDeviceUnits = 32;
static const int kTimeoutDigits = 6;

static_assert(sizeof(COMMCONFIG) == 52, "the record the platform's COM calls expect");

static int HasPrefixAndColon(const wchar_t* portName, const wchar_t* prefix)
{
    // A shorter name differs at its terminator, so the last character exists when reached.
    if (_wcsnicmp(portName, prefix, 3) != 0)
        return 0;
    return portName[wcslen(portName) - 1] == L':';
}

int IsComPort(const wchar_t* portName)
{
    return HasPrefixAndColon(portName, L"COM");
}

int IsLptPort(const wchar_t* portName)
{
    return HasPrefixAndColon(portName, L"LPT");
}

int ComDeviceName(const wchar_t* portName, wchar_t* device, size_t deviceUnits)
{
    size_t length = wcslen(portName);
    if (length > 0 && portName[length - 1] == L':')
        --length;
    if (length >= deviceUnits) {
        device[0] = L'\0';
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    memcpy(device, portName, length * sizeof(wchar_t));
    device[length] = L'\0';
    return 1;
}

// The one failure report of both configuration paths, owned by mainWindow; the cause stays
// in the last error for the caller.
static void ReportCannotConfigure()
{
    DWORD error = GetLastError();
    wchar_t text[kMessageUnits] = {};
    GetLocalizedText("PO_GSTR_CONFIG_PORT_ERROR", text, kMessageUnits);
    ReportToUser(text, L"ERROR");
    SetLastError(error);
}

int ConfigureComPort(const wchar_t* portName)
{
    wchar_t device[kDeviceUnits] = {};
    COMMCONFIG config = {};
    config.dwSize = sizeof(config);
    config.wVersion = 0x100;
    if (!ComDeviceName(portName, device, kDeviceUnits) || !GetDefaultCommConfigW(device, &config, &config.dwSize)) {
        ReportCannotConfigure();
        return 0;
    }
    // A cancelled dialog leaves the record as it was, and that is stored again.
    CommConfigDialogW(device, mainWindow, &config);
    if (!SetDefaultCommConfigW(device, &config, config.dwSize)) {
        ReportCannotConfigure();
        return 0;
    }
    return 1;
}

int KeepStringValue(LONG status, DWORD type, DWORD bytes, wchar_t* buffer, size_t units)
{
    size_t length = bytes / sizeof(wchar_t);
    if (status == ERROR_SUCCESS && type == REG_SZ && length <= units) {
        if (length > 0 && buffer[length - 1] == L'\0')
            return 1;
        if (length < units) {
            buffer[length] = L'\0';
            return 1;
        }
    }
    // Another type's bytes are no text, and of a value too long for the buffer the query
    // leaves no defined part: either reads as a missing value, never as garbage.
    memset(buffer, 0, units * sizeof(wchar_t));
    return 0;
}

int ReadRegistryString(const wchar_t* keyPath, const wchar_t* valueName, wchar_t* buffer)
{
    HKEY key = nullptr;
    LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, kTimeoutKeyAccess, &key);
    if (status != ERROR_SUCCESS) {
        SetLastError(status);
        return 0;
    }
    DWORD type = REG_NONE;
    DWORD bytes = kRegistryTextUnits * sizeof(wchar_t);
    status = RegQueryValueExW(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes);
    RegCloseKey(key);
    KeepStringValue(status, type, bytes, buffer, kRegistryTextUnits);
    return 1;
}

int WriteRegistryString(const wchar_t* keyPath, const wchar_t* valueName, const wchar_t* text)
{
    HKEY key = nullptr;
    LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, kTimeoutKeyAccess, &key);
    if (status != ERROR_SUCCESS) {
        SetLastError(status);
        return 0;
    }
    DWORD bytes = static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t));
    status = RegSetValueExW(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), bytes);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
        SetLastError(status);
        return 0;
    }
    return 1;
}

int ParseDecimal(const wchar_t* text)
{
    while (*text == L' ' || (*text >= L'\t' && *text <= L'\r'))
        ++text;
    bool negative = *text == L'-';
    if (*text == L'-' || *text == L'+')
        ++text;
    // Growth stops past the largest magnitude, so any run of digits fits.
    const long long limit = -static_cast<long long>(INT_MIN);
    long long magnitude = 0;
    for (; *text >= L'0' && *text <= L'9'; ++text) {
        if (magnitude <= limit)
            magnitude = magnitude * 10 + (*text - L'0');
    }
    if (negative)
        return magnitude >= limit ? INT_MIN : static_cast<int>(-magnitude);
    return magnitude > INT_MAX ? INT_MAX : static_cast<int>(magnitude);
}

int IsAcceptedTimeout(UINT fieldValue)
{
    int value = static_cast<int>(fieldValue);
    return value >= 1 && value <= 999999;
}

int ConfigureLptPort(const wchar_t*)
{
    wchar_t text[kMessageUnits] = {};
    if (!ReadRegistryString(kWindowsKey, kTimeoutValue, text)) {
        ReportCannotConfigure();
        return 0;
    }
    lptTimeout = ParseDecimal(text);
    // The template is linked into this program, so the dialog can only fail to open for
    // want of memory, which nothing here could remedy.
    DialogBoxParamW(DialogResourceInstance(), MAKEINTRESOURCEW(IDD_CONFIGURE_LPT), mainWindow, ConfigureLptDlgProc, 0);
    return 1;
}

// Puts a value into the timeout field. The dialog's DWLP_USER slot is nonzero meanwhile,
// so that the field's own EN_UPDATE is not taken for the user's edit.
static void PutTimeout(HWND dialog, int value)
{
    SetWindowLongPtrW(dialog, DWLP_USER, 1);
    SetDlgItemInt(dialog, IDE_TIMEOUT, static_cast<UINT>(value), TRUE);
    SetWindowLongPtrW(dialog, DWLP_USER, 0);
}

static void OnInitLptDialog(HWND dialog)
{
    SetForegroundWindow(dialog);
    wchar_t text[kMessageUnits] = {};
    SetWindowTextW(dialog, GetLocalizedText("PO_GSTR_CONFIG_LPT", text, kMessageUnits));
    SetDlgItemTextW(dialog, IDG_TIMEOUT, GetLocalizedText("PO_GSTR_TIMEOUT", text, kMessageUnits));
    SetDlgItemTextW(dialog, IDT_RETRY, GetLocalizedText("PO_GSTR_RETRY", text, kMessageUnits));
    SetDlgItemTextW(dialog, IDOK, GetLocalizedText("PO_GSTR_LPT_OK", text, kMessageUnits));
    SetDlgItemTextW(dialog, IDCANCEL, GetLocalizedText("PO_GSTR_LPT_CANCEL", text, kMessageUnits));
    HWND field = GetDlgItem(dialog, IDE_TIMEOUT);
    SetWindowLongPtrW(field, GWLP_USERDATA, lptTimeout);
    PutTimeout(dialog, lptTimeout);
    SendMessageW(field, EM_LIMITTEXT, kTimeoutDigits, 0);
}

// The field keeps its last accepted value (in its GWLP_USERDATA) and puts it back, the
// whole text selected, in place of a value out of range. The value goes back signed, as it
// was shown: a negative one read from the registry is not turned into a large number.
static void OnTimeoutEdited(HWND dialog)
{
    if (GetWindowLongPtrW(dialog, DWLP_USER))
        return;
    HWND field = GetDlgItem(dialog, IDE_TIMEOUT);
    UINT value = GetDlgItemInt(dialog, IDE_TIMEOUT, nullptr, FALSE);
    if (IsAcceptedTimeout(value)) {
        SetWindowLongPtrW(field, GWLP_USERDATA, static_cast<LONG_PTR>(value));
        return;
    }
    PutTimeout(dialog, static_cast<int>(GetWindowLongPtrW(field, GWLP_USERDATA)));
    SendMessageW(field, EM_SETSEL, 0, -1);
}

// The text is stored as typed (045 stays 045). The dialog closes whether or not it was.
static void OnLptOk(HWND dialog)
{
    wchar_t text[kMessageUnits] = {};
    GetDlgItemTextW(dialog, IDE_TIMEOUT, text, kMessageUnits);
    if (!WriteRegistryString(kWindowsKey, kTimeoutValue, text)) {
        wchar_t message[kMessageUnits] = {};
        GetLocalizedText("PO_GSTR_CONFIG_PORT_ERROR", message, kMessageUnits);
        // The one report not owned by the main window: the user is looking at this dialog.
        MessageBoxW(dialog, message, L"ERROR", MB_OKCANCEL);
    }
    EndDialog(dialog, 0);
}

INT_PTR CALLBACK ConfigureLptDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        OnInitLptDialog(dialog);
        return 1;
    }
    if (message != WM_COMMAND)
        return 0;
    switch (LOWORD(wParam)) {
    case IDOK:
        OnLptOk(dialog);
        return 1;
    case IDCANCEL:
        EndDialog(dialog, ERROR_CANCELLED);
        return 1;
    case IDE_TIMEOUT:
        if (HIWORD(wParam) == EN_UPDATE) {
            OnTimeoutEdited(dialog);
            return 1;
        }
        return 0;
    default:
        return 0;
    }
}
