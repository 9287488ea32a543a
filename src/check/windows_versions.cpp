#include "check/windows_versions.h"

#include "platform/ansi_text.h"

const std::vector<WindowsVersion>& KnownWindows() {
    static const std::vector<WindowsVersion> kWindows = {
        {"95", "Windows 95", 1, 4, 0},
        {"98", "Windows 98", 1, 4, 10},
        {"98SE", "Windows 98 Second Edition", 1, 4, 10},
        {"ME", "Windows Me", 1, 4, 90},
        {"NT351", "Windows NT 3.51", 2, 3, 51},
        {"NT4", "Windows NT 4.0", 2, 4, 0},
        {"2000", "Windows 2000", 2, 5, 0},
        {"XP", "Windows XP", 2, 5, 1},
        {"XP64", "Windows XP Professional x64", 2, 5, 2},
        {"2003", "Windows Server 2003", 2, 5, 2},
        {"VISTA", "Windows Vista", 2, 6, 0},
        {"2008", "Windows Server 2008", 2, 6, 0},
        {"7", "Windows 7", 2, 6, 1},
        {"2008R2", "Windows Server 2008 R2", 2, 6, 1},
        {"8", "Windows 8", 2, 6, 2},
        {"2012", "Windows Server 2012", 2, 6, 2},
        {"8.1", "Windows 8.1", 2, 6, 3},
        {"2012R2", "Windows Server 2012 R2", 2, 6, 3},
        {"10", "Windows 10", 2, 10, 0},
        {"2016", "Windows Server 2016", 2, 10, 0},
        {"2019", "Windows Server 2019", 2, 10, 0},
        {"2022", "Windows Server 2022", 2, 10, 0},
        {"11", "Windows 11", 2, 10, 0},
        {"2025", "Windows Server 2025", 2, 10, 0},
    };
    return kWindows;
}

const WindowsVersion* FindWindows(const std::string& name) {
    for (const WindowsVersion& windows : KnownWindows()) {
        if (EqualsIgnoringAsciiCase(name, windows.name)) return &windows;
    }
    return nullptr;
}
