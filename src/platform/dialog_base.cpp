#include "platform/dialog_base.h"

#include "platform/dialog_template.h"
#include "platform/os_calls.h"
#include "platform/resource_string.h"
#include "platform/window_placement.h"

namespace {

// Messages whose dialog-procedure result is the message result itself rather
// than a handled flag with the result in DWLP_MSGRESULT.
bool ReturnsResultDirectly(UINT message) {
    switch (message) {
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
    case WM_INITDIALOG:
        return true;
    default:
        return false;
    }
}

PlacementRect ToPlacement(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

}  // namespace

DialogBase::DialogBase(UINT templateId, HWND hParent, HINSTANCE resources)
    : m_hWnd(nullptr),
      m_templateId(templateId),
      m_hParent(hParent),
      m_hResources(ResourceModule(resources)),
      m_useDefault(false) {}

DialogBase::~DialogBase() = default;

INT_PTR DialogBase::DoModal() {
    return ::DialogBoxParamA(m_hResources, MAKEINTRESOURCEA(m_templateId), m_hParent,
                             &DialogBase::DialogProc, reinterpret_cast<LPARAM>(this));
}

BOOL DialogBase::OnInitDialog() {
    DoDataExchange();
    return TRUE;
}

void DialogBase::DoDataExchange() {}

void DialogBase::OnOK() { EndDialog(IDOK); }

void DialogBase::OnCancel() { EndDialog(IDCANCEL); }

bool DialogBase::OnMessage(UINT message, WPARAM wParam, LPARAM, LRESULT* result) {
    switch (message) {
    case WM_COMMAND:
        if (HIWORD(wParam) != BN_CLICKED) return false;
        if (LOWORD(wParam) == IDOK) {
            OnOK();
        } else if (LOWORD(wParam) == IDCANCEL) {
            OnCancel();
        } else {
            return false;
        }
        *result = 0;
        return true;
    case WM_CLOSE:
        OnCancel();
        *result = 0;
        return true;
    default:
        return false;
    }
}

void DialogBase::EndDialog(INT_PTR result) {
    if (m_hWnd) ::EndDialog(m_hWnd, result);
}

bool DialogBase::BindControl(int id, ControlWindow& control) {
    HWND child = m_hWnd ? ::GetDlgItem(m_hWnd, id) : nullptr;
    control.Attach(child);
    return child != nullptr;
}

std::string DialogBase::LoadString(UINT id) const { return LoadResourceString(m_hResources, id); }

INT_PTR CALLBACK DialogBase::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<DialogBase*>(lParam);
        ::SetWindowLongPtrA(hWnd, DWLP_USER, lParam);
        self->m_hWnd = hWnd;
        return self->InitialiseWindow();
    }
    auto* self = reinterpret_cast<DialogBase*>(::GetWindowLongPtrA(hWnd, DWLP_USER));
    if (!self) return FALSE;
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrA(hWnd, DWLP_USER, 0);
        self->m_hWnd = nullptr;
        return FALSE;
    }
    return self->Dispatch(message, wParam, lParam);
}

INT_PTR DialogBase::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    // A handler may run a nested modal loop that dispatches to this dialog
    // again; each level keeps its own Default() request.
    const bool outer = m_useDefault;
    m_useDefault = false;
    LRESULT result = 0;
    const bool handled = OnMessage(message, wParam, lParam, &result);
    const bool useDefault = m_useDefault;
    m_useDefault = outer;

    if (!handled || useDefault || !m_hWnd) return FALSE;
    if (ReturnsResultDirectly(message)) return static_cast<INT_PTR>(result);
    ::SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, result);
    return TRUE;
}

BOOL DialogBase::InitialiseWindow() {
    RECT before = {};
    ::GetWindowRect(m_hWnd, &before);
    const BOOL result = OnInitDialog();
    if (m_hWnd) PlaceIfUnplaced(before);
    return result;
}

void DialogBase::PlaceIfUnplaced(const RECT& before) {
    if (::GetWindowLongA(m_hWnd, GWL_STYLE) & (WS_VISIBLE | WS_CHILD)) return;
    RECT now = {};
    ::GetWindowRect(m_hWnd, &now);
    if (now.left != before.left || now.top != before.top) return;
    if (!TemplateWantsCentring()) return;
    CentreOverOwner();
}

bool DialogBase::TemplateWantsCentring() const {
    HINSTANCE module = m_hResources;
    HRSRC found = ::FindResourceA(module, MAKEINTRESOURCEA(m_templateId), MAKEINTRESOURCEA(5));
    if (!found) return false;
    HGLOBAL loaded = ::LoadResource(module, found);
    const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
    DialogTemplateHeader header;
    if (!ParseDialogTemplateHeader(bytes, ::SizeofResource(module, found), &header)) return false;
    return header.x == 0 && header.y == 0 && !(header.style & WS_VISIBLE);
}

void DialogBase::CentreOverOwner() {
    HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
    RECT work = {};
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    // Without the monitor functions (95, NT 4.0) there is one screen, whose
    // work area the system parameter gives.
    if (g_os.MonitorFromWindow && g_os.GetMonitorInfoA &&
        g_os.GetMonitorInfoA(g_os.MonitorFromWindow(owner ? owner : m_hWnd, MONITOR_DEFAULTTONEAREST),
                             &monitor)) {
        work = monitor.rcWork;
    } else {
        ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    }
    RECT area = work;
    if (owner && ::IsWindowVisible(owner) && !::IsIconic(owner)) ::GetWindowRect(owner, &area);

    RECT self = {};
    ::GetWindowRect(m_hWnd, &self);
    const PlacementPoint origin = CentredOrigin(ToPlacement(self), ToPlacement(area), ToPlacement(work));
    ::SetWindowPos(m_hWnd, nullptr, origin.x, origin.y, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
