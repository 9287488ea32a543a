// Start-up to message: how long a program takes from its start until its
// message dialog is on screen.
//
//   bench_startup ROUNDS [--reset FROM TO] NAME=EXE [NAME=EXE]...
//
// Each round starts every program once, in an order that turns each round,
// in its own folder. A run ends when a visible top-level window of that
// process with the caption "VAREL" and a control 1000 is found; its time is
// from just before CreateProcess until then. OK is then pressed for it
// (WM_COMMAND IDOK) and the program must end. --reset copies FROM over TO
// before every run, outside the timing, so a package that installs a file
// finds it old again. Prints one tab-separated line per program: name, runs,
// median and least milliseconds, median of the per-round ratios to the first
// program, and the text of control 1000. Exit status 1 when a program shows no such
// dialog or does not end.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_clock.h"

namespace {

const DWORD kTimeoutMs = 30000;
const int kMessageControl = 1000;

const char kDesktopSizesKey[] = "Software\\Wine\\Explorer\\Desktops";

// The desktop the programs are started on.
std::string g_desktopName;

struct Program {
    std::string name;
    std::string exe;
    std::vector<double> ms;
    std::string text;
};

struct Search {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM context) {
    Search* search = reinterpret_cast<Search*>(context);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !::IsWindowVisible(window)) return TRUE;
    char caption[16] = {};
    ::GetWindowTextA(window, caption, sizeof caption);
    if (std::strcmp(caption, "VAREL") != 0 || !::GetDlgItem(window, kMessageControl)) return TRUE;
    search->found = window;
    return FALSE;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

// Milliseconds until the message showed, or a negative value on failure.
double RunOnce(Program& program) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.lpDesktop = &g_desktopName[0];
    PROCESS_INFORMATION process = {};
    std::string commandLine = "\"" + program.exe + "\"";
    const std::string folder = FolderOf(program.exe);

    const double start = NowSeconds();
    if (!::CreateProcessA(program.exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                          folder.c_str(), &startup, &process)) {
        std::fprintf(stderr, "cannot start %s (%lu)\n", program.exe.c_str(), ::GetLastError());
        return -1;
    }
    Search search = {process.dwProcessId, nullptr};
    while (!search.found && NowSeconds() - start < kTimeoutMs / 1000.0) {
        ::EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
        if (!search.found) {
            if (::WaitForSingleObject(process.hProcess, 1) == WAIT_OBJECT_0) break;
        }
    }
    const double shown = (NowSeconds() - start) * 1000.0;

    bool ended = false;
    if (search.found) {
        char text[512] = {};
        ::GetDlgItemTextA(search.found, kMessageControl, text, sizeof text);
        program.text = text;
        ::PostMessageA(search.found, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        ended = ::WaitForSingleObject(process.hProcess, kTimeoutMs) == WAIT_OBJECT_0;
    }
    if (!ended) {
        DWORD code = 0;
        ::GetExitCodeProcess(process.hProcess, &code);
        std::fprintf(stderr, "%s: %s (exit status %lu)\n", program.name.c_str(),
                     search.found ? "did not end after OK" : "showed no message dialog", code);
        ::TerminateProcess(process.hProcess, 99);
    }
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return ended ? shown : -1;
}

// Makes a desktop of its own current for this thread, on which the
// programs then start: Wine draws it as one window of the given size (its
// virtual desktop), so no window manager is waited for when a dialog closes
// (Wine waits up to two seconds for one per window), and nothing else on the
// display gets in the way. The name is new each run, as the desktop of an
// earlier run may still be winding down on its vanished display. The size
// key is Wine's; Windows ignores it. False when there is no such desktop.
bool UseOwnDesktop() {
    // Wine hands out process ids again soon after a process ends, so the id
    // alone can name the desktop of an earlier run; the clock tells them apart.
    LARGE_INTEGER now = {};
    ::QueryPerformanceCounter(&now);
    char name[48];
    std::snprintf(name, sizeof name, "qmxbench%lu_%llx", ::GetCurrentProcessId(),
                  static_cast<unsigned long long>(now.QuadPart));
    g_desktopName = name;
    HKEY sizes = nullptr;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, kDesktopSizesKey, 0, nullptr, 0, KEY_SET_VALUE,
                          nullptr, &sizes, nullptr) == ERROR_SUCCESS) {
        static const char kSize[] = "1024x768";
        ::RegSetValueExA(sizes, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(kSize), sizeof kSize);
        ::RegCloseKey(sizes);
    }
    HDESK desktop = ::CreateDesktopA(name, nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    if (desktop && ::SetThreadDesktop(desktop)) return true;
    std::fprintf(stderr, "cannot use a desktop of its own (%lu)\n", ::GetLastError());
    return false;
}

void ForgetDesktopSize() {
    HKEY sizes = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, kDesktopSizesKey, 0, KEY_SET_VALUE, &sizes) == ERROR_SUCCESS) {
        ::RegDeleteValueA(sizes, g_desktopName.c_str());
        ::RegCloseKey(sizes);
    }
}

// Runs every round; the per-round ratios to the first program go to ratios.
bool RunRounds(int rounds, const std::string& resetFrom, const std::string& resetTo,
               std::vector<Program>& programs, std::vector<std::vector<double>>& ratios) {
    ratios.assign(programs.size(), {});
    for (int round = 0; round < rounds; ++round) {
        std::vector<double> taken(programs.size());
        for (size_t k = 0; k < programs.size(); ++k) {
            const size_t p = (round + k) % programs.size();
            if (!resetFrom.empty() && !::CopyFileA(resetFrom.c_str(), resetTo.c_str(), FALSE)) {
                std::fprintf(stderr, "cannot copy %s to %s\n", resetFrom.c_str(), resetTo.c_str());
                return false;
            }
            taken[p] = RunOnce(programs[p]);
            if (taken[p] < 0) return false;
            programs[p].ms.push_back(taken[p]);
        }
        for (size_t p = 0; p < programs.size(); ++p) ratios[p].push_back(taken[p] / taken[0]);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s ROUNDS [--reset FROM TO] NAME=EXE...\n", argv[0]);
        return 2;
    }
    const int rounds = std::atoi(argv[1]);
    std::string resetFrom;
    std::string resetTo;
    std::vector<Program> programs;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--reset" && i + 2 < argc) {
            resetFrom = argv[++i];
            resetTo = argv[++i];
            continue;
        }
        const size_t equals = arg.find('=');
        if (equals == std::string::npos) {
            std::fprintf(stderr, "not NAME=EXE: %s\n", arg.c_str());
            return 2;
        }
        programs.push_back({arg.substr(0, equals), arg.substr(equals + 1), {}, {}});
    }
    if (rounds <= 0 || programs.empty()) return 2;

    if (!UseOwnDesktop()) return 1;
    std::vector<std::vector<double>> ratios;
    const bool ran = RunRounds(rounds, resetFrom, resetTo, programs, ratios);
    ForgetDesktopSize();
    if (!ran) return 1;

    for (size_t p = 0; p < programs.size(); ++p) {
        std::string text = programs[p].text;
        for (char& c : text) {
            if (c == '\r' || c == '\n' || c == '\t') c = ' ';
        }
        const std::vector<double>& ms = programs[p].ms;
        std::printf("%s\t%d\t%.3f\t%.3f\t%.4f\t%s\n", programs[p].name.c_str(), rounds, Median(ms),
                    Least(ms), Median(ratios[p]), text.c_str());
    }
    return 0;
}
