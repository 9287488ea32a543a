// One installation from the change list to its outcome, with no window: the
// installer dialog sequences it and shows the message, a quiet run calls it
// directly, and the package check runs it on a model of a system folder.
#pragma once

#include <cstdint>
#include <string>

#include "engine/file_list.h"
#include "engine/machine.h"
#include "engine/module_decision.h"
#include "engine/outcome.h"

class InstallationRun {
public:
    // changeListPath: the change list to read; empty for QMX_CHG.DAT beside
    // the running executable. machine and site must outlive the run.
    InstallationRun(const Machine& machine, ModuleSite& site, std::string changeListPath = "");

    // Gates on HaveAuthority (0x10), prepares (0x08 when nothing applies),
    // checks the package's seal, deploys every listed name in order and
    // returns the ORed results.
    RunResult Run();

    // What a program that runs out of memory reports (OutOfMemory): the bits
    // the run in progress has earned so far, so that a restart request or a
    // failure is not lost, with 0x08 (a broken package once the change list
    // applied); 0x08 alone when no run is in progress. Frees the run's list
    // to make room for the message: the run cannot go on.
    static RunResult ResultOnOutOfMemory();

    // m_isAdmin; logs when it is 0.
    int HaveAuthority();
    // Rebuilds the file list from the change list's [File] section when its
    // [Install] entry targets this machine. 1 when the list then holds at
    // least one name; 0 when not targeted (list left empty) or no name, with
    // notTargeted set when the list was read and aims at other Windows only.
    int PrepareInstallation(RunResult* result);

    const FileList& GetFileList() const { return m_fileList; }

private:
    // Run's part past the authority gate: m_result as it goes.
    void Walk();

    const Machine& m_machine;
    ModuleSite& m_site;
    std::string m_changeListPath;
    FileList m_fileList;
    RunResult m_result;
    bool m_walking = false;  // the change list applied: past PrepareInstallation
    static InstallationRun* s_running;
};

// Sets the log switch from the change list's [Log] entry, or on when forced.
void ApplyLogSwitch(int forced, const std::string& changeListPath = "");
