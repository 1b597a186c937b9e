#pragma once

// Dialog template 202: Add Port. IDC_ lists; 1 and 2 are OK and Cancel.
#define IDD_ADD_PORT_DIALOG 202
#define IDC_MONITOR_LIST 1027
