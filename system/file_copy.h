#pragma once
#include <windows.h>

// Copies read through a handle the caller already holds, never by opening the source again
// by a path that another process could have changed or redirected since it was checked.

// The bytes of source, from its start, into target opened with disposition (CREATE_NEW or
// CREATE_ALWAYS). With kept, the target is opened for reading too and handed back open,
// shared for reading only, so that nobody changes or deletes it while the caller uses it.
// 1 when every byte was written; 0 with the cause, and a target made here removed again.
int CopyFromHandle(HANDLE source, const wchar_t* target, DWORD disposition, HANDLE* kept);

// 1 when the file at path holds the bytes of source from its start; 0 when they differ or
// either cannot be read. A DLL the system holds loaded can still be read.
int FileMatchesHandle(HANDLE source, const wchar_t* path);
