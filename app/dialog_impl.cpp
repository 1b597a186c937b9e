#include "app/dialog_impl.h"

#include <stdlib.h>

#include "app/app_module.h"

struct CDialogBase::RoutingRecord {
    CDialogBase* dialog;
    DWORD threadId;
    RoutingRecord* next;
};

// Windows being created, newest first; guarded by a lock of its own.
static CDialogBase::RoutingRecord* creating;
static CRITICAL_SECTION creatingLock;

// Windows XP lacks InitOnceExecuteOnce: the first caller initialises the lock, and any
// caller that comes meanwhile waits until it is ready. 0 untouched, 1 initialising, 2 ready.
static volatile LONG creatingLockState;

static void LockCreating()
{
    if (InterlockedCompareExchange(&creatingLockState, 1, 0) == 0) {
        InitializeCriticalSection(&creatingLock);
        InterlockedExchange(&creatingLockState, 2);
    } else {
        while (InterlockedCompareExchange(&creatingLockState, 2, 2) != 2)
            Sleep(0);
    }
    EnterCriticalSection(&creatingLock);
}

HINSTANCE DialogResourceInstance()
{
    return appModule.GetResourceInstance();
}

CDialogBase::RoutingRecord* CDialogBase::PrepareRouting()
{
    RoutingRecord* record = static_cast<RoutingRecord*>(calloc(1, sizeof(RoutingRecord)));
    if (!record) {
        SetLastError(ERROR_OUTOFMEMORY);
        return nullptr;
    }
    record->dialog = this;
    record->threadId = GetCurrentThreadId();
    LockCreating();
    record->next = creating;
    creating = record;
    LeaveCriticalSection(&creatingLock);
    return record;
}

// Takes the dialog's record off the list when its window never received a message. The
// dialog, not the record, is searched for: a record that reached its window is freed with it.
void CDialogBase::CancelRouting(CDialogBase* dialog)
{
    LockCreating();
    for (RoutingRecord** link = &creating; *link; link = &(*link)->next) {
        RoutingRecord* record = *link;
        if (record->dialog == dialog) {
            *link = record->next;
            free(record);
            break;
        }
    }
    LeaveCriticalSection(&creatingLock);
}

HWND CDialogBase::CreateFromTemplate(HINSTANCE instance, int templateId, HWND owner, LPARAM parameter)
{
    if (!PrepareRouting())
        return nullptr;
    HWND window = CreateDialogParamW(instance, MAKEINTRESOURCEW(templateId), owner, StartDialogProc, parameter);
    if (!window) {
        DWORD error = GetLastError();
        CancelRouting(this);
        SetLastError(error);
    }
    return window;
}

INT_PTR CDialogBase::RunModalFromTemplate(HINSTANCE instance, int templateId, HWND owner, LPARAM parameter)
{
    if (!PrepareRouting())
        return -1;
    INT_PTR result = DialogBoxParamW(instance, MAKEINTRESOURCEW(templateId), owner, StartDialogProc, parameter);
    if (result == -1 || result == 0) {
        // The window may never have been made; a record still on the list is dropped.
        DWORD error = GetLastError();
        CancelRouting(this);
        SetLastError(error);
    }
    return result;
}

INT_PTR CALLBACK CDialogBase::StartDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    const DWORD thread = GetCurrentThreadId();
    RoutingRecord* record = nullptr;
    LockCreating();
    for (RoutingRecord** link = &creating; *link; link = &(*link)->next) {
        if ((*link)->threadId == thread) {
            record = *link;
            *link = record->next;
            break;
        }
    }
    LeaveCriticalSection(&creatingLock);
    if (!record)
        return FALSE;
    record->next = nullptr;
    record->dialog->m_hWnd = window;
    SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(record));
    SetWindowLongPtrW(window, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(RoutedDialogProc));
    return Deliver(record->dialog, window, message, wParam, lParam);
}

INT_PTR CALLBACK CDialogBase::RoutedDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    RoutingRecord* record = reinterpret_cast<RoutingRecord*>(GetWindowLongPtrW(window, DWLP_USER));
    if (!record)
        return FALSE;
    INT_PTR handled = Deliver(record->dialog, window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        // The last message: the object no longer has a window.
        SetWindowLongPtrW(window, DWLP_USER, 0);
        record->dialog->m_hWnd = nullptr;
        free(record);
    }
    return handled;
}

INT_PTR CDialogBase::Deliver(CDialogBase* dialog, HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (!dialog->ProcessWindowMessage(window, message, wParam, lParam, &result))
        return FALSE;
    switch (message) {
    // These return their result directly instead of through DWLP_MSGRESULT.
    case WM_INITDIALOG:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
        return static_cast<INT_PTR>(result);
    default:
        SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
        return TRUE;
    }
}
