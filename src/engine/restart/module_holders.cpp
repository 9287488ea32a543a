#include "engine/restart/module_holders.h"

#include <windows.h>
#include <restartmanager.h>

#include "log/debug_log.h"
#include "platform/os_calls.h"
#include "platform/scoped_handle.h"
#include "platform/system_library.h"

namespace {

const UINT kMostHolders = 8;

}  // namespace

void LogModuleHolders(const std::string& path) {
    ScopedLibrary library(LoadSystemLibrary("rstrtmgr.dll"));
    if (!library.IsValid()) return;
    const auto start = FindFunction<decltype(&::RmStartSession)>(library.Get(), "RmStartSession");
    const auto add = FindFunction<decltype(&::RmRegisterResources)>(library.Get(), "RmRegisterResources");
    const auto list = FindFunction<decltype(&::RmGetList)>(library.Get(), "RmGetList");
    const auto end = FindFunction<decltype(&::RmEndSession)>(library.Get(), "RmEndSession");
    if (!start || !add || !list || !end) return;

    WCHAR wide[MAX_PATH];
    if (g_os.MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH) <= 0) return;
    DWORD session = 0;
    WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
    if (start(&session, 0, key) != ERROR_SUCCESS) return;
    LPCWSTR files[] = {wide};
    if (add(session, 1, files, 0, nullptr, 0, nullptr) == ERROR_SUCCESS) {
        UINT needed = 0, count = 0;
        DWORD reasons = 0;
        ScopedLocal buffer;
        DWORD result = list(session, &needed, &count, nullptr, &reasons);
        if (result == ERROR_MORE_DATA) {
            // Room for a few that start holding it between the two calls.
            count = needed + 4;
            buffer.Reset(g_os.LocalAlloc(LMEM_FIXED, count * sizeof(RM_PROCESS_INFO)));
            result = buffer.IsValid() ? list(session, &needed, &count, static_cast<RM_PROCESS_INFO*>(buffer.Get()),
                                             &reasons)
                                      : ERROR_NOT_ENOUGH_MEMORY;
        }
        const RM_PROCESS_INFO* holders = static_cast<const RM_PROCESS_INFO*>(buffer.Get());
        for (UINT i = 0; result == ERROR_SUCCESS && holders && i < count && i < kMostHolders; ++i) {
            char name[CCH_RM_MAX_APP_NAME + 1];
            if (g_os.WideCharToMultiByte(CP_ACP, 0, holders[i].strAppName, -1, name, sizeof name, nullptr,
                                         nullptr) <= 0) {
                name[0] = '\0';
            }
            DebugLog("CopyTargetFile - In use by %s (%lu).\r\n", name,
                     static_cast<unsigned long>(holders[i].Process.dwProcessId));
        }
    }
    end(session);
}
