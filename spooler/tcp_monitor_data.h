/* The records the Standard TCP/IP port monitor takes through XcvData, laid out as the Windows
 * SDK's tcpxcv.h has them; MinGW-w64's headers here lack that file. Plain C: the tests'
 * stand-in monitor reads the same records. */
#pragma once
#include <windows.h>

#define PROTOCOL_RAWTCP_TYPE 1

/* "AddPort": the port to create. */
typedef struct _PORT_DATA_1 {
    WCHAR sztPortName[64];
    DWORD dwVersion;
    DWORD dwProtocol;
    DWORD cbSize;
    DWORD dwReserved;
    WCHAR sztHostAddress[49];
    WCHAR sztSNMPCommunity[33];
    DWORD dwDoubleSpool;
    WCHAR sztQueue[33];
    WCHAR sztIPAddress[16];
    BYTE Reserved[540];
    DWORD dwPortNumber;
    DWORD dwSNMPEnabled;
    DWORD dwSNMPDevIndex;
} PORT_DATA_1, *PPORT_DATA_1;

/* "DeletePort": the port to delete. */
typedef struct _DELETE_PORT_DATA_1 {
    WCHAR psztPortName[64];
    BYTE Reserved[98];
    DWORD dwVersion;
    DWORD dwReserved;
} DELETE_PORT_DATA_1, *PDELETE_PORT_DATA_1;
