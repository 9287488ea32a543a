#include "engine/local/protected_module.h"

#include "platform/os_calls.h"
#include "platform/system_library.h"

bool ProtectionCheck::IsProtected(const std::string& path) {
    if (!m_loaded) {
        m_loaded = true;
        // Its own imports (sfc_os.dll) come from the system folder too.
        m_library.Reset(LoadSystemLibrary("sfc.dll"));
        if (m_library.IsValid()) {
            m_isProtected = FindFunction<SfcIsFileProtectedFn>(m_library.Get(), "SfcIsFileProtected");
        }
    }
    if (!m_isProtected) return false;

    const int size = g_os.MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
    if (size <= 0) return false;
    std::wstring wide(static_cast<size_t>(size), L'\0');
    if (g_os.MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &wide[0], size) != size) {
        return false;
    }
    return m_isProtected(nullptr, wide.c_str()) != FALSE;
}

void ProtectionCheck::Release() {
    m_isProtected = nullptr;
    m_library.Reset();
    m_loaded = false;
}
