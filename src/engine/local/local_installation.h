// The installation on this machine, put together in one place for the
// installer dialog and the quiet run: the probed machine, its system folder
// as the site the modules go to, and the run over the change list beside the
// program.
#pragma once

#include "engine/local/file_deployment.h"
#include "engine/local/install_environment.h"
#include "engine/run/installation_run.h"

class LocalInstallation {
public:
    // Probes the machine (environment, system and program folders,
    // language). Logs nothing: the log switch is set later (ApplyLogSwitch).
    LocalInstallation();
    LocalInstallation(const LocalInstallation&) = delete;
    LocalInstallation& operator=(const LocalInstallation&) = delete;

    // The whole run (InstallationRun::Run), its outcome cut to the low 16
    // bits that a shown run's message carries, so that a quiet run reports
    // exactly what a shown one would; with undo, /undo's run.
    RunResult Run(bool undo = false);

    // The log switch from the change list, or on when forced
    // (InstallationRun::ApplyLogSwitch).
    void ApplyLogSwitch(int forced) { m_run.ApplyLogSwitch(forced); }

    const Machine& GetMachine() const { return m_environment.GetMachine(); }

private:
    // Members are built in declaration order: the probe first, then the site
    // and the run from its machine record.
    InstallEnvironment m_environment;
    FileDeployment m_deployment;
    InstallationRun m_run;
};
