#pragma once
#include <windows.h>

// A folder of the run's own in a place every user may write (the system account's
// temporary folder is one): made new under a name nobody can guess, and readable and
// writable only by the system account, the Administrators group and the running account.

// parent\<prefix><32 random hex digits> into folder (MAX_PATH units), made with a protected
// DACL that everything made inside inherits. A name that is taken is never used: another
// is drawn. 0 with the cause in the last error, folder then empty.
int CreatePrivateFolder(const wchar_t* parent, const wchar_t* prefix, wchar_t* folder);

// Deletes the folder and everything in it. A link inside is removed itself, never followed.
// 1 when the folder is gone; 0 with the first cause otherwise (the rest is still tried).
int RemoveFolderTree(const wchar_t* folder);
