// The installation run: operations of the installer dialog that take one
// installation from the change list to the message the user sees.
#include <new>

#include "changelist/change_list_file.h"
#include "engine/outcome.h"
#include "log/debug_log.h"
#include "ui/installer_dialog.h"
#include "ui/message_dialog.h"

int InstallerDialog::PrepareInstallation() {
    m_fileList.clear();
    ChangeListFile changeList;
    if (changeList.CheckInstallVersion(m_environment.m_platformId, m_environment.m_majorVersion,
                                       m_environment.m_minorVersion, std::string()) == 0) {
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

LRESULT InstallerDialog::RunInstallation(WPARAM, LPARAM) {
    uint32_t outcome = 0;
    if (m_environment.HaveAuthority() != 1) {
        outcome = QMX_INST_NOT_ADMIN;
    } else {
        // Memory running out anywhere in the run (a change-list line of
        // hundreds of megabytes in a 32-bit process, say) counts as a change
        // list that cannot be read. The whole list is read before any file
        // is touched, so such a list installs nothing.
        try {
            if (PrepareInstallation() == 0) {
                outcome = QMX_INST_NOT_APPLICABLE;
            } else {
                // A failed file does not stop the run: every listed name is tried.
                for (const std::string& name : m_fileList) {
                    outcome |= m_environment.CopyTargetFile(name, std::string());
                }
            }
        } catch (const std::bad_alloc&) {
            FileList().swap(m_fileList);
            outcome = QMX_INST_NOT_APPLICABLE;
        }
    }
    ::PostMessageA(m_hWnd, WM_INSTALL_DONE, outcome & 0xFFFF, 0);
    return 0;
}

LRESULT InstallerDialog::EngingMessage(WPARAM wParam, LPARAM) {
    const uint32_t outcome = static_cast<uint32_t>(wParam) & 0xFFFF;
    const MessageIds ids = {m_doneMsgId, m_rebootMsgId, m_notAdminMsgId, m_notApplicableMsgId};
    const uint32_t messageId = ChooseMessageId(outcome, ids);
    DebugLog("EngingMessage[0x%x] - %s\r\n", outcome, LoadString(messageId).c_str());

    ::SetForegroundWindow(m_hWnd);
    {
        MessageDialog message;
        message.ShowMessage(messageId);
    }
    ::PostMessageA(m_hWnd, WM_CLOSE, 0, 0);
    return 0;
}
