// qmx_driver: drives a Win32 program from outside, the way a user would, and
// prints what it sees. The end-to-end tests of QMXSET.EXE run it under Wine.
//
// Usage: qmx_driver COMMAND [ARGS]... [COMMAND [ARGS]...]...
// Commands run in order; the first failure prints "FAIL: ..." and ends the
// driver with status 1. Facts go to standard output as name=value lines,
// texts in UTF-8 with CR and LF written as \r and \n.
//
//   hold PATH                 keep PATH open (read access, read and write
//                             sharing) until the driver ends, so only an
//                             exclusive open of it fails
//   hold-as PATH ACCESS SHARE as hold, with the access and the sharing given
//                             as letters: r read, w write, - none; "r -"
//                             lets no one else open PATH at all
//   start EXE                 start EXE in its own folder; it becomes "the
//                             process" of the commands below
//   start-with EXE ARGS       as start, with ARGS (one text) after the name
//   run EXE MS                start EXE and wait at most MS milliseconds for
//                             it to end; prints run.exit and run.ms
//   run-with EXE ARGS MS      as run, with ARGS after the name
//   watch MS                  watches the process's top-level windows until
//                             it ends or MS milliseconds pass, both by
//                             polling and by the system's show events;
//                             prints watch.windows (every top-level window
//                             seen, shown or not), watch.visible (those seen
//                             visible or reported shown), watch.first (class
//                             and caption of the first visible one) and
//                             watch.ended
//   find NAME CAPTION CHILD   wait for a visible top-level dialog of the
//                             process with that caption; CHILD is a control
//                             id it must contain, "none" for a dialog without
//                             controls, or "any"; remembers it as NAME
//   dump NAME                 prints the window's facts (see Dump)
//   syscommand NAME ID        posts WM_SYSCOMMAND ID (hex or decimal)
//   press NAME ID             clicks the button ID of the dialog
//   gone NAME                 waits until the window has been destroyed
//   wait-exit                 waits for the process to end; prints exit
//   await-exit MS             as wait-exit, waiting at most MS milliseconds
//                             (a person pressing OK takes longer)
//   shot NAME|desktop FILE    saves what the screen shows of the window (or
//                             of the whole screen) as a 24-bit BMP file
//   sleep MS                  lets the windows settle, e.g. before a shot
//   screen                    prints screen and workarea
//   short PATH                prints short, PATH's short (8.3) form as this
//                             system gives it
//   watch-folder DIR          starts watching DIR for any file being added,
//                             removed, renamed, resized or written
//   kill-on-change MS         ends the process the moment the watched folder
//                             changes (waiting at most MS milliseconds);
//                             prints killed=1, or killed=0 when the process
//                             ended first or nothing changed in time
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

const DWORD kTimeoutMs = 20000;
const DWORD kPollMs = 50;

struct Driver {
    PROCESS_INFORMATION process = {};
    std::map<std::string, HWND> windows;
    std::vector<HANDLE> held;
    HANDLE watch = INVALID_HANDLE_VALUE;
};

// The started process, ended by Fail so that a failed test leaves nothing
// waiting for a click.
HANDLE g_started = nullptr;

[[noreturn]] void Fail(const std::string& what) {
    std::printf("FAIL: %s\n", what.c_str());
    std::fflush(stdout);
    if (g_started) ::TerminateProcess(g_started, 99);
    std::exit(1);
}

// The error code tells a harness whether the program never ran (so running
// it again is safe) and tells a reader why.
[[noreturn]] void FailToStart(const std::string& exe) {
    Fail("cannot start " + exe + " (error " + std::to_string(::GetLastError()) + ")");
}

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size,
                          nullptr, nullptr);
    return out;
}

std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else out += c;
    }
    return out;
}

std::string WindowText(HWND window) {
    const int length = ::GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int got = ::GetWindowTextW(window, &text[0], length + 1);
    text.resize(static_cast<size_t>(got > 0 ? got : 0));
    return Escaped(Utf8(text));
}

