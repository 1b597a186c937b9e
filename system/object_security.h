#pragma once
#include <windows.h>

// Objects that only the machine's administrators may touch (the install lock, a log that a
// run as the system account writes where it is told), and whether an object found under
// such a name can be trusted: any user may have made it first.

// Who owns an object, as far as trusting it goes.
enum OwnerClass {
    kOwnerSystem,
    kOwnerAdministrators,
    kOwnerTrustedInstaller, // the servicing account, which owns the system's own folders
    kOwnerRunningAccount,
    kOwnerOther, // another account or group, or no owner at all
};

enum PrivateDescriptorFlags {
    kGrantRunningAccount = 1,    // full access for the running account too
    kOwnedByAdministrators = 2,  // the Administrators group as owner, whatever the token's default
    kInheritedByContents = 4,    // for a folder: everything made inside it gets the same access
    kHighIntegrityLabel = 8,     // a high mandatory label: processes below it may not write
};

// A self-relative descriptor (to be freed with LocalFree) whose protected DACL gives the
// system account and the Administrators group full access, with kGrantRunningAccount the
// running account too, and nobody else; with kInheritedByContents the entries are inherited
// by the files and folders made inside. 0 with the cause in the last error.
int MakePrivateDescriptor(unsigned flags, PSECURITY_DESCRIPTOR* descriptor);

// The flags of a folder of the run's own, inherited by its contents. An elevated token or
// the system account: owned by the Administrators group, with no entry for the account
// (which the same user's processes that are not elevated share) and, where the platform has
// integrity labels, a high one. Otherwise the running account gets its own entry, as no
// process of it is above another.
unsigned PrivateFolderFlags(int elevatedOrSystem, int hasLabels);

// 1 when the process token is elevated (Vista and later) or the system account's.
int IsElevatedOrSystem();
// 1 when the platform gives tokens an integrity level (Vista and later).
int HasIntegrityLabels();

// The owner of an object opened with READ_CONTROL, classified against the running account
// (the process token's user). 0 with the cause in the last error.
int QueryOwnerClass(HANDLE object, OwnerClass* owner);

// The system account, the Administrators group and TrustedInstaller are trusted; the running
// account only where the object is the run's own business (its log, not a lock others share).
int IsTrustedOwner(OwnerClass owner, int trustRunningAccount);
