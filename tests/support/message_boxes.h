#pragma once
#include <windows.h>

#include <string>
#include <vector>

// The message boxes this thread shows while a watch is alive, seen as each one activates
// and closed with OK at once, so a test can run code that reports to the user.
struct SeenBox {
    std::wstring caption;
    std::wstring text;
    HWND owner;
};

class MessageBoxWatch {
public:
    MessageBoxWatch();
    ~MessageBoxWatch();
    MessageBoxWatch(const MessageBoxWatch&) = delete;
    MessageBoxWatch& operator=(const MessageBoxWatch&) = delete;

    std::vector<SeenBox> boxes;

private:
    HHOOK hook_;
};

// A top-level window standing in for the main dialog as the owner of the reports.
class StandInMainWindow {
public:
    StandInMainWindow();
    ~StandInMainWindow();
    HWND window;
};
