// Reader of the change list QMX_CHG.DAT beside the running executable.
//
// Every entry handed out is a whole line with any "//" comment removed,
// trimmed of spaces and tabs, and upper-cased by the ANSI code page's rules.
// Each query except NextEntry loads the file again and searches from its top.
// Results are 1 for success and 0 for failure; nothing is ever shown, and only
// CompVersion writes to the diagnostic log.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class ChangeListFile {
public:
    ChangeListFile();
    virtual ~ChangeListFile();
    ChangeListFile(const ChangeListFile&) = delete;
    ChangeListFile& operator=(const ChangeListFile&) = delete;

    // Full path of the change list: the executable's folder, then fileName,
    // or "QMX_CHG.DAT" when fileName is empty. Fixed by the first call; later
    // calls return it unchanged whatever they pass.
    std::string GetChangeListPath(std::string fileName);

    // Makes path the change list's full path for every later query: the
    // package check reads a package folder other than its own.
    void SetChangeListPath(const std::string& path) { m_path = path; }

    // Reads the file at the path into memory. 1 on success (an empty file
    // included); 0 when it cannot be opened, read or held in memory. Always
    // leaves the read position at the start.
    int Load();
    // Makes what other last loaded from the same path this object's next
    // Load, once, without reading the file again: the run takes the list
    // the log switch has just read. Leaves other unloaded.
    void TakeReading(ChangeListFile& other);
    // Why the last Load failed: the platform's error code; 0 after a
    // successful one.
    uint32_t LoadError() const { return m_loadError; }

    // The read position back to the top of the list as loaded, for another
    // search of the same reading.
    void Rewind() { m_position = 0; }

    // Appends the next line's content (no line end, no comment) to text.
    // 1 if a line was consumed; 0 if nothing is loaded or nothing is left.
    int ReadLine(std::string& text);

    // text without leading and trailing spaces and tabs.
    std::string Trim(std::string text);

    // Next entry of the section named (searched from the read position), or of
    // the section the read position is in when section is empty. 1 with the
    // entry stored in entry; 0 with entry untouched.
    int FindEntry(std::string& entry, std::string section);

    // GetChangeListPath(fileName), Load, then the first [File] entry.
    int FirstFileEntry(std::string& entry, std::string fileName);

    // The entry after the one the previous query returned.
    int NextEntry(std::string& entry);

    // 1 when the first [Log] entry is ON; 0 otherwise or when unreadable.
    int IsLogOn();

    // 1 when one of the comma-separated patterns of the first [Install] entry
    // matches the machine's platform id, major and minor version; else 0.
    int CheckInstallVersion(uint32_t platformId, uint32_t majorVersion, uint32_t minorVersion,
                            std::string fileName);

    // The comma-separated patterns of the first [Install] entry, each trimmed,
    // in order: 1 with them in patterns; 0 when there is no such entry or
    // the list cannot be read.
    int InstallPatterns(std::vector<std::string>& patterns, std::string fileName);

    // 1 when the one pattern "platform:major[:minor]" matches; else 0.
    // Traces the comparison to the diagnostic log.
    int CompVersion(uint32_t platformId, uint32_t majorVersion, uint32_t minorVersion,
                    std::string pattern);

private:
    // Records error as LoadError and answers 0, a failed Load.
    int Failed(uint32_t error);
    // Load's answer from a reading taken (TakeReading): true, and loaded,
    // when there was one; it serves once.
    bool LoadTaken();

    std::unique_ptr<char[]> m_buffer;
    int32_t m_size;
    int32_t m_position;
    int32_t m_loaded;
    std::string m_path;
    uint32_t m_loadError = 0;
    bool m_taken = false;
};
