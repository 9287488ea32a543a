// Plays the user for in-process dialog tests: while a modal run goes on, a
// thread timer finds every dialog this thread shows (one with controls: the
// message or About box), records what a user would see, and clicks its OK.
// Dialogs still open after the deadline are cancelled, so a broken run ends
// the test instead of hanging it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct SeenDialog {
    std::string caption;
    std::string messageText;          // control 1000, as ANSI text; empty if none
    std::vector<std::string> statics; // texts of the static controls, in order
    RECT rect;
    bool topmost;
    bool active;
    int focusId;                      // control id of the focus, -1 if outside
    HWND owner;
    bool ownerEnabled;
    bool ownerIconic;
};

class DialogWatcher {
public:
    explicit DialogWatcher(DWORD deadlineMs = 15000);
    ~DialogWatcher();
    DialogWatcher(const DialogWatcher&) = delete;
    DialogWatcher& operator=(const DialogWatcher&) = delete;

    const std::vector<SeenDialog>& seen() const;
    bool timedOut() const;
};
