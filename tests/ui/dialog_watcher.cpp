#include "ui/dialog_watcher.h"

#include <algorithm>

namespace {

struct WatchState {
    UINT_PTR timer = 0;
    DWORD deadline = 0;
    bool timedOut = false;
    std::vector<HWND> handled;
    std::vector<SeenDialog> seen;
};

WatchState* g_state = nullptr;

std::string Text(HWND window) {
    char text[1024] = {};
    ::GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string ClassOf(HWND window) {
    char name[64] = {};
    ::GetClassNameA(window, name, sizeof name);
    return name;
}

SeenDialog Record(HWND dialog) {
    SeenDialog seen = {};
    seen.caption = Text(dialog);
    if (HWND message = ::GetDlgItem(dialog, 1000)) seen.messageText = Text(message);
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (ClassOf(child) == "Static" && (::GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) {
            seen.statics.push_back(Text(child));
        }
    }
    ::GetWindowRect(dialog, &seen.rect);
    seen.topmost = (::GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    seen.active = ::GetActiveWindow() == dialog;
    HWND focus = ::GetFocus();
    seen.focusId = focus && ::GetParent(focus) == dialog ? ::GetDlgCtrlID(focus) : -1;
    seen.owner = ::GetWindow(dialog, GW_OWNER);
    seen.ownerEnabled = seen.owner && ::IsWindowEnabled(seen.owner);
    seen.ownerIconic = seen.owner && ::IsIconic(seen.owner);
    return seen;
}

BOOL CALLBACK Visit(HWND window, LPARAM) {
    WatchState& state = *g_state;
    if (!::IsWindowVisible(window) || ClassOf(window) != "#32770") return TRUE;
    const bool late = ::GetTickCount() > state.deadline;
    if (late) {
        state.timedOut = true;
        ::PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
        return TRUE;
    }
    // The installer dialog has no controls, and waits for the run's end.
    if (!::GetWindow(window, GW_CHILD) || !::IsWindowEnabled(window)) return TRUE;
    if (std::find(state.handled.begin(), state.handled.end(), window) != state.handled.end()) {
        return TRUE;
    }
    state.handled.push_back(window);
    state.seen.push_back(Record(window));
    ::PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return TRUE;
}

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    if (g_state) ::EnumThreadWindows(::GetCurrentThreadId(), &Visit, 0);
}

}  // namespace

DialogWatcher::DialogWatcher(DWORD deadlineMs) {
    g_state = new WatchState;
    g_state->deadline = ::GetTickCount() + deadlineMs;
    g_state->timer = ::SetTimer(nullptr, 0, 25, &Tick);
}

DialogWatcher::~DialogWatcher() {
    ::KillTimer(nullptr, g_state->timer);
    delete g_state;
    g_state = nullptr;
}

const std::vector<SeenDialog>& DialogWatcher::seen() const { return g_state->seen; }

bool DialogWatcher::timedOut() const { return g_state->timedOut; }