std::string ClassName(HWND window) {
    char name[256] = {};
    ::GetClassNameA(window, name, sizeof name);
    return name;
}

unsigned long ParseNumber(const std::string& text) { return std::strtoul(text.c_str(), nullptr, 0); }

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

bool StartProcess(const std::string& exe, PROCESS_INFORMATION* info,
                  const std::string& arguments = std::string()) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::string commandLine = "\"" + exe + "\"";
    if (!arguments.empty()) commandLine += " " + arguments;
    return ::CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                            FolderOf(exe).c_str(), &startup, info) != FALSE;
}

struct Search {
    DWORD pid;
    std::string caption;
    std::string child;
    HWND found;
};

bool Matches(HWND window, const Search& search) {
    if (ClassName(window) != "#32770") return false;
    if (WindowText(window) != search.caption) return false;
    if (search.child == "any") return true;
    if (search.child == "none") return ::GetWindow(window, GW_CHILD) == nullptr;
    return ::GetDlgItem(window, static_cast<int>(ParseNumber(search.child))) != nullptr;
}

BOOL CALLBACK VisitTopLevel(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    if (pid != search->pid || !::IsWindowVisible(window)) return TRUE;
    if (!search->found && Matches(window, *search)) search->found = window;
    return TRUE;
}

HWND Named(Driver& driver, const std::string& name) {
    auto it = driver.windows.find(name);
    if (it == driver.windows.end()) Fail("no window named " + name);
    return it->second;
}

void PrintRect(const std::string& label, const RECT& r) {
    std::printf("%s=%ld,%ld,%ld,%ld\n", label.c_str(), r.left, r.top, r.right, r.bottom);
}

BOOL CALLBACK PrintChild(HWND child, LPARAM param) {
    auto* state = reinterpret_cast<std::pair<std::string, int>*>(param);
    const LONG style = ::GetWindowLongA(child, GWL_STYLE);
    // An icon control's text is the icon's resource id, not text.
    const bool icon = ClassName(child) == "Static" && (style & SS_TYPEMASK) == SS_ICON;
    std::printf("%s.child.%d=%d|%s|0x%08lx|%s\n", state->first.c_str(), state->second,
                ::GetDlgCtrlID(child), ClassName(child).c_str(), static_cast<unsigned long>(style),
                icon ? "" : WindowText(child).c_str());
    if (icon) {
        const LRESULT icon = ::SendMessageA(child, STM_GETICON, 0, 0);
        std::printf("%s.child.%d.icon=%d\n", state->first.c_str(), state->second, icon ? 1 : 0);
    }
    ++state->second;
    return TRUE;
}

// Everything a test may check about one top-level window.
void Dump(const std::string& name, HWND window) {
    const char* n = name.c_str();
    RECT rect = {};
    ::GetWindowRect(window, &rect);
    const LONG style = ::GetWindowLongA(window, GWL_STYLE);
    const LONG exStyle = ::GetWindowLongA(window, GWL_EXSTYLE);
    std::printf("%s.caption=%s\n", n, WindowText(window).c_str());
    std::printf("%s.class=%s\n", n, ClassName(window).c_str());
    std::printf("%s.style=0x%08lx\n", n, static_cast<unsigned long>(style));
    std::printf("%s.exstyle=0x%08lx\n", n, static_cast<unsigned long>(exStyle));
    PrintRect(name + ".rect", rect);
    std::printf("%s.visible=%d\n", n, ::IsWindowVisible(window) ? 1 : 0);
    std::printf("%s.iconic=%d\n", n, ::IsIconic(window) ? 1 : 0);
    std::printf("%s.enabled=%d\n", n, ::IsWindowEnabled(window) ? 1 : 0);
    std::printf("%s.topmost=%d\n", n, (exStyle & WS_EX_TOPMOST) ? 1 : 0);
    std::printf("%s.owned=%d\n", n, ::GetWindow(window, GW_OWNER) ? 1 : 0);

    GUITHREADINFO gui = {};
    gui.cbSize = sizeof gui;
    const DWORD thread = ::GetWindowThreadProcessId(window, nullptr);
    if (::GetGUIThreadInfo(thread, &gui)) {
        std::printf("%s.active=%d\n", n, gui.hwndActive == window ? 1 : 0);
        const bool focusInside = gui.hwndFocus && ::GetParent(gui.hwndFocus) == window;
        std::printf("%s.focus=%d\n", n, focusInside ? ::GetDlgCtrlID(gui.hwndFocus) : -1);
    }
    std::pair<std::string, int> state(name, 0);
    ::EnumChildWindows(window, &PrintChild, reinterpret_cast<LPARAM>(&state));
    std::printf("%s.children=%d\n", n, state.second);
}

