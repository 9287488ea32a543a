// The reading logic of the change list, free of the platform: line splitting,
// comments, trimming, case and sections over the loaded bytes.
#include "changelist/change_list_file.h"

#include <cstring>
#include <limits>
#include <new>
#include <utility>

#include "platform/ansi_text.h"
#include "platform/text_case.h"

ChangeListFile::ChangeListFile() : m_size(0), m_position(0), m_loaded(0) {}

ChangeListFile::~ChangeListFile() = default;

void ChangeListFile::TakeReading(ChangeListFile& other) {
    if (!other.m_loaded || other.m_path.empty() || other.m_path != GetChangeListPath(std::string())) return;
    m_buffer = std::move(other.m_buffer);
    m_size = other.m_size;
    m_taken = true;
    other.m_size = 0;
    other.m_position = 0;
    other.m_loaded = 0;
}

bool ChangeListFile::LoadTaken() {
    if (!m_taken) return false;
    m_taken = false;
    m_position = 0;
    m_loadError = 0;
    m_loaded = 1;
    return true;
}

namespace {

// Index just past the next LF at or after from, or size when none follows.
int32_t PastNextLineFeed(const char* data, int32_t from, int32_t size) {
    const void* lf = std::memchr(data + from, '\n', static_cast<size_t>(size - from));
    if (!lf) return size;
    return static_cast<int32_t>(static_cast<const char*>(lf) - data) + 1;
}

}  // namespace

int ChangeListFile::ReadLine(std::string& text) {
    if (!m_loaded || m_position >= m_size) return 0;
    const char* data = m_buffer.get();
    // The line's bytes are found first and appended in one piece: byte by
    // byte, a long line would cost a capacity check per byte and grow its
    // text by doubling, up to twice its length.
    int32_t end = m_position;
    while (end < m_size) {
        const char byte = data[end];
        if (byte == '\n' || byte == '\r') break;
        if (byte == '/' && end + 1 < m_size && data[end + 1] == '/') break;
        ++end;
    }
    text.append(data + m_position, static_cast<size_t>(end - m_position));
    if (end >= m_size) {
        m_position = m_size;
        return 1;
    }
    m_position = end + 1;
    // A CR, or a comment, ends the line's text; the rest of it up to and
    // including the LF is dropped.
    if (data[end] != '\n') m_position = PastNextLineFeed(data, m_position, m_size);
    return 1;
}

std::string ChangeListFile::Trim(std::string text) {
    const char* const start = text.data();
    const char* const begin = SkipBlanks(start, start + text.size());
    const size_t end = static_cast<size_t>(TrimBlanksBefore(begin, start + text.size()) - start);
    // In place, so that a caller who moves its text in pays no copy.
    text.erase(end);
    text.erase(0, static_cast<size_t>(begin - start));
    return text;
}

int ChangeListFile::FindEntry(std::string& entry, std::string section) {
    std::string header;
    bool inside = section.empty();
    if (!inside) {
        header = "[" + section + "]";
        UpperCaseAnsi(header);
    }
    std::string line;
    for (;;) {
        line.clear();
        if (!ReadLine(line)) return 0;
        line = Trim(std::move(line));
        UpperCaseAnsi(line);
        if (!inside) {
            inside = line == header;
            continue;
        }
        if (line.empty()) continue;
        // Whatever it names, a bracketed line closes the section; a lone "["
        // is not bracketed and counts as an entry.
        if (line.front() == '[' && line.back() == ']') return 0;
        entry = std::move(line);
        return 1;
    }
}

int ChangeListFile::FirstFileEntry(std::string& entry, std::string fileName) {
    GetChangeListPath(fileName);
    if (!Load()) return 0;
    return FindEntry(entry, "File");
}

int ChangeListFile::NextEntry(std::string& entry) { return FindEntry(entry, std::string()); }

int ChangeListFile::IsLogOn() {
    GetChangeListPath(std::string());
    if (!Load()) return 0;
    std::string value;
    if (FindEntry(value, "Log") != 1) return 0;
    return value == "ON" ? 1 : 0;
}
