#pragma once
#include <windows.h>

#include "spooler/tcp_monitor_data.h"

// The port monitor Windows has for printers on the network; a port for an address is made
// through it.
inline constexpr wchar_t kTcpMonitorName[] = L"Standard TCP/IP Port";
// Raw printing's port number, on which receipt printers listen.
inline constexpr DWORD kRawPrintingPort = 9100;

enum PortAddressReading {
    kNotAnAddress, // a port's name
    kAddressGood,
    kAddressBad,   // meant as an address and none
};

// A /port value read as a printer's IPv4 address: four numbers 0 to 255 between dots, then
// optionally ':' and a port number 1 to 65535, no number with a leading zero. kAddressGood with
// the port made for it in *data: named "IP_" and the address, raw printing to the address at
// the port number given or 9100, SNMP off. A value that begins with a digit and holds a dot
// was meant as an address: kAddressBad when it is none. Anything else is kNotAnAddress. *data
// is zeroed but for a good address.
PortAddressReading ReadPortAddress(const wchar_t* text, PORT_DATA_1* data);

// 1 when a listed port is the one of the address in data: named as that port or as the
// address itself, in any letter case.
int IsPortOfAddress(const wchar_t* listed, const PORT_DATA_1* data);

// The port created or deleted through the Standard TCP/IP monitor's XcvData "AddPort" and
// "DeletePort". 0 with the cause in the last error: the spooler's, or the monitor's status.
int AddTcpPort(const PORT_DATA_1* data);
int DeleteTcpPort(const wchar_t* name);
