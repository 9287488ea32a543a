// A private machine for in-process runs of the installer dialog: the program
// folder (where QMX_CHG.DAT and the shipped files go) and the system
// directory are scratch folders, reached through the OS call table, and the
// user's language is English unless a test says otherwise. The log is the
// real C:\QMX_CHG.LOG, emptied before and after each test.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/os_calls.h"
#include "support/log_file.h"
#include "support/temp_dir.h"
#include "ui/dialog_watcher.h"

class DialogBase;

class InstallFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string ProgramFile(const std::string& name) const { return m_programDir + "\\" + name; }
    std::string SystemFile(const std::string& name) const { return m_systemDir + "\\" + name; }

    void WriteChangeList(const std::string& text);
    // Writes path with content and a last-write time in year (files without
    // version resources are compared by time).
    static void PutFile(const std::string& path, const std::string& content, int year);
    // "platform:major:minor" of the running Windows, as the probe sees it.
    static std::string MachinePattern();
    void UseLanguage(LANGID language);

    // Runs dialog modally as the program's main window, clicking OK on every
    // dialog it shows; returns what those dialogs showed.
    static std::vector<SeenDialog> RunModal(DialogBase& dialog, INT_PTR* result = nullptr);

    OsCallsGuard m_guard;

private:
    TempDir m_root;
    std::string m_programDir;
    std::string m_systemDir;
};

// The ANSI text of string id of this executable's string table.
std::string ResourceText(UINT id);
