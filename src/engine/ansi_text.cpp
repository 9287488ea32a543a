#include "engine/ansi_text.h"

#include "changelist/text_case.h"

size_t NextCharacter(const std::string& text, size_t i) {
    return IsAnsiLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? i + 2 : i + 1;
}

bool EndsWithBackslash(const std::string& text) {
    size_t last = std::string::npos;
    for (size_t i = 0; i < text.size(); i = NextCharacter(text, i)) last = i;
    return last != std::string::npos && text[last] == '\\';
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    return EndsWithBackslash(folder) ? folder + name : folder + "\\" + name;
}
