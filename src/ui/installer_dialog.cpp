#include "ui/installer_dialog.h"

#include "ui/about_dialog.h"
#include "ui/centring.h"
#include "ui/message_dialog.h"
#include "ui/outcome_strings.h"
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

// The program's main window: no owner.
InstallerDialog::InstallerDialog(HINSTANCE resources)
    : DialogBase(IDD_INSTALLER, nullptr, resources),
      m_hIcon(::LoadIconA(ResourceHandle(), MAKEINTRESOURCEA(IDI_APP))),
      m_logForced(0) {}

InstallerDialog::~InstallerDialog() = default;

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

    ReportOutOfMemory();
    m_installation.ApplyLogSwitch(m_logForced);

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
        AboutDialog about(m_hWnd, ResourceHandle());
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

LRESULT InstallerDialog::RunInstallation(WPARAM, LPARAM) {
    m_result = m_installation.Run(m_undo);
    ::PostMessageA(m_hWnd, WM_INSTALL_DONE, m_result.outcome, 0);
    return 0;
}

int InstallerDialog::Report(const RunResult& result) {
    m_result = result;
    EngingMessage(m_result.outcome, 0);
    return 0;
}

LRESULT InstallerDialog::EngingMessage(WPARAM wParam, LPARAM) {
    RunResult shown = m_result;
    shown.outcome = static_cast<uint32_t>(wParam) & 0xFFFF;
    const UINT messageId = ChooseAndLogMessage(shown, m_installation.GetMachine().language, ResourceHandle());

    ::SetForegroundWindow(m_hWnd);
    {
        MessageDialog message(m_hWnd, ResourceHandle());
        message.ShowMessage(messageId);
    }
    ::PostMessageA(m_hWnd, WM_CLOSE, 0, 0);
    return 0;
}
