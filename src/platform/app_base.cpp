#include "platform/app_base.h"

#include "platform/dialog_base.h"

namespace {
AppBase* g_currentApp = nullptr;
}  // namespace

std::string InstanceNameFromModulePath(const std::string& modulePath) {
    const size_t nameStart = modulePath.find_last_of("\\/:");
    const size_t first = nameStart == std::string::npos ? 0 : nameStart + 1;
    size_t end = modulePath.rfind('.');
    // Without this check a path with no '.' at all would have nothing to cut,
    // and one like "C:\\A.B\\QMXSET" would be cut inside the folder name.
    if (end == std::string::npos || end < first) end = modulePath.size();
    return modulePath.substr(first, end - first);
}

AppBase::AppBase() : m_hInstance(nullptr), m_pMainWnd(nullptr), m_exitCode(0) {
    g_currentApp = this;
}

AppBase::~AppBase() {
    if (g_currentApp == this) g_currentApp = nullptr;
}

AppBase* AppBase::Current() { return g_currentApp; }

int AppBase::Run(HINSTANCE hInstance) {
    m_hInstance = hInstance;
    char path[MAX_PATH + 1] = {};
    const DWORD length = ::GetModuleFileNameA(hInstance, path, MAX_PATH);
    m_exeName = InstanceNameFromModulePath(std::string(path, length < MAX_PATH ? length : MAX_PATH));

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

bool AppBase::OnCmdMsg(UINT) { return false; }

HINSTANCE AppBase::ResourceHandle() const {
    return m_hInstance ? m_hInstance : ::GetModuleHandleA(nullptr);
}

HWND AppBase::MainWindowHandle() const { return m_pMainWnd ? m_pMainWnd->GetSafeHwnd() : nullptr; }
