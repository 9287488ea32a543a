// How a run's result reaches the user: shown in the message box by the
// installer dialog, or logged with an exit code by a quiet run. The same
// report ends a run that runs out of memory.
#pragma once

#include "engine/site/outcome.h"

class RunReport {
public:
    // Shows or logs the message for result; the process's exit code for it.
    virtual int Report(const RunResult& result) = 0;

    // From now on a run that runs out of memory is reported here, with the
    // bits it had gathered (InstallationRun::ResultOnOutOfMemory), and the
    // process then ends with the code Report gives.
    void ReportOutOfMemory();

protected:
    ~RunReport() = default;
};
