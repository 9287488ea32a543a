// Every query of the change list over arbitrary bytes, each answer compared
// with the plain reading of the rules, and every entry checked for what the
// installer relies on: trimmed, upper-cased, a single line with no comment.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "change_list_in_memory.h"
#include "changelist/change_list_file.h"
#include "fuzz_check.h"
#include "reference_rules.h"

namespace {

void CheckReadLine(const std::string& bytes) {
    SetChangeListBytes(bytes.data(), bytes.size());
    ChangeListFile list;
    list.Load();
    const std::vector<std::string> expected = reference::RawLines(bytes);
    std::string line;
    size_t count = 0;
    while (list.ReadLine(line)) {
        FUZZ_CHECK(count < expected.size());
        FUZZ_CHECK(line == expected[count]);
        ++count;
        line.clear();
    }
    FUZZ_CHECK(count == expected.size());
}

void CheckEntryShape(const std::string& entry) {
    FUZZ_CHECK(!entry.empty());
    FUZZ_CHECK(entry.find('\r') == std::string::npos);
    FUZZ_CHECK(entry.find('\n') == std::string::npos);
    FUZZ_CHECK(entry.find("//") == std::string::npos);
    FUZZ_CHECK(entry.front() != ' ' && entry.front() != '\t');
    FUZZ_CHECK(entry.back() != ' ' && entry.back() != '\t');
    FUZZ_CHECK(reference::Upper(entry) == entry);
    FUZZ_CHECK(!reference::Bracketed(entry));
}

void CheckFileEntries(const std::string& bytes) {
    const std::vector<std::string> expected = reference::Section(bytes, "File");
    ChangeListFile list;
    std::vector<std::string> entries;
    std::string entry = "\x01untouched";
    int found = list.FirstFileEntry(entry, std::string());
    while (found) {
        CheckEntryShape(entry);
        entries.push_back(entry);
        // Checked inside the loop, so a NextEntry that never ends fails here
        // instead of running out of memory.
        FUZZ_CHECK(entries.size() <= expected.size());
        entry = "\x01untouched";
        found = list.NextEntry(entry);
    }
    FUZZ_CHECK(entry == "\x01untouched");
    FUZZ_CHECK(entries == expected);
}

void CheckQueries(const std::string& bytes) {
    ChangeListFile log;
    FUZZ_CHECK(log.IsLogOn() == reference::IsLogOn(bytes));

    std::vector<reference::Machine> machines = {
        {0, 0, 0}, {1, 4, 10}, {2, 5, 1}, {2, 6, 0xFFFFFFFFu}, {0xFFFFFFFFu, 0x80000000u, 0}};
    // Also a machine the first pattern names, so matches are common.
    const std::vector<std::string> install = reference::Section(bytes, "Install");
    std::string parts[3];
    if (!install.empty() &&
        reference::PatternParts(reference::Blank(reference::Split(install[0], std::string(",\0", 2))[0]), parts)) {
        machines.push_back({static_cast<uint32_t>(reference::Decimal(parts[0])),
                            static_cast<uint32_t>(reference::Decimal(parts[1])),
                            static_cast<uint32_t>(reference::Decimal(parts[2]))});
    }
    for (const reference::Machine& m : machines) {
        ChangeListFile list;
        FUZZ_CHECK(list.CheckInstallVersion(m.platform, m.major, m.minor, std::string()) ==
                   reference::Targets(bytes, m));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    SetChangeListBytes(bytes.data(), bytes.size());
    CheckReadLine(bytes);
    CheckFileEntries(bytes);
    CheckQueries(bytes);
    return 0;
}
