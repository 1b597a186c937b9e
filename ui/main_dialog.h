#pragma once
#include <windows.h>

#include "app/dialog_impl.h"
#include "app/message_loop.h"
#include "ui/main_dialog_ids.h"

// The one window of an interactive run, a modeless dialog from template 129.
class CMainDlg : public CDialogImpl<CMainDlg>, public CMessageFilter, public CIdleHandler {
public:
    enum { IDD = IDD_MAIN_DIALOG };

    BOOL PreTranslateMessage(MSG* message) override;
    BOOL OnIdle() override;
    BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

private:
    LRESULT OnInitDialog();
    LRESULT OnDestroy();
    LRESULT OnCancel(WORD commandId);
    void CentreOnWorkArea();
    void SetIcons();
};
