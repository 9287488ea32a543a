#include "ui/message_dialog.h"

#include "ui/centring.h"
#include "ui/res/resource.h"

MessageDialog::MessageDialog(HWND hParent, HINSTANCE resources)
    : DialogBase(IDD_MESSAGE, hParent, resources), m_messageId(0) {}

MessageDialog::~MessageDialog() = default;

INT_PTR MessageDialog::ShowMessage(uint32_t id) {
    m_messageId = id;
    return DialogBase::DoModal();
}

void MessageDialog::DoDataExchange() { BindControl(IDC_MESSAGE_TEXT, m_messageText); }

BOOL MessageDialog::OnInitDialog() {
    DialogBase::OnInitDialog();
    m_messageText.SetWindowText(LoadString(m_messageId));
    ::SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_SHOWWINDOW | SWP_NOMOVE | SWP_NOSIZE);
    CenterOnScreen(m_hWnd);
    ::SetActiveWindow(m_hWnd);
    return TRUE;
}

void MessageDialog::CenterOnScreen(HWND window) {
    const int screenWidth = ::GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = ::GetSystemMetrics(SM_CYSCREEN);
    RECT rect = {};
    ::GetWindowRect(window, &rect);
    ::SetWindowPos(window, nullptr, ScreenCentreOrigin(screenWidth, rect.left, rect.right),
                   ScreenCentreOrigin(screenHeight, rect.top, rect.bottom), 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER);
}
