#include "system/protected_print.h"

#include <objbase.h>

#include "system/system_library.h"

int IsProtectedPrintOn(const ProtectedPrintFacts& facts)
{
    if (facts.queried)
        return facts.queriedEnabled ? 1 : 0;
    if (facts.policyStatePresent && facts.policyState == 0)
        return 0;
    return facts.modePresent && facts.mode != 0 ? 1 : 0;
}

namespace {

// The WinRT types this query needs, declared here: the program builds for XP's headers.
typedef struct HSTRING__* HSTRING;
typedef HRESULT(WINAPI* WindowsCreateStringFn)(const wchar_t* text, UINT32 length, HSTRING* string);
typedef HRESULT(WINAPI* WindowsDeleteStringFn)(HSTRING string);
typedef HRESULT(WINAPI* RoGetActivationFactoryFn)(HSTRING classId, REFIID iid, void** factory);

// IWindowsProtectedPrintInfoStatics: IInspectable's six methods, then the property's getter.
struct ProtectedPrintStatics;
struct ProtectedPrintStaticsTable {
    HRESULT(STDMETHODCALLTYPE* QueryInterface)(ProtectedPrintStatics*, REFIID, void**);
    ULONG(STDMETHODCALLTYPE* AddRef)(ProtectedPrintStatics*);
    ULONG(STDMETHODCALLTYPE* Release)(ProtectedPrintStatics*);
    void* GetIids;
    void* GetRuntimeClassName;
    void* GetTrustLevel;
    HRESULT(STDMETHODCALLTYPE* get_IsProtectedPrintEnabled)(ProtectedPrintStatics*, BYTE* enabled);
};
struct ProtectedPrintStatics {
    const ProtectedPrintStaticsTable* table;
};

const IID kProtectedPrintStaticsIid = {0xa7d212f3, 0x4168, 0x5485, {0x98, 0xab, 0xd8, 0x9d, 0x04, 0x60, 0x3b, 0x40}};
const wchar_t kProtectedPrintClass[] = L"Windows.Graphics.Printing.ProtectedPrint.WindowsProtectedPrintInfo";

// 1 when the class answered, with *enabled its answer; 0 where the platform lacks it.
int QueryWinRt(int* enabled)
{
    HMODULE combase = LoadSystemLibrary(L"combase.dll");
    if (!combase)
        return 0;
    WindowsCreateStringFn createString = reinterpret_cast<WindowsCreateStringFn>(
        reinterpret_cast<void*>(GetProcAddress(combase, "WindowsCreateString")));
    WindowsDeleteStringFn deleteString = reinterpret_cast<WindowsDeleteStringFn>(
        reinterpret_cast<void*>(GetProcAddress(combase, "WindowsDeleteString")));
    RoGetActivationFactoryFn getFactory = reinterpret_cast<RoGetActivationFactoryFn>(
        reinterpret_cast<void*>(GetProcAddress(combase, "RoGetActivationFactory")));
    int answered = 0;
    HSTRING name = nullptr;
    if (createString && deleteString && getFactory &&
        SUCCEEDED(createString(kProtectedPrintClass, ARRAYSIZE(kProtectedPrintClass) - 1, &name))) {
        ProtectedPrintStatics* statics = nullptr;
        BYTE value = 0;
        if (SUCCEEDED(getFactory(name, kProtectedPrintStaticsIid, reinterpret_cast<void**>(&statics))) && statics) {
            answered = SUCCEEDED(statics->table->get_IsProtectedPrintEnabled(statics, &value));
            statics->table->Release(statics);
        }
        *enabled = value != 0;
        deleteString(name);
    }
    FreeLibrary(combase);
    return answered;
}

int ReadPolicyDword(HKEY key, const wchar_t* name, DWORD* value)
{
    DWORD type = 0;
    DWORD size = sizeof(*value);
    return RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS &&
           type == REG_DWORD && size == sizeof(*value);
}

} // namespace

void QueryProtectedPrintFacts(ProtectedPrintFacts* facts)
{
    *facts = {};
    facts->queried = QueryWinRt(&facts->queriedEnabled);
    HKEY key = nullptr;
    // A 32-bit process on a 64-bit system reads the policy where Windows keeps it.
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Policies\\Microsoft\\Windows NT\\Printers\\WPP", 0,
                      KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
        return;
    facts->policyStatePresent = ReadPolicyDword(key, L"WindowsProtectedPrintGroupPolicyState", &facts->policyState);
    facts->modePresent = ReadPolicyDword(key, L"WindowsProtectedPrintMode", &facts->mode);
    RegCloseKey(key);
}
