#pragma once
#include <windows.h>

// Routes a dialog window's messages to its C++ object. The object is put, tagged with the
// creating thread, on a process-wide list of windows being created; the window's first
// message takes it off and stores a routing record in the window's DWLP_USER slot, so that
// every later message reaches the object.
class CDialogBase {
public:
    HWND m_hWnd = nullptr;

    CDialogBase() = default;
    CDialogBase(const CDialogBase&) = delete;
    CDialogBase& operator=(const CDialogBase&) = delete;

    // The message map: nonzero when handled, with the handler's result in *result.
    virtual BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                      LRESULT* result) = 0;

protected:
    ~CDialogBase() = default;

    // Modeless: the window, or null with the last error set (ERROR_OUTOFMEMORY when the
    // routing record cannot be allocated).
    HWND CreateFromTemplate(HINSTANCE instance, int templateId, HWND owner, LPARAM parameter);
    // Modal: the EndDialog result, or -1 with the last error set.
    INT_PTR RunModalFromTemplate(HINSTANCE instance, int templateId, HWND owner, LPARAM parameter);

public:
    struct RoutingRecord;

private:
    RoutingRecord* PrepareRouting();
    static void CancelRouting(CDialogBase* dialog);
    static INT_PTR CALLBACK StartDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static INT_PTR CALLBACK RoutedDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static INT_PTR Deliver(CDialogBase* dialog, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};

template <typename T> class CDialogImpl : public CDialogBase {
public:
    HWND Create(HWND owner, LPARAM parameter = 0);
    INT_PTR DoModal(HWND owner, LPARAM parameter = 0);

protected:
    ~CDialogImpl() = default;
};

HINSTANCE DialogResourceInstance();

template <typename T> HWND CDialogImpl<T>::Create(HWND owner, LPARAM parameter)
{
    return CreateFromTemplate(DialogResourceInstance(), T::IDD, owner, parameter);
}

template <typename T> INT_PTR CDialogImpl<T>::DoModal(HWND owner, LPARAM parameter)
{
    return RunModalFromTemplate(DialogResourceInstance(), T::IDD, owner, parameter);
}
