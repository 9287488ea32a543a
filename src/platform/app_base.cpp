#include "platform/app_base.h"

#include "platform/ansi_text.h"
#include "platform/program_path.h"

std::string InstanceNameFromModulePath(const std::string& modulePath) {
    std::string name = NameOf(modulePath);
    if (LastSeparator(modulePath) == std::string::npos && name.size() >= 2 && name[1] == ':') name.erase(0, 2);
    // Only the file's own extension is cut: a '.' in a folder name is gone
    // with the folder.
    const size_t end = name.rfind('.');
    return end == std::string::npos ? name : name.substr(0, end);
}

AppBase::AppBase() : m_hInstance(nullptr), m_exitCode(0) {}

AppBase::~AppBase() = default;

int AppBase::Run(HINSTANCE hInstance) {
    m_hInstance = hInstance;
    m_exeName = InstanceNameFromModulePath(ProgramPath());

    if (InitInstance()) {
        MSG msg;
        while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
    }
    return m_exitCode;
}

BOOL AppBase::InitInstance() { return FALSE; }
