#include "platform/program_path.h"

#include "platform/ansi_text.h"
#include "platform/os_calls.h"

std::string ProgramPath() {
    char path[MAX_PATH + 1] = {};
    // A full buffer means the path was cut (and, before Vista, left without
    // its terminator).
    const DWORD length = g_os.GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return std::string();
    return std::string(path, length);
}

std::string ProgramFolder() {
    std::string folder = ModuleFolder(ProgramPath());
    if (EndsWithSeparator(folder)) folder.pop_back();
    return folder;
}
