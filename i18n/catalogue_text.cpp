#include "i18n/catalogue_text.h"

#include <string.h>

namespace {

const FallbackRow kFallbackTable[] = {
    {"PO_GSTR_INSTALL_DRIVER_ERROR", L"Fail installing Driver"},
    {"PO_GSTR_ADD_PRINTER_ERROR", L"Fail adding printer"},
    {"PO_GSTR_INSTALL_SUCCESS", L"Printer installed"},
    {"PO_GSTR_CONFIG_PORT_ERROR", L"Can't configure port"},
    {"PO_GSTR_CONFIG_LPT", L"Configure LPT Port"},
    {"PO_GSTR_TIMEOUT", L"Timeout(seconds)"},
    {"PO_GSTR_RETRY", L"Transmission Retry"},
    {"PO_GSTR_LPT_OK", L"OK"},
    {"PO_GSTR_LPT_CANCEL", L"CANCEL"},
    {"PO_GSTR_CANNOT_CONFIG_PORT", L"No need configuration"},
    {"PO_GSTR_DRIVER_PORT_ERROR", L"Please select port for printer"},
    {"PO_GSTR_DRIVER_NAME_ERROR", L"Please input printer name"},
    {"PO_GSTR_DLG_ZELVOK_CAPTION", L"Zelvok Printer Driver install program"},
    {"PO_GSTR_DLG_CAPTION", L"Ketrin Printer Driver install program"},
    {"PO_GSTR_OS_TYPE", L"System Type:"},
    {"PO_GSTR_PRINTER_TYPE", L"Printer Type"},
    {"PO_GSTR_POS", L"POS Printer"},
    {"PO_GSTR_LAPTOP", L"Portable Printer"},
    {"PO_GSTR_MICRO_PRINTER", L"Thermal Receipt Printer"},
    {"PO_GSTR_PIN_PRINTER", L"Impact Printer"},
    {"PO_GSTR_PRINTER_DETAIL", L"Printer Model"},
    {"PO_GSTR_PRINTER_PORT", L"Printer Port"},
    {"PO_GSTR_OK", L"Install"},
    {"PO_GSTR_CANCEL", L"Exit"},
    {"PO_GSTR_PT_CONFIG_NAME", L"Printer Name:"},
    {"PO_GSTR_PT_CONFIG_PORT", L"Configure Port"},
    {"PO_GSTR_PORT_STATIC", L"Port:"},
    {"PO_GSTR_ADD_PORT_TYPE", L"Available port types"},
    {"PO_IDD_ADD_PORT_DIALOG", L"Add Port"},
    {"PO_GSTR_MONITOR_SELECT_ERROR", L"Please select a port type"},
    {"PO_IDC_BUTTON_ADD_PORT", L"Add Port"},
};

bool IsLeadByte(unsigned char byte, const unsigned char* ranges)
{
    for (; ranges && (ranges[0] || ranges[1]); ranges += 2) {
        if (byte >= ranges[0] && byte <= ranges[1])
            return true;
    }
    return false;
}

// The byte length of the character that starts at `text`, within `length` bytes; a lead
// byte at the very end stands alone.
size_t CharacterLength(const char* text, size_t length, const unsigned char* ranges)
{
    return length >= 2 && IsLeadByte(static_cast<unsigned char>(text[0]), ranges) ? 2 : 1;
}

} // namespace

const wchar_t* FindFallbackText(const char* key)
{
    if (!key)
        return nullptr;
    for (const FallbackRow& row : kFallbackTable) {
        if (strcmp(row.key, key) == 0)
            return row.text;
    }
    return nullptr;
}

const FallbackRow* FallbackTable(size_t* rows)
{
    *rows = sizeof(kFallbackTable) / sizeof(kFallbackTable[0]);
    return kFallbackTable;
}

size_t AnsiFitLength(const char* text, size_t length, size_t limit, const unsigned char* leadByteRanges)
{
    // A trail byte can look like a lead byte, so characters are only told apart by walking
    // from the start.
    size_t kept = 0;
    while (kept < length) {
        size_t next = kept + CharacterLength(text + kept, length - kept, leadByteRanges);
        if (next > limit)
            break;
        kept = next;
    }
    return kept;
}

size_t AnsiFolderLength(const char* path, const unsigned char* leadByteRanges)
{
    size_t length = strlen(path);
    size_t folder = 0;
    for (size_t at = 0; at < length; at += CharacterLength(path + at, length - at, leadByteRanges)) {
        if (path[at] == '\\')
            folder = at + 1;
    }
    return folder;
}

int CatalogueFolderFor(const char* path, size_t pathLength, size_t pathBufferBytes, const unsigned char* leadByteRanges,
                       char* folder, size_t folderBytes)
{
    static const char kLang[] = "Lang\\";
    if (pathLength == 0 || pathLength >= pathBufferBytes)
        return 0;
    size_t kept = AnsiFolderLength(path, leadByteRanges);
    if (kept + sizeof(kLang) > folderBytes)
        return 0;
    memcpy(folder, path, kept);
    memcpy(folder + kept, kLang, sizeof(kLang));
    return 1;
}

size_t Utf16FitLength(const wchar_t* text, size_t length, size_t limit)
{
    if (length <= limit)
        return length;
    // A high surrogate whose low half would be cut off goes with it.
    if (limit > 0 && text[limit - 1] >= 0xD800 && text[limit - 1] <= 0xDBFF)
        return limit - 1;
    return limit;
}
