#include "app/quiet_run.h"

#include "engine/local/local_installation.h"
#include "ui/outcome_strings.h"
#include "ui/run_report.h"

namespace {

// The message logged in the user's language, and the exit code.
class QuietReport final : public RunReport {
public:
    QuietReport(int language, HINSTANCE resources) : m_language(language), m_resources(resources) {}

    int Report(const RunResult& result) override {
        ChooseAndLogMessage(result, m_language, m_resources);
        return QuietExitCode(result);
    }

private:
    int m_language;
    HINSTANCE m_resources;
};

}  // namespace

int RunQuietly(int logForced, HINSTANCE resources, bool undo) {
    LocalInstallation installation;
    QuietReport report(installation.GetMachine().language, resources);
    report.ReportOutOfMemory();
    installation.ApplyLogSwitch(logForced);
    return report.Report(installation.Run(undo));
}
