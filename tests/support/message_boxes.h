#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// The message boxes this thread shows while a watch is alive, seen as each one activates
// and closed with OK at once, so a test can run code that reports to the user.
struct SeenBox {
    std::wstring caption;
    std::wstring text;
    HWND owner;
    // Both OK and Cancel are offered: every report of the program asks with both.
    bool okAndCancel;
};

// Any other dialog that activates while the watch is alive (the LPT dialog, Add Port, a
// monitor's own window) is handed to onDialog from inside its modal loop, once it is shown;
// the handler drives it and must close it. Without a handler it is closed with Cancel.
class MessageBoxWatch {
public:
    MessageBoxWatch();
    ~MessageBoxWatch();
    MessageBoxWatch(const MessageBoxWatch&) = delete;
    MessageBoxWatch& operator=(const MessageBoxWatch&) = delete;

    std::vector<SeenBox> boxes;
    std::function<void(HWND dialog)> onDialog;
    std::vector<HWND> dialogs;

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
