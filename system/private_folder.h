#pragma once
#include <windows.h>

// A folder of the run's own in a place every user may write (the system account's
// temporary folder is one): made new under a name nobody can guess, and readable and
// writable only by the system account and the Administrators group, and by the running
// account where it is neither elevated nor the system account. An elevated administrator's
// own processes that are not elevated share its account: they get no entry, and the folder
// a high integrity label that keeps them from writing to it.

// parent\<prefix><32 random hex digits> into folder (MAX_PATH units), made with a protected
// DACL that everything made inside inherits. A name that is taken is never used: another
// is drawn. 0 with the cause in the last error, folder then empty.
int CreatePrivateFolder(const wchar_t* parent, const wchar_t* prefix, wchar_t* folder);

// Deletes the folder and everything in it. A link inside is removed itself, never followed.
// 1 when the folder is gone; 0 with the first cause otherwise (the rest is still tried).
int RemoveFolderTree(const wchar_t* folder);

// Records the folder and everything in it for deletion at the next start of the system,
// the contents before the folders that hold them. 0 with the first cause when something
// could not be recorded.
int RemoveFolderTreeAtRestart(const wchar_t* folder);
