#include "app/message_loop.h"

// The system timer message (caret blink), which has no name in the headers.
static const UINT kSystemTimerMessage = 0x0118;

int CMessageLoop::Run()
{
    BOOL idle = TRUE;
    int idleCount = 0;
    for (;;) {
        while (idle && !PeekMessageW(&message_, nullptr, 0, 0, PM_NOREMOVE)) {
            if (!OnIdle(idleCount++))
                idle = FALSE;
        }
        BOOL got = GetMessageW(&message_, nullptr, 0, 0);
        if (got == -1)
            continue;
        if (!got)
            break;
        if (!PreTranslateMessage(&message_)) {
            TranslateMessage(&message_);
            DispatchMessageW(&message_);
        }
        if (IsIdleMessage(&message_)) {
            idle = TRUE;
            idleCount = 0;
        }
    }
    return static_cast<int>(message_.wParam);
}

BOOL CMessageLoop::PreTranslateMessage(MSG* message)
{
    for (int i = filters_.Size() - 1; i >= 0; --i) {
        CMessageFilter* filter = filters_.At(i);
        if (filter && filter->PreTranslateMessage(message))
            return TRUE;
    }
    return FALSE;
}

BOOL CMessageLoop::OnIdle(int)
{
    for (int i = 0; i < idleHandlers_.Size(); ++i) {
        CIdleHandler* handler = idleHandlers_.At(i);
        if (handler)
            handler->OnIdle();
    }
    return FALSE;
}

BOOL CMessageLoop::IsIdleMessage(const MSG* message)
{
    switch (message->message) {
    case WM_PAINT:
    case WM_NCMOUSEMOVE:
    case kSystemTimerMessage:
    case WM_MOUSEMOVE:
        return FALSE;
    default:
        return TRUE;
    }
}
