#include "install/preflight.h"

#include <strsafe.h>

#include "i18n/catalogue.h"
#include "spooler/spooler_names.h"
#include "system/protected_print.h"
#include "system/system_api.h"
#include "system/user_report.h"

static const size_t kTextUnits = 520;

SpoolerStep DecideSpoolerStep(const ServiceFacts& spooler)
{
    if (!spooler.asked || spooler.state == SERVICE_RUNNING)
        return kSpoolerGoOn;
    return spooler.startType == SERVICE_DISABLED ? kSpoolerDisabled : kSpoolerStart;
}

static int Refuse(const char* key, DWORD cause)
{
    wchar_t text[kTextUnits + 16] = {};
    GetLocalizedText(key, text, kTextUnits);
    if (cause) {
        wchar_t code[16] = {};
        StringCchPrintfW(code, ARRAYSIZE(code), L" (%lu)", cause);
        StringCchCatW(text, ARRAYSIZE(text), code);
    }
    ReportToUser(text, L"ERROR");
    return 0;
}

int RunPreflight()
{
    // An account that may not install drivers is told so before the spooler refuses it
    // half-way. An answer that cannot be had leaves the spooler to decide.
    BOOL administrator = TRUE;
    if (System().isAdministrator(&administrator) && !administrator)
        return Refuse("PO_GSTR_NOT_ADMINISTRATOR", 0);

    ServiceFacts spooler = {};
    QueryServiceFacts(kSpoolerServiceName, &spooler);
    switch (DecideSpoolerStep(spooler)) {
    case kSpoolerDisabled:
        return Refuse("PO_GSTR_SPOOLER_DISABLED", 0);
    case kSpoolerStart:
        if (!StartServiceAndWait(kSpoolerServiceName, kSpoolerStartMs))
            return Refuse("PO_GSTR_SPOOLER_NOT_RUNNING", GetLastError());
        ReportProgress("PO_GSTR_LOG_SPOOLER_STARTED", kSpoolerServiceName);
        break;
    case kSpoolerGoOn:
        break;
    }

    ProtectedPrintFacts protectedPrint = {};
    QueryProtectedPrintFacts(&protectedPrint);
    if (IsProtectedPrintOn(protectedPrint))
        return Refuse("PO_GSTR_PROTECTED_PRINT", 0);
    return 1;
}
