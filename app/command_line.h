#pragma once

// 1 when the command line (without the program's own name) holds "uninstall" anywhere,
// matched case-sensitively: "/uninstall", "-uninstall" and longer words count, "Uninstall"
// does not. A null command line counts as empty.
int IsUninstallCommandLine(const wchar_t* commandLine);
