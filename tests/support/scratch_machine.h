// A private machine for in-process runs of the whole installation: the
// program folder (where QMX_CHG.DAT and the shipped files go), the system
// directory and the Windows folder (which holds the store of kept copies)
// are scratch folders, reached through the OS call table, and the
// user's language is English unless a test says otherwise. The log is the
// real C:\QMX_CHG.LOG, emptied before and after each test.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/os_calls.h"
#include "support/log_file.h"
#include "support/temp_dir.h"

class ScratchMachine : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string ProgramFile(const std::string& name) const { return m_programDir + "\\" + name; }
    std::string SystemFile(const std::string& name) const { return m_systemDir + "\\" + name; }
    // A path in the scratch machine's Windows folder.
    std::string WindowsFile(const std::string& name) const { return m_root.File(name); }

    void WriteChangeList(const std::string& text);
    // A change list that targets this machine, with its [Log] entry.
    static std::string Targeted(const std::string& files, const std::string& log = "ON");
    // Writes path with content and a last-write time in year (files without
    // version resources are compared by time).
    static void PutFile(const std::string& path, const std::string& content, int year);
    // "platform:major:minor" of the running Windows, as the probe sees it.
    static std::string MachinePattern();
    void UseLanguage(LANGID language);

    OsCallsGuard m_guard;

private:
    TempDir m_root;
    std::string m_programDir;
    std::string m_systemDir;
};
