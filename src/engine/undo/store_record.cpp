#include "engine/undo/store_record.h"

#include "platform/ansi_text.h"

namespace {

const size_t kHexLength = 2 * sizeof(Sha256Digest);

}  // namespace

void PackageIdentity::Add(const std::string& name, const Sha256Digest* digest) {
    static const Sha256Digest kNone = {};
    m_hash.Update(name.data(), name.size() + 1);  // with its NUL
    m_hash.Update((digest ? *digest : kNone).data(), sizeof(Sha256Digest));
}

Sha256Digest RecordKey(const Sha256Digest& package, const std::string& name) {
    Sha256 hash;
    hash.Update(package.data(), package.size());
    hash.Update(name.data(), name.size());
    return hash.Final();
}

size_t RecordFolder(const Sha256Digest& key) { return key[0] >> 4; }

std::string RecordPrefix(const Sha256Digest& key) { return DigestHex(key) + "."; }

size_t LegacyFolderIndex(const std::string& name, const Sha256Digest& incoming) {
    unsigned sum = incoming[0];
    for (const char c : name) sum += static_cast<unsigned char>(UpperAscii(c));
    return sum % kStoreFolders;
}

std::string LegacyPrefix(const std::string& name, const Sha256Digest& incoming) {
    return name + "." + DigestHex(incoming) + ".";
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

bool ParseStoreRecord(const std::string& fileName, Sha256Digest* old) {
    // KEY.OLD, or NAME.NEW.OLD with at least one byte of NAME.
    const size_t size = fileName.size();
    Sha256Digest ignored;
    if (size < 2 * kHexLength + 1 || fileName[size - kHexLength - 1] != '.' ||
        !ParseDigestHex(fileName.c_str() + size - kHexLength, old) ||
        !ParseDigestHex(fileName.c_str() + size - 2 * kHexLength - 1, &ignored)) {
        return false;
    }
    return size == 2 * kHexLength + 1 || (size > 2 * kHexLength + 2 && fileName[size - 2 * kHexLength - 2] == '.');
}

void RecordListing::Drop(const std::string& name) {
    const size_t at = m_names.find("\n" + name + "\n");
    if (at != std::string::npos) m_names.erase(at, name.size() + 1);
}

bool RecordListing::Has(const std::string& name) const {
    return m_names.find("\n" + name + "\n") != std::string::npos;
}

size_t RecordListing::CountRecords(const std::string& prefix) const {
    size_t count = 0;
    const std::string start = "\n" + prefix;
    for (size_t at = m_names.find(start); at != std::string::npos; at = m_names.find(start, at + 1)) {
        Sha256Digest old;
        const size_t end = m_names.find('\n', at + 1);
        if (end - at - 1 == prefix.size() + kHexLength && ParseDigestHex(m_names.c_str() + at + start.size(), &old)) {
            ++count;
        }
    }
    return count;
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
