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
    // returns the ORed results. Running out of memory gives 0x08 together
    // with the bits earned so far.
    RunResult Run();

    // m_isAdmin; logs when it is 0.
    int HaveAuthority();
    // Rebuilds the file list from the change list's [File] section when its
    // [Install] entry targets this machine. 1 when the list then holds at
    // least one name; 0 when not targeted (list left empty) or no name, with
    // notTargeted set when the list was read and aims at other Windows only.
    int PrepareInstallation(RunResult* result);

    const FileList& GetFileList() const { return m_fileList; }

private:
    const Machine& m_machine;
    ModuleSite& m_site;
    std::string m_changeListPath;
    FileList m_fileList;
};

// Sets the log switch from the change list's [Log] entry, or on when forced.
void ApplyLogSwitch(int forced, const std::string& changeListPath = "");
