#pragma once
#include <windows.h>
#include <winspool.h>

#include "app/dialog_impl.h"
#include "app/message_loop.h"
#include "install/install_job.h"
#include "ui/main_dialog_ids.h"

// The one window of an interactive run, a modeless dialog from template 129: the model,
// the printer name, the port, and Install. Its handlers for the port list live in
// ui/port_list.cpp and the Add Port button's in ui/add_port_dialog.cpp.
class CMainDlg : public CDialogImpl<CMainDlg>, public CMessageFilter, public CIdleHandler {
public:
    enum { IDD = IDD_MAIN_DIALOG };

    CMainDlg() = default;
    ~CMainDlg();

    BOOL PreTranslateMessage(MSG* message) override;
    BOOL OnIdle() override;
    BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

    // Port list (ui/port_list.cpp).
    void FillPortList();
    void ClearPortList();
    static int HasUsbPort(const PORT_INFO_2W* records, DWORD count);
    void FindAddedPort(const PORT_INFO_2W* records, DWORD count);
    void OnPortChanged();
    void OnConfigurePort();

    // Add Port button (ui/add_port_dialog.cpp).
    void OnAddPort();

    // What a test reads back after driving the dialog.
    const wchar_t* SelectedPort() const { return selectedPort; }
    DWORD PortCount() const { return portCount; }

private:
    LRESULT OnInitDialog();
    LRESULT OnDestroy();
    LRESULT OnOK();
    LRESULT OnCancel(WORD commandId);
    void CentreOnWorkArea();
    void SetIcons();
    void ReleaseIcons();

    void InitCaptions();
    void ShowOsName();
    void FillModelList();
    void SetDefaultPrinterName(const wchar_t* displayName);
    void ResetPrinterNameToSelectedModel();
    int ValidateInput();
    const PrinterModelInfo* GetSelectedModel();
    void StartInstall();
    void ReleasePorts();

    HWND categoryButton = nullptr;
    HWND osNameLabel = nullptr;
    HWND modelList = nullptr;
    HWND portList = nullptr;
    wchar_t printerNameBuffer[260] = {};
    wchar_t portNameBuffer[260] = {};
    wchar_t selectedPort[260] = {};
    PORT_INFO_2W* ports = nullptr;
    DWORD portCount = 0;
    // Loaded for this window alone (not shared), so destroyed with it.
    HICON bigIcon = nullptr;
    HICON smallIcon = nullptr;
};
