// The message loop, its filters and idle handlers, and the module's loop map.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "app/app_module.h"
#include "app/message_loop.h"

namespace {

std::string journal;

class Filter : public CMessageFilter {
public:
    Filter(char name, BOOL consumes) : name_(name), consumes_(consumes) {}
    BOOL PreTranslateMessage(MSG*) override
    {
        journal += name_;
        return consumes_;
    }

private:
    char name_;
    BOOL consumes_;
};

class Idle : public CIdleHandler {
public:
    explicit Idle(char name) : name_(name) {}
    BOOL OnIdle() override
    {
        journal += name_;
        return TRUE;
    }

private:
    char name_;
};

TEST(MessageLoop, FiltersRunFromTheLastAddedAndTheFirstConsumerEndsTheWalk)
{
    CMessageLoop loop;
    Filter a('a', FALSE), b('b', TRUE), c('c', FALSE);
    loop.AddMessageFilter(&a);
    loop.AddMessageFilter(&b);
    loop.AddMessageFilter(&c);
    MSG message = {};

    journal.clear();
    EXPECT_TRUE(loop.PreTranslateMessage(&message));
    EXPECT_EQ("cb", journal);

    EXPECT_TRUE(loop.RemoveMessageFilter(&b));
    EXPECT_FALSE(loop.RemoveMessageFilter(&b));
    journal.clear();
    EXPECT_FALSE(loop.PreTranslateMessage(&message));
    EXPECT_EQ("ca", journal);
}

TEST(MessageLoop, IdleHandlersRunInOrderAndTheLoopAsksForNoMore)
{
    CMessageLoop loop;
    Idle x('x'), y('y');
    loop.AddIdleHandler(&x);
    loop.AddIdleHandler(&y);
    journal.clear();
    EXPECT_FALSE(loop.OnIdle(0));
    EXPECT_EQ("xy", journal);
    loop.RemoveIdleHandler(&x);
    journal.clear();
    loop.OnIdle(1);
    EXPECT_EQ("y", journal);
}

TEST(MessageLoop, FrequentMessagesDoNotReArmIdleProcessing)
{
    const UINT quiet[] = {WM_PAINT, WM_NCMOUSEMOVE, 0x0118, WM_MOUSEMOVE};
    for (UINT number : quiet) {
        MSG message = {};
        message.message = number;
        EXPECT_FALSE(CMessageLoop::IsIdleMessage(&message)) << number;
    }
    const UINT others[] = {WM_NULL, WM_KEYDOWN, WM_TIMER, WM_LBUTTONDOWN, WM_COMMAND, WM_APP};
    for (UINT number : others) {
        MSG message = {};
        message.message = number;
        EXPECT_TRUE(CMessageLoop::IsIdleMessage(&message)) << number;
    }
}

TEST(MessageLoop, RunEndsWithTheQuitCodeAfterIdlingOncePerIdlePeriod)
{
    CMessageLoop loop;
    Idle idle('i');
    Filter eatsAppMessages('f', FALSE);
    loop.AddIdleHandler(&idle);
    loop.AddMessageFilter(&eatsAppMessages);
    journal.clear();
    // A waiting message goes first; it re-arms idling, which runs once before the quit.
    PostThreadMessageW(GetCurrentThreadId(), WM_APP, 0, 0);
    std::thread quitter([thread = GetCurrentThreadId()] {
        Sleep(200);
        PostThreadMessageW(thread, WM_QUIT, 7, 0);
    });
    EXPECT_EQ(7, loop.Run());
    quitter.join();
    EXPECT_EQ("fi", journal);
}

TEST(AppModule, EachThreadFindsOnlyItsOwnLoop)
{
    CAppModule module;
    ASSERT_EQ(S_OK, module.Init(nullptr));
    EXPECT_NE(nullptr, module.GetModuleInstance());
    EXPECT_EQ(GetCurrentThreadId(), module.GetMainThreadId());
    EXPECT_FALSE(module.RemoveMessageLoop());

    CMessageLoop mine, theirs;
    ASSERT_TRUE(module.AddMessageLoop(&mine));
    std::thread other([&] {
        EXPECT_EQ(nullptr, module.GetMessageLoop());
        EXPECT_TRUE(module.AddMessageLoop(&theirs));
        EXPECT_EQ(&theirs, module.GetMessageLoop());
        EXPECT_TRUE(module.RemoveMessageLoop());
    });
    other.join();
    EXPECT_EQ(&mine, module.GetMessageLoop());
    EXPECT_EQ(nullptr, module.GetMessageLoop(GetCurrentThreadId() + 1));
    EXPECT_TRUE(module.RemoveMessageLoop());
    EXPECT_EQ(nullptr, module.GetMessageLoop());

    // Many loops grow the map; all stay findable.
    CMessageLoop many[9];
    for (CMessageLoop& loop : many)
        EXPECT_TRUE(module.AddMessageLoop(&loop));
    EXPECT_EQ(&many[0], module.GetMessageLoop());
    module.Term();
    EXPECT_EQ(nullptr, module.GetMessageLoop());
    EXPECT_FALSE(module.AddMessageLoop(&mine));
}

} // namespace
