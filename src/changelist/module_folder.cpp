#include "changelist/module_folder.h"

#include "changelist/text_case.h"

std::string ModuleFolder(const std::string& modulePath) {
    size_t end = (modulePath.size() >= 2 && modulePath[1] == ':') ? 2 : 0;
    for (size_t i = 0; i < modulePath.size(); ++i) {
        const unsigned char byte = static_cast<unsigned char>(modulePath[i]);
        if (IsAnsiLeadByte(byte)) {
            ++i;
        } else if (byte == '\\' || byte == '/') {
            end = i + 1;
        }
    }
    return modulePath.substr(0, end);
}
