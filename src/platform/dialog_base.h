// A modal dialog from a template of the program's resources.
//
// DoModal runs the dialog through DialogBoxParamA. One static procedure
// stores `this` in DWLP_USER at WM_INITDIALOG and forwards every later
// message to OnMessage, the dialog's message map; derived dialogs override it
// and fall back to the base for what they do not handle.
//
// Behaviour every dialog shares:
// - Its owner and the module its template and strings come from are given
//   at construction: the dialog asks no one else.
// - OnInitDialog runs DoDataExchange, which binds controls to members.
// - OK ends the run with IDOK, Cancel (also Escape and WM_CLOSE) with
//   IDCANCEL. Other commands go to the default processing.
// - A dialog that is still hidden after its initialisation, has not been
//   moved by it and whose template places it at (0, 0) is centred over its
//   owner, or in the work area when it has no owner or the owner is
//   minimised or hidden.
#pragma once

#include <windows.h>

#include <string>

#include "platform/control_window.h"

class DialogBase {
public:
    // resources: the module of the template and the strings; null for the
    // program's own file (ResourceModule).
    DialogBase(UINT templateId, HWND hParent, HINSTANCE resources);
    virtual ~DialogBase();
    DialogBase(const DialogBase&) = delete;
    DialogBase& operator=(const DialogBase&) = delete;

    // Runs the dialog until it ends itself. Returns the value passed to
    // EndDialog (IDOK, IDCANCEL), or -1 when the dialog could not be created.
    virtual INT_PTR DoModal();

    // The dialog's window while it exists, else nullptr.
    HWND GetSafeHwnd() const { return m_hWnd; }

protected:
    // Runs DoDataExchange. Returns TRUE: the dialog manager sets the focus.
    virtual BOOL OnInitDialog();
    // Binds controls to members (BindControl); nothing in the base.
    virtual void DoDataExchange();
    virtual void OnOK();
    virtual void OnCancel();

    // The message map. true when the message was handled, with its result in
    // *result; false leaves it to the default dialog processing. A handler
    // may also call Default() to hand its message on after all.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    void Default() { m_useDefault = true; }

    void EndDialog(INT_PTR result);
    // Attaches control to the dialog's child id; false when there is none.
    bool BindControl(int id, ControlWindow& control);
    // A string of the program's string table; empty when there is none.
    std::string LoadString(UINT id) const;
    HINSTANCE ResourceHandle() const { return m_hResources; }

    HWND m_hWnd;

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    BOOL InitialiseWindow();
    void PlaceIfUnplaced(const RECT& before);
    bool TemplateWantsCentring() const;
    void CentreOverOwner();

    UINT m_templateId;
    HWND m_hParent;
    HINSTANCE m_hResources;
    bool m_useDefault;
};
