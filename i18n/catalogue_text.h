#pragma once
#include <stddef.h>

// The text work of the catalogue lookup, free of any platform call.

// The built-in English text of a key, or null for a key the table lacks (exact,
// case-sensitive comparison, rows scanned in order).
const wchar_t* FindFallbackText(const char* key);

struct FallbackRow {
    const char* key;
    const wchar_t* text;
};
// The built-in table in scan order.
const FallbackRow* FallbackTable(size_t* rows);

// Lead-byte ranges of a code page as the platform gives them (CPINFO.LeadByte): pairs of
// first and last lead byte, ended by a pair of zeros. Single-byte code pages have none.

// How many of the first `length` bytes of an ANSI text fit into `limit` bytes without
// parting a double-byte character from its trail byte.
size_t AnsiFitLength(const char* text, size_t length, size_t limit, const unsigned char* leadByteRanges);

// The length of a path's folder, up to and including its last backslash (0 with none);
// a trail byte that happens to be 0x5C is not a backslash.
size_t AnsiFolderLength(const char* path, const unsigned char* leadByteRanges);

// The catalogue folder (the program's folder, then "Lang\") into `folder` of `folderBytes`,
// from the program's ANSI path as GetModuleFileNameA gave it: `pathLength` bytes returned
// into a buffer of `pathBufferBytes`. 0, with nothing written, when the path filled that
// buffer (it was cut, and its folder would be another one) or the catalogue folder does not
// fit; such a path is never cut into one that names another folder.
int CatalogueFolderFor(const char* path, size_t pathLength, size_t pathBufferBytes, const unsigned char* leadByteRanges,
                       char* folder, size_t folderBytes);

// How many of the first `length` UTF-16 units fit into `limit` units without parting a
// surrogate pair.
size_t Utf16FitLength(const wchar_t* text, size_t length, size_t limit);
