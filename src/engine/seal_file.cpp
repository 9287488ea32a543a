#include "engine/seal_file.h"

#include <algorithm>

#include "engine/plain_file_name.h"

namespace {

const size_t kDigestDigits = 64;

bool ReadLine(const std::string& line, const NameRules& rules, SealLine* out) {
    if (line.size() <= kDigestDigits + 2 || line[kDigestDigits] != ' ' ||
        (line[kDigestDigits + 1] != ' ' && line[kDigestDigits + 1] != '*')) {
        return false;
    }
    if (!ParseDigestHex(line.c_str(), &out->digest)) return false;
    out->name = line.substr(kDigestDigits + 2);
    // Not even after a lead byte: a CR there could not be told from the line
    // end, and no code page has a control byte as a trail byte.
    for (const char c : out->name) {
        if (static_cast<unsigned char>(c) < 0x20) return false;
    }
    if (!IsPlainFileName(out->name, rules.isLeadByte)) return false;
    out->key = out->name;
    rules.upperCase(out->key);
    return true;
}

}  // namespace

int ReadSeal(const std::string& text, const NameRules& rules, std::vector<SealLine>* lines) {
    lines->clear();
    if (text.size() > kMaxSealSize) return 0;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        size_t length = end - start;
        if (length > 0 && text[end - 1] == '\r') --length;
        if (length > 0) {
            SealLine line;
            if (!ReadLine(text.substr(start, length), rules, &line)) return 0;
            lines->push_back(std::move(line));
        }
        start = end + 1;
    }
    std::vector<const std::string*> keys;
    keys.reserve(lines->size());
    for (const SealLine& line : *lines) keys.push_back(&line.key);
    std::sort(keys.begin(), keys.end(), [](const std::string* a, const std::string* b) { return *a < *b; });
    for (size_t i = 1; i < keys.size(); ++i) {
        if (*keys[i] == *keys[i - 1]) return 0;
    }
    return 1;
}

std::string SealLineText(const Sha256Digest& digest, const std::string& name) {
    return DigestHex(digest) + "  " + name + "\n";
}
