#include "app/app_module.h"

#include <stdlib.h>

extern "C" IMAGE_DOS_HEADER __ImageBase;

CAppModule appModule;

CAppModule::CAppModule() : instance_(reinterpret_cast<HINSTANCE>(&__ImageBase))
{
    InitializeCriticalSection(&lock_);
    lockValid_ = 1;
}

CAppModule::~CAppModule()
{
    Term();
}

HRESULT CAppModule::Init(HINSTANCE instance)
{
    if (instance)
        instance_ = instance;
    mainThreadId_ = GetCurrentThreadId();
    EnterCriticalSection(&lock_);
    free(loopThreads_);
    free(loops_);
    loopCount_ = 0;
    loopCapacity_ = 4;
    loopThreads_ = static_cast<DWORD*>(calloc(loopCapacity_, sizeof(DWORD)));
    loops_ = static_cast<CMessageLoop**>(calloc(loopCapacity_, sizeof(CMessageLoop*)));
    HRESULT result = S_OK;
    if (!loopThreads_ || !loops_) {
        free(loopThreads_);
        free(loops_);
        loopThreads_ = nullptr;
        loops_ = nullptr;
        loopCapacity_ = 0;
        result = E_OUTOFMEMORY;
    }
    LeaveCriticalSection(&lock_);
    return result;
}

void CAppModule::Term()
{
    if (!lockValid_)
        return;
    free(loopThreads_);
    free(loops_);
    loopThreads_ = nullptr;
    loops_ = nullptr;
    loopCount_ = 0;
    loopCapacity_ = 0;
    DeleteCriticalSection(&lock_);
    lockValid_ = 0;
}

BOOL CAppModule::AddMessageLoop(CMessageLoop* loop)
{
    if (!lockValid_)
        return FALSE;
    EnterCriticalSection(&lock_);
    BOOL added = FALSE;
    if (loops_) {
        if (loopCount_ == loopCapacity_) {
            int capacity = loopCapacity_ * 2;
            DWORD* threads = static_cast<DWORD*>(realloc(loopThreads_, sizeof(DWORD) * capacity));
            if (threads)
                loopThreads_ = threads;
            CMessageLoop** loops = static_cast<CMessageLoop**>(realloc(loops_, sizeof(CMessageLoop*) * capacity));
            if (loops)
                loops_ = loops;
            if (threads && loops)
                loopCapacity_ = capacity;
        }
        if (loopCount_ < loopCapacity_) {
            loopThreads_[loopCount_] = GetCurrentThreadId();
            loops_[loopCount_] = loop;
            ++loopCount_;
            added = TRUE;
        }
    }
    LeaveCriticalSection(&lock_);
    return added;
}

BOOL CAppModule::RemoveMessageLoop()
{
    if (!lockValid_)
        return FALSE;
    EnterCriticalSection(&lock_);
    BOOL removed = FALSE;
    const DWORD thread = GetCurrentThreadId();
    for (int i = 0; i < loopCount_; ++i) {
        if (loopThreads_[i] == thread) {
            for (int j = i + 1; j < loopCount_; ++j) {
                loopThreads_[j - 1] = loopThreads_[j];
                loops_[j - 1] = loops_[j];
            }
            --loopCount_;
            removed = TRUE;
            break;
        }
    }
    LeaveCriticalSection(&lock_);
    return removed;
}

CMessageLoop* CAppModule::GetMessageLoop(DWORD threadId) const
{
    if (!lockValid_)
        return nullptr;
    EnterCriticalSection(&lock_);
    CMessageLoop* found = nullptr;
    for (int i = 0; i < loopCount_; ++i) {
        if (loopThreads_[i] == threadId) {
            found = loops_[i];
            break;
        }
    }
    LeaveCriticalSection(&lock_);
    return found;
}
