// What the installer does with one listed module, decided in one place for
// the real run and for the package check's prediction.
//
// DeployModule asks a ModuleSite for each fact when the decision needs it
// (the lock probe only for a newer copy, the staged copy only for a module in
// use) and tells it each step to take. The real site is the system folder
// (FileDeployment); the package check's site is a model of a copy of one,
// which changes nothing but remembers what a step would have left, so that a
// module listed twice is decided the second time as the real run decides it.
// Free of Win32.
#pragma once

#include <cstdint>
#include <string>

#include "engine/file_list.h"
#include "engine/machine.h"

enum : int32_t {
    QMX_LOCK_SUCEES = 0,    // opened exclusively, and closed again
    QMX_LOCK_NOTFOUND = 1,  // ERROR_FILE_NOT_FOUND
    QMX_LOCK_INUSE = 2,     // ERROR_SHARING_VIOLATION
    QMX_LOCK_ERROR = 3,     // any other error
};

enum class SwapResult {
    kDone,    // the destination now holds the new bytes
    kBusy,    // the destination is in use (sharing violation); nothing changed
    kFailed,  // a step failed with the error given; nothing changed
};

enum class ModuleAction {
    kReplace,       // replaced now
    kStage,         // in use: a staged copy replaces it at the next restart
    kKeep,          // the installed copy is as new or newer
    kNotInstalled,  // the system folder has no copy: never added
    kMissing,       // the package lacks a module the system has: a broken package
    kRefused,       // not a plain file name: a broken package
    kProtected,     // newer, but Windows guards the installed copy
    kFailed,        // a step failed, or the machine could not be probed
};

struct ModuleResult {
    ModuleAction action;
    uint32_t bit;  // exactly one QMX_INST_* bit
};

class ModuleSite {
public:
    virtual ~ModuleSite() = default;

    // Full paths of name in the package and in the system folder.
    virtual std::string PackagePath(const std::string& name) const = 0;
    virtual std::string InstalledPath(const std::string& name) const = 0;
    // Whether name may be appended to the system folder (IsPlainFileName with
    // this side's lead bytes).
    virtual bool IsPlainName(const std::string& name) const = 0;
    // 1 when a directory search finds path; else 0.
    virtual int FileExists(const std::string& path) = 0;
    // QMX_COMP_*: which of the two files is newer, each step logged.
    virtual int32_t CompareTimeStamp(const std::string& file1, const std::string& file2) = 0;
    // Whether Windows guards path against replacement.
    virtual bool IsProtected(const std::string& path) = 0;
    // QMX_LOCK_*: whether path can be opened exclusively.
    virtual int32_t LockDestFile(const std::string& path) = 0;
    // Puts source's bytes, listed module fileName's, in dest's place now;
    // stillThere is false when the lock probe found dest gone. error is set
    // for kFailed.
    virtual SwapResult ReplaceNow(const std::string& fileName, const std::string& source,
                                  const std::string& dest, bool stillThere, uint32_t* error) = 0;
    // Writes source's bytes to staging, beside dest. 1, or 0 with error set.
    virtual int WriteStagedCopy(const std::string& fileName, const std::string& source,
                                const std::string& staging, const std::string& dest,
                                uint32_t* error) = 0;
    // Schedules staging to replace dest at the next restart: 1, or 0 after
    // logging why not.
    virtual int ScheduleReplacement(const std::string& staging, const std::string& dest) = 0;
    // Before any module is compared: 1 when the package's seal holds, or
    // it has none; 0 after logging the first fault.
    virtual int VerifyPackage(const FileList& files) {
        (void)files;
        return 1;
    }
    // Told each listed name's result, in list order, as the run goes.
    virtual void Deployed(const std::string& name, const ModuleResult& result) {
        (void)name;
        (void)result;
    }
};

// The one module's result: checks, comparison, then the replacement now, or
// staging for the restart when the module is in use, as site reports it.
ModuleResult DeployModule(const std::string& fileName, const Machine& machine, ModuleSite& site);

// The staging half alone: 1 when a staged copy of fileName is scheduled to
// replace it at the next restart (written now, or left by an earlier run and
// as new as the shipped file or newer); else 0.
int MoveOnReboot(const std::string& fileName, ModuleSite& site);
