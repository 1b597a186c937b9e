#pragma once

// Dialog template 129: the main dialog. IDT_ static texts, IDE_ edits, IDG_ group boxes,
// IDR_ radio buttons, IDC_ buttons and lists; 1 and 2 are Install and Exit.
#define IDD_MAIN_DIALOG 129
#define IDT_OS_TYPE 1000
#define IDT_OS_NAME 1001
#define IDR_CATEGORY 1005
#define IDG_PRINTER_MODEL 1008
#define IDG_PRINTER_PORT 1009
#define IDT_PRINTER_NAME 1020
#define IDE_PRINTER_NAME 1021
#define IDC_CONFIGURE_PORT 1022
#define IDC_ADD_PORT 1023
#define IDC_MODEL_LIST 1047
#define IDC_PORT_LIST 1048
#define IDT_PORT 1049
