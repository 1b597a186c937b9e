#pragma once
#include <windows.h>
#include <winspool.h>

#include "spooler/spooler.h"

// The index of the first new record whose name differs, case-sensitively, from the old
// record at the same position, or that lies past the old ones: the port just added. -1 when
// the two agree over the whole new list.
long FindAddedPortIndex(const PORT_INFO_2W* previous, DWORD previousCount, const PORT_INFO_2W* current,
                        DWORD currentCount);

// Longest port name the list offers: Install reads at most this many characters, and a port
// cut shorter would name another port or none.
inline constexpr size_t kLongestUsablePortName = 258;