// Screen pixels inside rect, written as a bottom-up 24-bit BMP.
bool SaveScreenRect(const RECT& rect, const std::string& path) {
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) return false;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ previous = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    ::SelectObject(memory, previous);

    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    std::vector<char> pixels(stride * static_cast<DWORD>(height));
    const int lines = ::GetDIBits(memory, bitmap, 0, height, pixels.data(),
                                  reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    if (lines != height) return false;

    BITMAPFILEHEADER header = {};
    header.bfType = 0x4D42;  // "BM"
    header.bfOffBits = sizeof header + sizeof info;
    header.bfSize = header.bfOffBits + static_cast<DWORD>(pixels.size());
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool ok = std::fwrite(&header, sizeof header, 1, file) == 1 &&
                    std::fwrite(&info, sizeof info, 1, file) == 1 &&
                    std::fwrite(pixels.data(), pixels.size(), 1, file) == 1;
    return std::fclose(file) == 0 && ok;
}

void WaitExit(const Driver& driver, DWORD timeoutMs);

// What watch has seen of one process's top-level windows.
struct Watch {
    DWORD pid = 0;
    std::set<HWND> windows;
    std::set<HWND> visible;
    std::string first;
};
Watch* g_watch = nullptr;

void NoteWindow(Watch& watch, HWND window, bool shown) {
    if (::GetWindowLongA(window, GWL_STYLE) & WS_CHILD) return;
    watch.windows.insert(window);
    if (!shown || !watch.visible.insert(window).second) return;
    if (watch.first.empty()) watch.first = ClassName(window) + "|" + WindowText(window);
}

BOOL CALLBACK VisitWatched(HWND window, LPARAM param) {
    auto* watch = reinterpret_cast<Watch*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    if (pid == watch->pid) NoteWindow(*watch, window, ::IsWindowVisible(window) != FALSE);
    return TRUE;
}

// A window shown and hidden again between two polls is still reported: the
// event arrives even when the window has gone by then.
void CALLBACK OnShowEvent(HWINEVENTHOOK, DWORD, HWND window, LONG object, LONG, DWORD, DWORD) {
    if (!g_watch || !window || object != OBJID_WINDOW) return;
    if (::IsWindow(window)) {
        NoteWindow(*g_watch, window, true);
    } else if (g_watch->visible.insert(window).second && g_watch->first.empty()) {
        g_watch->first = "(gone)";
    }
}

void WatchWindows(const Driver& driver, DWORD timeoutMs) {
    Watch watch;
    watch.pid = driver.process.dwProcessId;
    g_watch = &watch;
    HWINEVENTHOOK hook = ::SetWinEventHook(EVENT_OBJECT_SHOW, EVENT_OBJECT_SHOW, nullptr,
                                           &OnShowEvent, watch.pid, 0, WINEVENT_OUTOFCONTEXT);
    bool ended = false;
    const DWORD began = ::GetTickCount();
    for (;;) {
        ::EnumWindows(&VisitWatched, reinterpret_cast<LPARAM>(&watch));
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&msg);
        if (ended || ::GetTickCount() - began >= timeoutMs) break;
        const DWORD woken =
            ::MsgWaitForMultipleObjects(1, &driver.process.hProcess, FALSE, 2, QS_ALLINPUT);
        // One more look after the end, for events still on their way.
        ended = woken == WAIT_OBJECT_0;
    }
    if (hook) ::UnhookWinEvent(hook);
    g_watch = nullptr;
    std::printf("watch.windows=%u\nwatch.visible=%u\nwatch.first=%s\nwatch.ended=%d\n",
                static_cast<unsigned>(watch.windows.size()),
                static_cast<unsigned>(watch.visible.size()), watch.first.c_str(), ended ? 1 : 0);
}

