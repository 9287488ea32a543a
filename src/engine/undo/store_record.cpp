#include "engine/undo/store_record.h"

#include "platform/ansi_text.h"

namespace {

const size_t kHexLength = 2 * sizeof(Sha256Digest);

}  // namespace

size_t StoreFolderIndex(const std::string& name, const Sha256Digest& incoming) {
    unsigned sum = incoming[0];
    for (const char c : name) sum += static_cast<unsigned char>(UpperAscii(c));
    return sum % kStoreFolders;
}

bool StoreFolderOf(const char* name, size_t* index) {
    if (name[0] == '\0' || name[1] != '\0') return false;
    for (size_t digit = 0; digit < kStoreFolders; ++digit) {
        if (kStoreFolderDigits[digit] == name[0] || UpperAscii(kStoreFolderDigits[digit]) == name[0]) {
            *index = digit;
            return true;
        }
    }
    return false;
}

std::string RecordPrefix(const std::string& name, const Sha256Digest& incoming) {
    return name + "." + DigestHex(incoming) + ".";
}

bool ParseStoreRecord(const std::string& fileName, StoreRecord* record) {
    // NAME, a dot, NEW, a dot, OLD: NAME has at least one byte.
    const size_t size = fileName.size();
    if (size < 2 * kHexLength + 3) return false;
    const size_t oldAt = size - kHexLength, newAt = oldAt - kHexLength - 1;
    if (fileName[oldAt - 1] != '.' || fileName[newAt - 1] != '.' ||
        !ParseDigestHex(fileName.c_str() + newAt, &record->incoming) ||
        !ParseDigestHex(fileName.c_str() + oldAt, &record->old)) {
        return false;
    }
    record->name = fileName.substr(0, newAt - 1);
    return true;
}

void RecordListing::Drop(const std::string& name) {
    const size_t at = m_names.find("\n" + name + "\n");
    if (at != std::string::npos) m_names.erase(at, name.size() + 1);
}

bool RecordListing::Has(const std::string& name) const {
    return m_names.find("\n" + name + "\n") != std::string::npos;
}

std::string RecordListing::FirstRecord(const std::string& prefix, Sha256Digest* old) const {
    const std::string start = "\n" + prefix;
    for (size_t at = m_names.find(start); at != std::string::npos; at = m_names.find(start, at + 1)) {
        const size_t end = m_names.find('\n', at + 1);
        if (end - at - 1 == prefix.size() + kHexLength && ParseDigestHex(m_names.c_str() + at + start.size(), old)) {
            return m_names.substr(at + 1, end - at - 1);
        }
    }
    return std::string();
}
