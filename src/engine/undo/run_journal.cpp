#include "engine/undo/run_journal.h"

#include "platform/ansi_text.h"
#include "platform/file_search.h"
#include "platform/os_calls.h"

namespace {

const char kHeader[] = "QMXRUN 1";
const size_t kHex = 2 * sizeof(Sha256Digest);

// "C N|S KEPT INCOMING NAME": true with the change read into change.
bool ParseChange(const std::string& line, JournalChange* change) {
    if (line.size() < 6 + 2 * kHex || line[1] != ' ' || (line[2] != 'N' && line[2] != 'S') || line[3] != ' ' ||
        line[4 + kHex] != ' ' || line[5 + 2 * kHex] != ' ') {
        return false;
    }
    change->staged = line[2] == 'S';
    change->name = line.substr(6 + 2 * kHex);
    return !change->name.empty() && ParseDigestHex(line.c_str() + 4, &change->kept) &&
           ParseDigestHex(line.c_str() + 5 + kHex, &change->incoming);
}

bool Failed(DWORD* error) {
    *error = g_os.GetLastError();
    return false;
}

}  // namespace

bool ParseJournal(const std::string& text, JournalContents* contents) {
    size_t at = 0;
    bool header = false, identity = false;
    // Only whole lines count: a crash may cut the last one short.
    for (size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        const std::string line = text.substr(at, end - at);
        if (!header) {
            if (line != kHeader) return false;
            header = true;
        } else if (line.compare(0, 2, "P ") == 0) {
            contents->packageFolder = line.substr(2);
        } else if (line.compare(0, 2, "I ") == 0 && line.size() == 2 + kHex) {
            identity = ParseDigestHex(line.c_str() + 2, &contents->package);
        } else if (line.compare(0, 2, "C ") == 0) {
            JournalChange change;
            if (ParseChange(line, &change)) contents->changes.push_back(change);
        } else if (line.compare(0, 2, "D ") == 0) {
            for (JournalChange& change : contents->changes) {
                if (change.name == line.substr(2)) change.made = true;
            }
        }
    }
    return header && identity;
}

bool RunJournal::Begin(const std::string& store, const std::string& packageFolder, const Sha256Digest& package,
                       DWORD* error) {
    char path[MAX_PATH] = {};
    if (g_os.GetTempFileNameA(store.c_str(), "RUN", 0, path) == 0) return Failed(error);
    m_path = path;
    // Shared with no one: a start that finds it open leaves it alone.
    m_file.Reset(g_os.CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!m_file.IsValid()) {
        const DWORD failure = g_os.GetLastError();
        g_os.DeleteFileA(path);
        m_path.clear();
        *error = failure;
        return false;
    }
    m_changes.clear();
    if (Append(std::string(kHeader) + "\nP " + packageFolder + "\nI " + DigestHex(package) + "\n", error)) return true;
    End();
    return false;
}

bool RunJournal::About(const JournalChange& change, DWORD* error) {
    m_changes.push_back(change);
    return Append(std::string("C ") + (change.staged ? "S " : "N ") + DigestHex(change.kept) + " " +
                      DigestHex(change.incoming) + " " + change.name + "\n",
                  error);
}

bool RunJournal::Made(const std::string& name, DWORD* error) { return Append("D " + name + "\n", error); }

const JournalChange* RunJournal::Find(const std::string& name) const {
    // The last note of a module listed twice is the change it made.
    for (auto change = m_changes.rbegin(); change != m_changes.rend(); ++change) {
        if (change->name == name) return &*change;
    }
    return nullptr;
}

bool RunJournal::Append(const std::string& line, DWORD* error) {
    DWORD done = 0;
    if (!g_os.WriteFile(m_file.Get(), line.data(), static_cast<DWORD>(line.size()), &done, nullptr) ||
        done != line.size() || !g_os.FlushFileBuffers(m_file.Get())) {
        return Failed(error);
    }
    return true;
}

void RunJournal::End() {
    m_file.Reset();
    if (!m_path.empty()) g_os.DeleteFileA(m_path.c_str());
    m_path.clear();
    m_changes.clear();
}

bool IsJournalName(const WIN32_FIND_DATAA& data) {
    const std::string name = data.cFileName;
    const size_t n = name.size();
    return (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0 && n >= 7 &&
           EqualsIgnoringAsciiCase(name.substr(0, 3), "RUN") && EqualsIgnoringAsciiCase(name.substr(n - 4), ".TMP");
}

bool ReadJournal(const std::string& path, JournalContents* contents) {
    ScopedFile file(g_os.CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) return false;
    std::string text;
    char block[4096];
    DWORD got = 0;
    while (g_os.ReadFile(file.Get(), block, sizeof block, &got, nullptr) && got > 0) text.append(block, got);
    return ParseJournal(text, contents);
}
