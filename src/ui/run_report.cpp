#include "ui/run_report.h"

#include <windows.h>

#include "engine/run/installation_run.h"
#include "platform/out_of_memory.h"

namespace {

// The report of the run in progress: what is left to the handler once memory
// has run out.
RunReport* g_report = nullptr;

void EndRunOutOfMemory() {
    RunResult result = InstallationRun::ResultOnOutOfMemory();
    // As a shown run's message carries them.
    result.outcome &= 0xFFFF;
    ::ExitProcess(static_cast<UINT>(g_report->Report(result)));
}

}  // namespace

void RunReport::ReportOutOfMemory() {
    g_report = this;
    SetOutOfMemoryHandler(&EndRunOutOfMemory);
}
