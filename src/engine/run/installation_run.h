// One installation from the change list to its outcome, with no window: the
// installer dialog sequences it and shows the message, a quiet run calls it
// directly, and the package check runs it on a model of a system folder.
#pragma once

#include <cstdint>
#include <string>

#include "changelist/change_list_file.h"
#include "engine/site/file_list.h"
#include "engine/site/machine.h"
#include "engine/site/module_site.h"
#include "engine/site/outcome.h"

class InstallationRun {
public:
    // changeListPath: the change list to read; empty for QMX_CHG.DAT beside
    // the running executable. machine and site must outlive the run.
    InstallationRun(const Machine& machine, ModuleSite& site, std::string changeListPath = "");

    // Gates on HaveAuthority (0x10), prepares (0x08 when nothing applies),
    // checks the package's seal, deploys every listed name in order and
    // returns the ORed results. With undo, each listed name's kept copy is
    // put back instead (UndoModule). A change list whose [Rollback] entry is
    // ON makes an installation all or nothing: at the first module that
    // fails (0x80), must wait for another program's restart (0x40) or finds
    // the package broken, the run stops, puts back every module it replaced
    // and makes every replacement it scheduled harmless; the outcome is then
    // that module's bit, with 0x80 when a step of putting back failed. Such a
    // run never writes over a copy an earlier run staged: that module asks
    // for the restart first (0x40).
    RunResult Run(bool undo = false);

    // Sets the log switch from the change list's [Log] entry, or on when
    // forced (1), before the run: its reading is the one the next Run then
    // takes, so that a run reads the list once.
    void ApplyLogSwitch(int forced);

    // What a program that runs out of memory reports (OutOfMemory): the bits
    // the run in progress has earned so far, so that a restart request or a
    // failure is not lost, with 0x08 (a broken package once the change list
    // applied); 0x08 alone when no run is in progress. Frees the run's list
    // to make room for the message: the run cannot go on.
    static RunResult ResultOnOutOfMemory();

private:
    // The machine's isAdmin; logs when it is 0.
    int HaveAuthority();
    // Rebuilds the file list from the change list's [File] section when its
    // [Install] entry targets this machine. 1 when the list then holds at
    // least one name; 0 when not targeted (list left empty) or no name, with
    // notTargeted set when the list was read and aims at other Windows only.
    int PrepareInstallation(RunResult* result);
    // Run's part past the authority gate: m_result as it goes.
    void RunListedModules(bool undo);
    bool ModulesFitThisMachine(bool undo);

    const Machine& m_machine;
    ModuleSite& m_site;
    std::string m_changeListPath;
    ChangeListFile m_logReading;  // ApplyLogSwitch's, until a run takes it
    FileList m_fileList;
    RunResult m_result;
    bool m_listApplied = false;  // past PrepareInstallation: the change list targets this machine
    bool m_allOrNothing = false;  // [Rollback] ON
    static InstallationRun* s_running;
};
