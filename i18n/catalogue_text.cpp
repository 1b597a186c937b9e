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
    // Texts of the runs without a window: labels only, the values are put after them.
    {"PO_GSTR_LOG_DRIVER_DIR", L"Driver directory:"},
    {"PO_GSTR_LOG_FILE_COPIED", L"Copied:"},
    {"PO_GSTR_LOG_MONITOR_ADDED", L"Port monitor added:"},
    {"PO_GSTR_LOG_MONITOR_PRESENT", L"Port monitor already installed:"},
    {"PO_GSTR_LOG_PORT_ADDED", L"Port added:"},
    {"PO_GSTR_LOG_DRIVER_ADDED", L"Printer driver registered:"},
    {"PO_GSTR_LOG_PRINTER_ADDED", L"Printer created:"},
    {"PO_GSTR_ARG_UNKNOWN", L"Unknown switch:"},
    {"PO_GSTR_ARG_NO_VALUE", L"This switch needs a value:"},
    {"PO_GSTR_ARG_EMPTY_NAME", L"The printer name is empty"},
    {"PO_GSTR_ARG_LONG_NAME", L"The printer name is longer than 258 characters"},
    {"PO_GSTR_ARG_LONG_VALUE", L"This value is too long:"},
    {"PO_GSTR_ARG_UNKNOWN_PORT", L"This port does not exist:"},
    {"PO_GSTR_ARG_PORTS", L"Ports:"},
    {"PO_GSTR_ARG_BAD_ADDRESS", L"Neither a port that exists nor an IPv4 address with an optional port number 1 to 65535 (192.168.1.50, 192.168.1.50:9100):"},
    {"PO_GSTR_BUSY", L"Another installation is running; try again later"},
    {"PO_GSTR_LOG_UNWRITABLE", L"The log file cannot be written:"},
    {"PO_GSTR_EXIT_CODE", L"Exit code:"},
    {"PO_GSTR_STATUS_DRIVER", L"Printer driver"},
    {"PO_GSTR_STATUS_MONITOR", L"Port monitor"},
    {"PO_GSTR_STATUS_PORT", L"Port"},
    {"PO_GSTR_STATUS_PRINTER", L"Printer"},
    {"PO_GSTR_STATUS_PRESENT", L"present"},
    {"PO_GSTR_STATUS_MISSING", L"missing"},
    {"PO_GSTR_STATUS_NO_PRINTER", L"No printer uses the driver"},
    {"PO_GSTR_USAGE_TITLE", L"Usage:"},
    {"PO_GSTR_USAGE_DIALOG", L"opens the installer's window"},
    {"PO_GSTR_USAGE_INSTALL", L"installs the printer without a window (name KR-620 and port USB PORT: unless given)"},
    {"PO_GSTR_USAGE_STATUS", L"tells whether the driver, the port monitor, the port and printers are installed"},
    {"PO_GSTR_USAGE_UNINSTALL", L"removes the model's printers and the port monitor"},
    {"PO_GSTR_USAGE_CODES", L"Exit codes: 0 done, 1 not installed (/status), 87 bad arguments, 1603 installation failed or (/uninstall) something of the model is left, 1618 another installation is running, 3010 done, restart needed"},
    {"PO_GSTR_LOCK_NOT_HONOURED", L"The name of the installation lock is taken by an object that is not trusted; going on without the lock:"},
    {"PO_GSTR_LOCK_FAILED", L"The installation lock cannot be made or opened:"},
    {"PO_GSTR_LOCK_WAIT_OVER", L"Another installation still holds the lock; the uninstall goes on after waiting (seconds):"},
    {"PO_GSTR_ARG_BAD_NAME", L"The printer name may not hold a backslash or a comma:"},
    {"PO_GSTR_ARG_LOG_PATH", L"The log file needs a full path (C:\\folder\\file or \\\\server\\share\\file):"},
    {"PO_GSTR_ARG_NO_ACTION", L"None of /install, /status and /uninstall was given"},
    {"PO_GSTR_ARG_TWO_ACTIONS", L"Only one of /install, /status and /uninstall may be given:"},
    {"PO_GSTR_ARG_NO_MEMORY", L"Not enough memory to read the command line"},
    {"PO_GSTR_NO_WINDOW", L"The window cannot be shown: no user sees this process's desktop"},
    {"PO_GSTR_LOG_REPLACED_AT_RESTART", L"In use, replaced when the system restarts:"},
    {"PO_GSTR_PACKAGE_FILE_REFUSED", L"A file of the driver package is missing, changed or damaged:"},
    {"PO_GSTR_LOG_PRINTER_REMOVED", L"Printer removed:"},
    {"PO_GSTR_LOG_NOT_REMOVED", L"Not removed:"},
    {"PO_GSTR_LOG_MONITOR_REMOVED", L"Port monitor removed:"},
    {"PO_GSTR_LOG_MONITOR_ABSENT", L"Port monitor not installed:"},
    {"PO_GSTR_LOG_KEY_REMOVED", L"Registry key removed:"},
    {"PO_GSTR_LOG_FILE_DELETED", L"Deleted:"},
    {"PO_GSTR_UNINSTALL_PRINTER_LEFT", L"A printer of the model is still installed:"},
    {"PO_GSTR_UNINSTALL_MONITOR_LEFT", L"The port monitor is still installed:"},
    {"PO_GSTR_USAGE_UNINSTALL_WORD", L"the same with no report and no log; the exit code is always 0"},
    {"PO_GSTR_UNINSTALL_NOT_CHECKED", L"The spooler could not be asked what is left:"},
    {"PO_GSTR_LOG_PORT_PRESENT", L"Port already there:"},
    {"PO_GSTR_LOG_PRINTER_KEPT", L"Installation updated in place; printer kept with its settings:"},
    {"PO_GSTR_LOG_PRINTER_MOVED", L"Printer moved to the port:"},
    {"PO_GSTR_LOG_FILE_CURRENT", L"In use and already as in the package:"},
    {"PO_GSTR_NEWER_RELEASE", L"A newer release is installed; nothing was changed:"},
    {"PO_GSTR_LOG_DELETED_AT_RESTART", L"In use, deleted when the system restarts:"},
    {"PO_GSTR_UNINSTALL_FILE_LEFT", L"A file of the port monitor is still there:"},
    {"PO_GSTR_LOG_NOTHING_TO_UNDO", L"Nothing to undo: the last installation recorded no work of this run"},
    {"PO_GSTR_LOG_DRIVER_REMOVED", L"Printer driver removed:"},
    {"PO_GSTR_LOG_PORT_REMOVED", L"Port removed:"},
    {"PO_GSTR_USAGE_UNDO", L"removes only what the last /install created, and with /run only when that install was given the same ID (an installer's rollback)"},
    {"PO_GSTR_STATUS_RELEASE", L"Installed release:"},
    {"PO_GSTR_STATUS_NO_RELEASE", L"none recorded"},
    {"PO_GSTR_STATUS_OLDER_RELEASE", L"The installed release is older than this program's:"},
    {"PO_GSTR_STATUS_FILE_FAULT", L"A file of the driver is missing or changed:"},
    {"PO_GSTR_LOG_NOT_REPLACED", L"In use and could not be replaced; the printer would run on the old port monitor:"},
    {"PO_GSTR_LOG_FOLDER_LEFT", L"Temporary folder not removed; deleted when the system restarts:"},
    {"PO_GSTR_LOG_REPLACEMENT_CANCELLED", L"Replacement waiting for the restart cancelled; deleted when the system restarts:"},
    {"PO_GSTR_NOT_ADMINISTRATOR", L"Run the installer as an administrator"},
    {"PO_GSTR_SPOOLER_DISABLED", L"The Print Spooler service is disabled; an administrator must allow it to start before printers can be installed"},
    {"PO_GSTR_SPOOLER_NOT_RUNNING", L"The Print Spooler service is not running and could not be started:"},
    {"PO_GSTR_LOG_SPOOLER_STARTED", L"Print Spooler service started:"},
    {"PO_GSTR_PROTECTED_PRINT", L"Windows protected print mode is on: this computer accepts no third-party printer drivers"},
    {"PO_GSTR_STATUS_SPOOLER", L"Print Spooler service:"},
    {"PO_GSTR_STATUS_RUNNING", L"running"},
    {"PO_GSTR_STATUS_NOT_RUNNING", L"not running"},
    {"PO_GSTR_STATUS_DISABLED", L"disabled"},
    {"PO_GSTR_STATUS_NOT_ASKED", L"cannot be asked"},
    {"PO_GSTR_STATUS_PROTECTED_PRINT", L"Windows protected print mode:"},
    {"PO_GSTR_STATUS_ON", L"on"},
    {"PO_GSTR_STATUS_OFF", L"off"},
    {"PO_GSTR_STATUS_SPOOLER_SILENT", L"The spooler could not be asked whether the driver is installed:"},
    {"PO_GSTR_RECEIPT_TITLE", L"Test receipt"},
    {"PO_GSTR_RECEIPT_MODEL", L"Model:"},
    {"PO_GSTR_RECEIPT_PRINTER", L"Printer:"},
    {"PO_GSTR_RECEIPT_PORT", L"Port:"},
    {"PO_GSTR_RECEIPT_DRIVER", L"Driver:"},
    {"PO_GSTR_RECEIPT_RELEASE", L"Release:"},
    {"PO_GSTR_RECEIPT_TIME", L"Date and time:"},
    {"PO_GSTR_RECEIPT_SENT", L"Test receipt sent, job"},
    {"PO_GSTR_RECEIPT_NOT_SENT", L"The test receipt could not be sent:"},
    {"PO_GSTR_RECEIPT_NO_PRINTER", L"No printer of this name uses the model's driver:"},
    {"PO_GSTR_USAGE_TESTPAGE", L"prints a test receipt on the printer (name KR-620 unless given) as a raw job, straight to its port past the driver; after /install, on the printer installed. 87: no printer of the model has the name; 1603: the spooler did not take the receipt"},
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
