#pragma once
#include <windows.h>

#include "app/pointer_array.h"

class CMessageFilter {
public:
    // Nonzero when the filter consumed the message.
    virtual BOOL PreTranslateMessage(MSG* message) = 0;

protected:
    ~CMessageFilter() = default;
};

class CIdleHandler {
public:
    // The loop ignores the result.
    virtual BOOL OnIdle() = 0;

protected:
    ~CIdleHandler() = default;
};

// The program's one message loop: offers each message to the filters, runs the idle
// handlers once per idle period, and ends with the quit message's code.
class CMessageLoop {
public:
    virtual ~CMessageLoop() = default;

    BOOL AddMessageFilter(CMessageFilter* filter) { return filters_.Add(filter); }
    BOOL RemoveMessageFilter(CMessageFilter* filter) { return filters_.Remove(filter); }
    BOOL AddIdleHandler(CIdleHandler* handler) { return idleHandlers_.Add(handler); }
    BOOL RemoveIdleHandler(CIdleHandler* handler) { return idleHandlers_.Remove(handler); }

    int Run();

    // From the filter added last to the first; nonzero at the first that consumes it.
    virtual BOOL PreTranslateMessage(MSG* message);
    // Every idle handler from the first added to the last; always 0.
    virtual BOOL OnIdle(int idleCount);

    // Zero for the frequent messages that must not re-arm idle processing.
    static BOOL IsIdleMessage(const MSG* message);

private:
    PointerArray<CMessageFilter> filters_;
    PointerArray<CIdleHandler> idleHandlers_;
    MSG message_ = {};
};
