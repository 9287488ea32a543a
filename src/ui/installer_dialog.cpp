#include "ui/installer_dialog.h"

#include "changelist/change_list_file.h"
#include "engine/outcome.h"
#include "log/debug_log.h"
#include "ui/about_dialog.h"
#include "ui/centring.h"
#include "ui/res/resource.h"

namespace {

// BeginPaint and EndPaint as one scope.
class PaintScope {
public:
    explicit PaintScope(HWND window) : m_hWnd(window), m_paint(), m_hDC(::BeginPaint(window, &m_paint)) {}
    ~PaintScope() { ::EndPaint(m_hWnd, &m_paint); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    HDC dc() const { return m_hDC; }

private:
    HWND m_hWnd;
    PAINTSTRUCT m_paint;
    HDC m_hDC;
};

}  // namespace

InstallerDialog::InstallerDialog(HWND hParent)
    : DialogBase(IDD_INSTALLER, hParent),
      m_hIcon(nullptr),
      m_doneMsgId(0),
      m_rebootMsgId(0),
      m_notAdminMsgId(0),
      m_notApplicableMsgId(0),
      m_failedMsgId(0),
      m_failedRebootMsgId(0),
      m_notTargeted(0),
      m_logForced(0) {
    m_hIcon = ::LoadIconA(ResourceHandle(), MAKEINTRESOURCEA(IDI_APP));
    m_environment.InitEnvironment();
    m_environment.GetSystemDir();
    m_environment.GetProgramDir();
    const MessageIds ids = MessageIdsForLanguage(m_environment.CheckLanguageEnv());
    m_doneMsgId = ids.doneMsgId;
    m_rebootMsgId = ids.rebootMsgId;
    m_notAdminMsgId = ids.notAdminMsgId;
    m_notApplicableMsgId = ids.notApplicableMsgId;
    m_failedMsgId = ids.failedMsgId;
    m_failedRebootMsgId = ids.failedRebootMsgId;
}

InstallerDialog::~InstallerDialog() = default;

INT_PTR InstallerDialog::DoModal() { return DialogBase::DoModal(); }

void InstallerDialog::DoDataExchange() {}

BOOL InstallerDialog::OnInitDialog() {
    DialogBase::OnInitDialog();

    if (HMENU systemMenu = ::GetSystemMenu(m_hWnd, FALSE)) {
        const std::string about = LoadString(IDS_ABOUT_MENU);
        if (!about.empty()) {
            ::AppendMenuA(systemMenu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuA(systemMenu, MF_STRING, ID_SYS_ABOUT, about.c_str());
        }
        ::DeleteMenu(systemMenu, SC_SIZE, MF_BYCOMMAND);
        ::DeleteMenu(systemMenu, SC_MAXIMIZE, MF_BYCOMMAND);
    }

    ::SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    ::SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    // Visible from here on, as a task-bar button only: the modal run shows a
    // dialog in its normal state only while it is still hidden.
    ::ShowWindow(m_hWnd, SW_SHOWMINIMIZED);

    ApplyLogSwitch();

    // The work starts once initialisation has returned and the modal loop
    // runs.
    ::PostMessageA(m_hWnd, WM_INSTALL_START, 0, 0);
    return TRUE;
}

bool InstallerDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    switch (message) {
    case WM_SYSCOMMAND:
        OnSysCommand(static_cast<UINT>(wParam), lParam);
        *result = 0;
        return true;
    case WM_PAINT:
        OnPaint();
        *result = 0;
        return true;
    case WM_QUERYDRAGICON:
        *result = reinterpret_cast<LRESULT>(OnQueryDragIcon());
        return true;
    case WM_INSTALL_START:
        *result = RunInstallation(wParam, lParam);
        return true;
    case WM_INSTALL_DONE:
        *result = EngingMessage(wParam, lParam);
        return true;
    default:
        return DialogBase::OnMessage(message, wParam, lParam, result);
    }
}

void InstallerDialog::OnSysCommand(UINT nID, LPARAM) {
    if ((nID & 0xFFF0) == ID_SYS_ABOUT) {
        AboutDialog about;
        about.DoModal();
    } else {
        Default();
    }
}

void InstallerDialog::OnPaint() {
    if (!::IsIconic(m_hWnd)) {
        Default();
        return;
    }
    PaintScope paint(m_hWnd);
    ::SendMessageA(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(paint.dc()), 0);
    const int cxIcon = ::GetSystemMetrics(SM_CXICON);
    const int cyIcon = ::GetSystemMetrics(SM_CYICON);
    RECT client = {};
    ::GetClientRect(m_hWnd, &client);
    ::DrawIcon(paint.dc(), IconCentreOffset(client.left, client.right, cxIcon),
               IconCentreOffset(client.top, client.bottom, cyIcon), m_hIcon);
}

HICON InstallerDialog::OnQueryDragIcon() { return m_hIcon; }