// "r", "w", "rw" or "-" as the read and write bits of an access or share mode.
DWORD ModeBits(const std::string& letters, DWORD read, DWORD write) {
    DWORD bits = 0;
    for (char c : letters) {
        if (c == 'r') bits |= read;
        else if (c == 'w') bits |= write;
        else if (c != '-') Fail("bad mode " + letters);
    }
    return bits;
}

void Hold(Driver& driver, const std::string& path, DWORD access, DWORD share) {
    HANDLE file = ::CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) Fail("cannot hold " + path);
    driver.held.push_back(file);
}

void NeedProcess(const Driver& driver) {
    if (!driver.process.hProcess) Fail("no process started");
}

// Runs the command at args[i]; returns the index of the next one.
size_t RunCommand(Driver& driver, const std::vector<std::string>& args, size_t i) {
    const std::string& command = args[i];
    auto arg = [&](size_t k) -> const std::string& {
        if (i + k >= args.size()) Fail(command + ": missing argument");
        return args[i + k];
    };

    if (command == "hold") {
        Hold(driver, arg(1), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
        return i + 2;
    }
    if (command == "hold-as") {
        Hold(driver, arg(1), ModeBits(arg(2), GENERIC_READ, GENERIC_WRITE),
             ModeBits(arg(3), FILE_SHARE_READ, FILE_SHARE_WRITE));
        return i + 4;
    }
    if (command == "start" || command == "start-with") {
        const bool with = command == "start-with";
        if (!StartProcess(arg(1), &driver.process, with ? arg(2) : std::string())) FailToStart(arg(1));
        g_started = driver.process.hProcess;
        return i + (with ? 3 : 2);
    }
    if (command == "watch") {
        NeedProcess(driver);
        WatchWindows(driver, ParseNumber(arg(1)));
        return i + 2;
    }
    if (command == "run" || command == "run-with") {
        const bool with = command == "run-with";
        const std::string& limit = arg(with ? 3 : 2);
        PROCESS_INFORMATION other = {};
        const DWORD began = ::GetTickCount();
        if (!StartProcess(arg(1), &other, with ? arg(2) : std::string())) FailToStart(arg(1));
        if (::WaitForSingleObject(other.hProcess, ParseNumber(limit)) != WAIT_OBJECT_0) {
            ::TerminateProcess(other.hProcess, 99);
            Fail("run: " + arg(1) + " did not end in time");
        }
        DWORD code = 0;
        ::GetExitCodeProcess(other.hProcess, &code);
        std::printf("run.exit=%lu\nrun.ms=%lu\n", code, ::GetTickCount() - began);
        ::CloseHandle(other.hThread);
        ::CloseHandle(other.hProcess);
        return i + (with ? 4 : 3);
    }
    if (command == "find") {
        NeedProcess(driver);
        Search search = {driver.process.dwProcessId, arg(2), arg(3), nullptr};
        for (DWORD waited = 0; !search.found; waited += kPollMs) {
            if (waited >= kTimeoutMs) Fail("find: no dialog \"" + arg(2) + "\" with " + arg(3));
            if (::WaitForSingleObject(driver.process.hProcess, kPollMs) == WAIT_OBJECT_0) {
                Fail("find: the process ended before \"" + arg(2) + "\" appeared");
            }
            ::EnumWindows(&VisitTopLevel, reinterpret_cast<LPARAM>(&search));
        }
        // A dialog becomes visible inside its initialisation, before it is placed; a
        // sent message is answered only once its thread is back in the message loop.
        DWORD_PTR ignored = 0;
        ::SendMessageTimeoutA(search.found, WM_NULL, 0, 0, SMTO_NORMAL, kTimeoutMs, &ignored);
        driver.windows[arg(1)] = search.found;
        return i + 4;
    }
    if (command == "dump") {
        Dump(arg(1), Named(driver, arg(1)));
        return i + 2;
    }
    if (command == "syscommand") {
        ::PostMessageA(Named(driver, arg(1)), WM_SYSCOMMAND, ParseNumber(arg(2)), 0);
        return i + 3;
    }
    if (command == "press") {
        HWND dialog = Named(driver, arg(1));
        const int id = static_cast<int>(ParseNumber(arg(2)));
        HWND button = ::GetDlgItem(dialog, id);
        if (!button) Fail("press: no control " + arg(2));
        ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
        return i + 3;
    }
    if (command == "gone") {
        HWND window = Named(driver, arg(1));
        for (DWORD waited = 0; ::IsWindow(window); waited += kPollMs) {
            if (waited >= kTimeoutMs) Fail("gone: " + arg(1) + " still exists");
            ::Sleep(kPollMs);
        }
        return i + 2;
    }
    if (command == "wait-exit" || command == "await-exit") {
        const bool limited = command == "await-exit";
        WaitExit(driver, limited ? ParseNumber(arg(1)) : kTimeoutMs);
        return i + (limited ? 2 : 1);
    }
    if (command == "shot") {
        RECT rect = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
        if (arg(1) != "desktop") ::GetWindowRect(Named(driver, arg(1)), &rect);
        if (!SaveScreenRect(rect, arg(2))) Fail("shot: cannot save " + arg(2));
        return i + 3;
    }
    if (command == "sleep") {
        ::Sleep(ParseNumber(arg(1)));
        return i + 2;
    }
    if (command == "screen") {
        RECT work = {};
        ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
        std::printf("screen=%d,%d\n", ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN));
        PrintRect("workarea", work);
        return i + 1;
    }
    if (command == "watch-folder") {
        driver.watch = ::FindFirstChangeNotificationA(
            arg(1).c_str(), FALSE,
            FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE |
                FILE_NOTIFY_CHANGE_ATTRIBUTES);
        if (driver.watch == INVALID_HANDLE_VALUE) Fail("watch-folder: cannot watch " + arg(1));
        return i + 2;
    }
    if (command == "kill-on-change") {
        NeedProcess(driver);
        if (driver.watch == INVALID_HANDLE_VALUE) Fail("kill-on-change: nothing watched");
        const HANDLE waits[] = {driver.watch, driver.process.hProcess};
        const DWORD woke = ::WaitForMultipleObjects(2, waits, FALSE, ParseNumber(arg(1)));
        const bool changed = woke == WAIT_OBJECT_0;
        if (changed) ::TerminateProcess(driver.process.hProcess, 99);
        ::WaitForSingleObject(driver.process.hProcess, kTimeoutMs);
        ::FindCloseChangeNotification(driver.watch);
        driver.watch = INVALID_HANDLE_VALUE;
        std::printf("killed=%d\n", changed ? 1 : 0);
        return i + 2;
    }
    if (command == "short") {
        char buffer[MAX_PATH] = {};
        const DWORD n = ::GetShortPathNameA(arg(1).c_str(), buffer, sizeof buffer);
        if (n == 0 || n >= sizeof buffer) Fail("short: no short form of " + arg(1));
        std::printf("short=%s\n", buffer);
        return i + 2;
    }
    Fail("unknown command " + command);
}

void WaitExit(const Driver& driver, DWORD timeoutMs) {
    NeedProcess(driver);
    if (::WaitForSingleObject(driver.process.hProcess, timeoutMs) != WAIT_OBJECT_0) {
        Fail("wait-exit: the process is still running");
    }
    DWORD code = 0;
    ::GetExitCodeProcess(driver.process.hProcess, &code);
    std::printf("exit=%lu\n", code);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    Driver driver;
    for (size_t i = 0; i < args.size();) {
        i = RunCommand(driver, args, i);
        std::fflush(stdout);
    }
    std::printf("driver.done=1\n");
    for (HANDLE file : driver.held) ::CloseHandle(file);
    return 0;
}
