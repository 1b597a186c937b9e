#pragma once

// Dialog template 201: Configure LPT Port. IDG_ group box, IDT_ static text, IDE_ edit;
// 1 and 2 are OK and Cancel.
#define IDD_CONFIGURE_LPT 201
#define IDG_TIMEOUT 1023
#define IDT_RETRY 1025
#define IDE_TIMEOUT 1027
