#include "spooler/tcp_port.h"

#include <stddef.h>
#include <strsafe.h>
#include <wchar.h>

#include "spooler/spooler.h"

// The monitor reads the records by these offsets, whatever compiler wrote them.
static_assert(sizeof(PORT_DATA_1) == 964 && offsetof(PORT_DATA_1, dwPortNumber) == 952, "PORT_DATA_1 as tcpxcv.h");
static_assert(sizeof(DELETE_PORT_DATA_1) == 236, "DELETE_PORT_DATA_1 as tcpxcv.h");

static int IsDigit(wchar_t c)
{
    return c >= L'0' && c <= L'9';
}

// The number at *at of 1 to maxDigits digits, *at moved past it; 0 for none, a longer one or
// one with a leading zero, which inet_addr and ping read as octal ("010" is 8 to them).
static int ReadNumber(const wchar_t** at, int maxDigits, DWORD* value)
{
    const wchar_t* start = *at;
    const wchar_t* end = start;
    DWORD number = 0;
    for (; IsDigit(*end); ++end) {
        if (end - start == maxDigits)
            return 0;
        number = number * 10 + static_cast<DWORD>(*end - L'0');
    }
    if (end == start || (*start == L'0' && end - start > 1))
        return 0;
    *at = end;
    *value = number;
    return 1;
}

PortAddressReading ReadPortAddress(const wchar_t* text, PORT_DATA_1* data)
{
    ZeroMemory(data, sizeof(*data));
    if (!IsDigit(text[0]) || !wcschr(text, L'.'))
        return kNotAnAddress;
    const wchar_t* at = text;
    DWORD number = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0 && *at++ != L'.')
            return kAddressBad;
        if (!ReadNumber(&at, 3, &number) || number > 255)
            return kAddressBad;
    }
    const size_t addressLength = static_cast<size_t>(at - text);
    DWORD port = kRawPrintingPort;
    if (*at == L':') {
        ++at;
        if (!ReadNumber(&at, 5, &port) || port == 0 || port > 65535)
            return kAddressBad;
    }
    if (*at != L'\0')
        return kAddressBad;
    // At most 15 characters: the address and "IP_" before it fit both fields whole.
    StringCchCopyNW(data->sztHostAddress, ARRAYSIZE(data->sztHostAddress), text, addressLength);
    StringCchPrintfW(data->sztPortName, ARRAYSIZE(data->sztPortName), L"IP_%s", data->sztHostAddress);
    data->dwVersion = 1;
    data->dwProtocol = PROTOCOL_RAWTCP_TYPE;
    data->cbSize = sizeof(*data);
    data->dwPortNumber = port;
    data->dwSNMPEnabled = 0;
    return kAddressGood;
}

int IsPortOfAddress(const wchar_t* listed, const PORT_DATA_1* data)
{
    return listed && (lstrcmpiW(listed, data->sztPortName) == 0 || lstrcmpiW(listed, data->sztHostAddress) == 0);
}

// One command to the Standard TCP/IP monitor through the spooler.
static int SendToTcpMonitor(const wchar_t* command, const void* input, DWORD inputSize)
{
    wchar_t object[] = L",XcvMonitor Standard TCP/IP Port";
    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, SERVER_ACCESS_ADMINISTER};
    HANDLE xcv = nullptr;
    if (!Spooler().openPrinter(object, &xcv, &defaults))
        return 0;
    // Room for an answer, which these commands do not give: a monitor may refuse a null one.
    BYTE answer[64] = {};
    DWORD needed = 0;
    DWORD status = ERROR_SUCCESS;
    const BOOL sent = Spooler().xcvData(xcv, command, static_cast<BYTE*>(const_cast<void*>(input)), inputSize, answer,
                                        sizeof(answer), &needed, &status);
    const DWORD cause = sent ? status : GetLastError();
    Spooler().closePrinter(xcv);
    if (sent && status == ERROR_SUCCESS)
        return 1;
    SetLastError(cause ? cause : ERROR_GEN_FAILURE);
    return 0;
}

int AddTcpPort(const PORT_DATA_1* data)
{
    return SendToTcpMonitor(L"AddPort", data, sizeof(*data));
}

int DeleteTcpPort(const wchar_t* name)
{
    DELETE_PORT_DATA_1 data = {};
    // A longer name is no port this program made, and a cut one would name another.
    if (FAILED(StringCchCopyW(data.psztPortName, ARRAYSIZE(data.psztPortName), name))) {
        SetLastError(ERROR_INVALID_NAME);
        return 0;
    }
    data.dwVersion = 1;
    return SendToTcpMonitor(L"DeletePort", &data, sizeof(data));
}
