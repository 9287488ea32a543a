// The installation run: operations of the installer dialog that take one
// installation from the change list to the message the user sees.
#include "changelist/change_list_file.h"
#include "engine/outcome.h"
#include "log/debug_log.h"
#include "ui/installer_dialog.h"
#include "ui/message_dialog.h"

void InstallerDialog::ApplyLogSwitch() {
    ChangeListFile changeList;
    const int fromList = changeList.IsLogOn();
    SetLogSwitch(m_logForced == 1 ? 1 : fromList);
}

int InstallerDialog::PrepareInstallation() {
    m_fileList.clear();
    ChangeListFile changeList;
    if (changeList.CheckInstallVersion(m_environment.m_platformId, m_environment.m_majorVersion,
                                       m_environment.m_minorVersion, std::string()) == 0) {
        // Only a list that was read and has an [Install] entry can be said to
        // target other Windows; anything short of that (no list, an
        // unreadable one, one without [Install]) leaves the default, a broken
        // package.
        std::string install;
        if (changeList.Load() == 1 && changeList.FindEntry(install, "Install") == 1) {
            m_notTargeted = 1;
        }
        return 0;
    }
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

uint32_t InstallerDialog::Install() {
    // Every 0x08 counts as a broken package unless preparation finds the
    // change list aimed at other Windows versions.
    m_notTargeted = 0;
    if (m_environment.HaveAuthority() != 1) return QMX_INST_NOT_ADMIN;
    if (PrepareInstallation() == 0) return QMX_INST_NOT_APPLICABLE;
    uint32_t outcome = 0;
    // A failed file does not stop the run: every listed name is tried.
    for (const std::string& name : m_fileList) {
        outcome |= m_environment.CopyTargetFile(name, std::string());
    }
    return outcome;
}

LRESULT InstallerDialog::RunInstallation(WPARAM, LPARAM) {
    ::PostMessageA(m_hWnd, WM_INSTALL_DONE, Install() & 0xFFFF, 0);
    return 0;
}

uint32_t InstallerDialog::RunQuietly() {
    ApplyLogSwitch();
    // Only the low 16 bits travel to the message in a shown run.
    const uint32_t outcome = Install() & 0xFFFF;
    ChooseAndLogMessage(outcome);
    return outcome;
}

uint32_t InstallerDialog::ChooseAndLogMessage(uint32_t outcome) {
    const MessageIds ids = {m_doneMsgId,          m_rebootMsgId, m_notAdminMsgId,
                            m_notApplicableMsgId, m_failedMsgId, m_failedRebootMsgId};
    const uint32_t messageId = ChooseMessageId(outcome, ids);
    DebugLog("EngingMessage[0x%x] - %s\r\n", outcome, LoadString(messageId).c_str());
    return messageId;
}

LRESULT InstallerDialog::EngingMessage(WPARAM wParam, LPARAM) {
    const uint32_t outcome = static_cast<uint32_t>(wParam) & 0xFFFF;
    const uint32_t messageId = ChooseAndLogMessage(outcome);

    ::SetForegroundWindow(m_hWnd);
    {
        MessageDialog message;
        message.ShowMessage(messageId);
    }
    ::PostMessageA(m_hWnd, WM_CLOSE, 0, 0);
    return 0;
}
