#pragma once
#include <windows.h>

class CMessageLoop;

// The process's module object: its instance handle, main thread and the message loop
// registered by each thread, looked up under one lock.
class CAppModule {
public:
    CAppModule();
    ~CAppModule();
    CAppModule(const CAppModule&) = delete;
    CAppModule& operator=(const CAppModule&) = delete;

    // S_OK, or E_OUTOFMEMORY when the loop map cannot be allocated.
    HRESULT Init(HINSTANCE instance);
    void Term();

    // Nonzero on success; fails when memory runs out or Init has not run.
    BOOL AddMessageLoop(CMessageLoop* loop);
    // Zero when the calling thread has no loop registered.
    BOOL RemoveMessageLoop();
    CMessageLoop* GetMessageLoop(DWORD threadId = GetCurrentThreadId()) const;

    HINSTANCE GetModuleInstance() const { return instance_; }
    HINSTANCE GetResourceInstance() const { return instance_; }
    DWORD GetMainThreadId() const { return mainThreadId_; }

private:
    HINSTANCE instance_;
    mutable CRITICAL_SECTION lock_;
    int lockValid_ = 0;
    DWORD mainThreadId_ = 0;
    // Parallel arrays of thread identifiers and loops; the loops are not owned.
    DWORD* loopThreads_ = nullptr;
    CMessageLoop** loops_ = nullptr;
    int loopCount_ = 0;
    int loopCapacity_ = 0;
};

extern CAppModule appModule;
