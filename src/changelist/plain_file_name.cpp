#include "changelist/plain_file_name.h"

#include <cstring>

#include "platform/ansi_text.h"

namespace {

bool IsRefusedByte(unsigned char byte) {
    return byte < 0x20 || std::strchr("\\/:*?\"<>|", byte) != nullptr;
}

// The part before the first dot, without the spaces Windows ignores before
// it, is what the system matches against its device names.
bool IsDeviceName(const std::string& name) {
    std::string base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    for (char& c : base) c = UpperAscii(c);
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* device : kDevices) {
        if (base == device) return true;
    }
    return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
           base[3] >= '0' && base[3] <= '9';
}

}  // namespace

bool IsPlainFileName(const std::string& name) {
    if (name.empty()) return false;
    bool onlyDotsAndSpaces = true;
    for (size_t i = 0; i < name.size(); i = NextCharacter(name, i)) {
        const unsigned char byte = static_cast<unsigned char>(name[i]);
        if (byte != '.' && byte != ' ') onlyDotsAndSpaces = false;
        if (NextCharacter(name, i) == i + 1 && IsRefusedByte(byte)) return false;
    }
    return !onlyDotsAndSpaces && !IsDeviceName(name);
}
