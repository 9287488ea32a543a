// The machine probe: which Windows this is, whether the user may install,
// the system and program folders and the user's language, read once and
// handed out as a Machine.
#pragma once

#include <cstdint>
#include <string>

#include "engine/site/machine.h"

class InstallEnvironment {
public:
    InstallEnvironment() = default;

    // The whole probe: InitEnvironment, GetSystemDir, GetProgramDir and
    // CheckLanguageEnv. Logs only the language, and only while the log is on.
    void Probe();

    // CheckOsVersion, then the administrator flag: 1 on the 95/98/Me family,
    // the result of CheckAdministrator on the NT family, 0 when the version
    // is unknown.
    void InitEnvironment();
    // 1 when the reported version was classified; else 0.
    int CheckOsVersion();
    // 1 when the caller's token lists the built-in Administrators group;
    // 0 when it does not, and on any failure.
    int CheckAdministrator();
    // The system folder, also kept with the folder that really holds it;
    // empty when it cannot be read whole.
    std::string GetSystemDir();
    // The executable's folder without a trailing separator, also kept;
    // empty when its path cannot be read whole.
    std::string GetProgramDir();
    // QMX_LANG_JAPANESE for a Japanese default user language, else
    // QMX_LANG_ENGLISH; also kept, and logged.
    int CheckLanguageEnv();

    const Machine& GetMachine() const { return m_machine; }

private:
    Machine m_machine;
};
