#include "engine/local/module_file_machine.h"

#include <windows.h>

#include "platform/os_calls.h"
#include "platform/scoped_handle.h"

namespace {

class FileBytes : public ModuleBytes {
public:
    explicit FileBytes(HANDLE file) : m_file(file) {}

    bool ReadAt(uint64_t offset, size_t length, std::string* out) override {
        out->clear();
        // The headers are read from where a fresh handle stands: the gate
        // reads two files a listed module, and each call costs.
        if (offset != m_position) {
            LONG high = static_cast<LONG>(offset >> 32);
            if (g_os.SetFilePointer(m_file, static_cast<LONG>(offset & 0xFFFFFFFF), &high, FILE_BEGIN) ==
                    INVALID_SET_FILE_POINTER &&
                g_os.GetLastError() != NO_ERROR) {
                return false;
            }
        }
        out->resize(length);
        DWORD read = 0;
        // Unknown until the next seek: a failed read may have moved it.
        m_position = ~uint64_t(0);
        if (!g_os.ReadFile(m_file, &(*out)[0], static_cast<DWORD>(length), &read, nullptr)) return false;
        out->resize(read);
        m_position = offset + read;
        return true;
    }

private:
    HANDLE m_file;
    uint64_t m_position = 0;
};

}  // namespace

ModuleMachine MachineOfFile(const std::string& path) {
    // Opened as the digest opens it, which reads a module in use, and which
    // 95/98 accept (they refuse FILE_SHARE_DELETE).
    ScopedFile file(g_os.CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) return ModuleMachine();
    return MachineOfOpenFile(file.Get());
}

ModuleMachine MachineOfOpenFile(void* file) {
    FileBytes bytes(file);
    return ReadModuleMachine(bytes);
}
