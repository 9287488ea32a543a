#include "engine/installation_run.h"

#include <new>
#include <utility>

#include "changelist/change_list_file.h"
#include "log/debug_log.h"

namespace {

void UsePath(ChangeListFile& changeList, const std::string& path) {
    if (path.empty()) {
        changeList.GetChangeListPath(std::string());
    } else {
        changeList.SetChangeListPath(path);
    }
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
    ChangeListFile changeList;
    UsePath(changeList, m_changeListPath);
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
    std::string entry;
    int found = changeList.FirstFileEntry(entry, std::string());
    while (found == 1) {
        DebugLog("PrepareInstallation Append - %s\r\n", entry.c_str());
        m_fileList.push_back(entry);
        entry.clear();
        found = changeList.NextEntry(entry);
    }
    return m_fileList.empty() ? 0 : 1;
}

RunResult InstallationRun::Run() {
    RunResult result;
    if (HaveAuthority() != 1) {
        result.outcome = QMX_INST_NOT_ADMIN;
        return result;
    }
    // Memory running out anywhere in the run (a change-list line of hundreds
    // of megabytes in a 32-bit process, say) ends it as a broken package;
    // what was already replaced or staged keeps its bit, so a restart
    // request or a failure is not lost.
    bool walking = false;
    try {
        if (PrepareInstallation(&result) == 0) {
            result.outcome = QMX_INST_NOT_APPLICABLE;
            return result;
        }
        walking = true;
        if (m_site.VerifyPackage(m_fileList) != 1) {
            result.outcome = QMX_INST_NOT_APPLICABLE;
            result.brokenPackage = 1;
            return result;
        }
        // A failed file does not stop the run: every listed name is tried.
        for (const std::string& name : m_fileList) {
            result.outcome |= m_site.Deploy(name, m_machine).bit;
        }
    } catch (const std::bad_alloc&) {
        FileList().swap(m_fileList);
        result.notTargeted = 0;
        result.brokenPackage = walking ? 1 : 0;
        result.outcome |= QMX_INST_NOT_APPLICABLE;
        return result;
    }
    if ((result.outcome & QMX_INST_NOT_APPLICABLE) != 0) result.brokenPackage = 1;
    return result;
}

void ApplyLogSwitch(int forced, const std::string& changeListPath) {
    // A change list too large to be held twice (a line of hundreds of
    // megabytes in a 32-bit process) cannot be read: its [Log] does not count.
    int fromList = 0;
    try {
        ChangeListFile changeList;
        UsePath(changeList, changeListPath);
        fromList = changeList.IsLogOn();
    } catch (const std::bad_alloc&) {
        fromList = 0;
    }
    SetLogSwitch(forced == 1 ? 1 : fromList);
}
