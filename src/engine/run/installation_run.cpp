#include "engine/run/installation_run.h"

#include <utility>

#include "changelist/change_list_file.h"
#include "engine/undo/rollback.h"
#include "log/debug_log.h"

namespace {

// The list at path; with an empty path each query finds QMX_CHG.DAT beside
// the program by itself.
void PointAt(ChangeListFile& changeList, const std::string& path) {
    if (!path.empty()) changeList.SetChangeListPath(path);
}

}  // namespace

InstallationRun::InstallationRun(const Machine& machine, ModuleSite& site, std::string changeListPath)
    : m_machine(machine), m_site(site), m_changeListPath(std::move(changeListPath)) {}

int InstallationRun::HaveAuthority() {
    if (m_machine.isAdmin == 0) DebugLog("HaveAuthority - I'm not administrator.\r\n");
    return m_machine.isAdmin;
}

int InstallationRun::PrepareInstallation(RunResult* result) {
    m_fileList.clear();
    m_allOrNothing = false;
    ChangeListFile changeList;
    PointAt(changeList, m_changeListPath);
    changeList.TakeReading(m_logReading);
    if (changeList.CheckInstallVersion(m_machine.platformId, m_machine.majorVersion,
                                       m_machine.minorVersion, std::string()) == 0) {
        // Read again only to say why: an unreadable list once, so that a
        // broken package's log tells why; and only a list with an [Install]
        // entry can be said to target other Windows.
        if (changeList.Load() != 1) {
            DebugLog("ChangeList - Cannot read %s.(%d)\r\n",
                     changeList.GetChangeListPath(std::string()).c_str(),
                     static_cast<int>(changeList.LoadError()));
            return 0;
        }
        std::string install;
        if (changeList.FindEntry(install, "Install") == 1) result->notTargeted = 1;
        return 0;
    }
    result->targeted = 1;
    // The reading that matched the patterns is the one whose [File] and
    // [Rollback] entries the run takes: one snapshot, read once.
    std::string entry;
    changeList.Rewind();
    int found = changeList.FindEntry(entry, "File");
    while (found == 1) {
        DebugLog("PrepareInstallation Append - %s\r\n", entry.c_str());
        m_fileList.push_back(entry);
        entry.clear();
        found = changeList.NextEntry(entry);
    }
    // From the top: [Rollback] may stand anywhere.
    entry.clear();
    changeList.Rewind();
    m_allOrNothing = changeList.FindEntry(entry, "Rollback") == 1 && entry == "ON";
    return m_fileList.empty() ? 0 : 1;
}

RunResult InstallationRun::Run(bool undo) {
    m_result = RunResult();
    m_result.undo = undo ? 1 : 0;
    m_listApplied = false;
    if (HaveAuthority() != 1) {
        m_result.outcome = QMX_INST_NOT_ADMIN;
        return m_result;
    }
    // Known to OutOfMemory's report for as long as it runs.
    struct Running {
        explicit Running(InstallationRun* run) { s_running = run; }
        ~Running() { s_running = nullptr; }
    } running(this);
    // Before any other gate: a run that was interrupted is finished first,
    // whatever this one then does.
    const uint32_t finished = m_site.FinishInterruptedRuns(m_machine);
    RunListedModules(undo);
    m_site.EndRun();
    m_result.outcome |= finished;
    return m_result;
}

void InstallationRun::RunListedModules(bool undo) {
    if (PrepareInstallation(&m_result) == 0) {
        m_result.outcome = QMX_INST_NOT_APPLICABLE;
        return;
    }
    m_listApplied = true;
    if (m_site.VerifyPackage(m_fileList) != 1) {
        m_result.outcome = QMX_INST_NOT_APPLICABLE;
        m_result.brokenPackage = 1;
        return;
    }
    if (!ModulesFitThisMachine(undo)) {
        m_result.outcome = QMX_INST_NOT_APPLICABLE;
        m_result.otherMachine = 1;
        return;
    }
    // What this run replaced or scheduled, for a rollback.
    Rollback changed;
    m_site.SetAllOrNothing(m_allOrNothing && !undo);
    // A failed file does not stop the run: every listed name is tried.
    for (const std::string& name : m_fileList) {
        if (undo) {
            m_result.outcome |= m_site.Undo(name, m_machine, false).bit;
            continue;
        }
        const ModuleResult result = m_site.Deploy(name, m_machine);
        if (m_allOrNothing && ((result.bit & (QMX_INST_FAILED | QMX_INST_RESTART_FIRST)) != 0 ||
                               result.action == ModuleAction::kMissing ||
                               result.action == ModuleAction::kRefused)) {
            m_result.outcome = result.bit | changed.PutBack(m_site, m_machine);
            break;
        }
        if (result.action == ModuleAction::kReplace || result.action == ModuleAction::kStage) {
            changed.Note(name, result.action == ModuleAction::kStage);
        }
        m_result.outcome |= result.bit;
    }
    if ((m_result.outcome & QMX_INST_NOT_APPLICABLE) != 0) m_result.brokenPackage = 1;
}

// Every listed module is compared before any is touched, and every one that
// does not fit is named: the author learns the whole of it from one log.
bool InstallationRun::ModulesFitThisMachine(bool undo) {
    bool fit = true;
    for (const std::string& name : m_fileList) {
        std::string installed;
        if (!m_site.FitsMachine(name, m_machine, undo, &installed)) {
            DebugLog("PrepareInstallation - Not for this machine: %s.\r\n", installed.c_str());
            fit = false;
        }
    }
    return fit;
}

InstallationRun* InstallationRun::s_running = nullptr;

RunResult InstallationRun::ResultOnOutOfMemory() {
    RunResult result;
    if (s_running != nullptr) {
        result = s_running->m_result;
        result.brokenPackage = s_running->m_listApplied ? 1 : 0;
        // Room for the message: the run does not go on.
        FileList().swap(s_running->m_fileList);
    }
    result.notTargeted = 0;
    result.outcome |= QMX_INST_NOT_APPLICABLE;
    return result;
}

void InstallationRun::ApplyLogSwitch(int forced) {
    PointAt(m_logReading, m_changeListPath);
    const int fromList = m_logReading.IsLogOn();
    SetLogSwitch(forced == 1 ? 1 : fromList);
}
