// Messages of a dialog window reach its object from the first message to the last.
#include <gtest/gtest.h>

#include <vector>

#include "app/dialog_impl.h"
#include "ui/main_dialog_ids.h"

namespace {

const UINT kAsk = WM_APP + 1;

class Probe : public CDialogImpl<Probe> {
public:
    enum { IDD = IDD_MAIN_DIALOG };
    std::vector<UINT> seen;
    HWND windowAtInit = nullptr;
    bool destroyed = false;

    BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override
    {
        seen.push_back(message);
        switch (message) {
        case WM_INITDIALOG:
            windowAtInit = m_hWnd;
            *result = lParam == 42; // the creation parameter arrives
            return TRUE;
        case kAsk:
            *result = static_cast<LRESULT>(wParam) * 2;
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL && GetWindowLongPtrW(window, GWL_STYLE) & WS_CHILD) {
                EndDialog(window, 5);
                return TRUE;
            }
            return FALSE;
        case WM_DESTROY:
            destroyed = true;
            return FALSE;
        default:
            return FALSE;
        }
    }
};

class Missing : public CDialogImpl<Missing> {
public:
    enum { IDD = 9999 };
    BOOL ProcessWindowMessage(HWND, UINT, WPARAM, LPARAM, LRESULT*) override { return FALSE; }
};

TEST(DialogRouting, EveryMessageReachesTheObjectAndResultsComeBack)
{
    Probe probe;
    HWND window = probe.Create(nullptr, 42);
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(window, probe.m_hWnd);
    EXPECT_EQ(window, probe.windowAtInit);
    EXPECT_NE(probe.seen.end(), std::find(probe.seen.begin(), probe.seen.end(), WM_INITDIALOG));

    EXPECT_EQ(42, SendMessageW(window, kAsk, 21, 0));

    DestroyWindow(window);
    EXPECT_TRUE(probe.destroyed);
    EXPECT_EQ(WM_NCDESTROY, probe.seen.back());
    EXPECT_EQ(nullptr, probe.m_hWnd);
}

TEST(DialogRouting, TwoDialogsKeepTheirOwnObjects)
{
    Probe first, second;
    HWND a = first.Create(nullptr);
    HWND b = second.Create(nullptr);
    ASSERT_NE(nullptr, a);
    ASSERT_NE(nullptr, b);
    first.seen.clear();
    second.seen.clear();
    SendMessageW(b, kAsk, 1, 0);
    EXPECT_TRUE(first.seen.empty());
    EXPECT_EQ(1u, second.seen.size());
    DestroyWindow(a);
    DestroyWindow(b);
}

TEST(DialogRouting, AMissingTemplateGivesNoWindowAndLeavesNothingBehind)
{
    Missing missing;
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(nullptr, missing.Create(nullptr));
    EXPECT_NE(0xDEADBEEFu, GetLastError());
    EXPECT_EQ(-1, missing.DoModal(nullptr));

    // A record left on the list would be handed to the next dialog's window.
    Probe probe;
    HWND window = probe.Create(nullptr);
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(window, probe.m_hWnd);
    DestroyWindow(window);
}

} // namespace
