#include "engine/seal/seal_file.h"

#include <algorithm>

#include "changelist/plain_file_name.h"

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
    if (!IsPlainFileName(out->name)) return false;
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
    const std::vector<size_t> order = OrderByKey(*lines);
    for (size_t i = 1; i < order.size(); ++i) {
        if ((*lines)[order[i]].key == (*lines)[order[i - 1]].key) return 0;
    }
    return 1;
}

// The one ordering of the seal's lines: the reader, the check and the digests
// it vouches for all look names up through it.
std::vector<size_t> OrderByKey(const std::vector<SealLine>& lines) {
    std::vector<size_t> order(lines.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return lines[a].key < lines[b].key; });
    return order;
}

long FindByKey(const std::vector<SealLine>& lines, const std::vector<size_t>& order,
               const std::string& key) {
    const auto at = std::lower_bound(order.begin(), order.end(), key,
                                     [&](size_t i, const std::string& k) { return lines[i].key < k; });
    return at != order.end() && lines[*at].key == key ? static_cast<long>(*at) : -1;
}

std::string SealLineText(const Sha256Digest& digest, const std::string& name) {
    return DigestHex(digest) + "  " + name + "\n";
}
