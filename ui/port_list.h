#pragma once
#include <windows.h>
#include <winspool.h>

#include "spooler/spooler_names.h"

// The spooler's level-2 port records in a new buffer the caller releases with free(), or
// null when it reports none (count 0). Enumeration failures are not examined: the size and
// the count decide.
PORT_INFO_2W* EnumeratePorts(DWORD* count);

// 1 when a record is named "USB PORT:", ignoring case (the spooler's port names do), as a
// whole name; 0 for none or a null list.
int ListsUsbPort(const PORT_INFO_2W* records, DWORD count);

// The index of the first new record whose name differs, case-sensitively, from the old
// record at the same position, or that lies past the old ones: the port just added. -1 when
// the two agree over the whole new list.
long FindAddedPortIndex(const PORT_INFO_2W* previous, DWORD previousCount, const PORT_INFO_2W* current,
                        DWORD currentCount);

// Longest port name the list offers: Install reads at most this many characters, and a port
// cut shorter would name another port or none.
inline constexpr size_t kLongestUsablePortName = 258;
