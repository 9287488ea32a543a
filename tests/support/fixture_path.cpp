#include "support/fixture_path.h"

#include <windows.h>

std::string FixturePath(const std::string& name) {
    char exe[MAX_PATH];
    const std::string path(exe, ::GetModuleFileNameA(nullptr, exe, MAX_PATH));
    return path.substr(0, path.rfind('\\')) + "\\fixtures\\" + name;
}
