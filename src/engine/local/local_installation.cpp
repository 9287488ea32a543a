#include "engine/local/local_installation.h"

namespace {

InstallEnvironment ProbedEnvironment() {
    InstallEnvironment environment;
    environment.Probe();
    return environment;
}

}  // namespace

LocalInstallation::LocalInstallation()
    : m_environment(ProbedEnvironment()),
      m_deployment(m_environment.GetMachine()),
      m_run(m_environment.GetMachine(), m_deployment) {}

RunResult LocalInstallation::Run(bool undo) {
    RunResult result = m_run.Run(undo);
    result.outcome &= 0xFFFF;
    return result;
}
