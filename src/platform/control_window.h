// A control of a dialog, bound to its window by the dialog's data exchange.
#pragma once

#include <windows.h>

#include <string>

class ControlWindow {
public:
    ControlWindow() : m_hWnd(nullptr) {}
    virtual ~ControlWindow() = default;
    ControlWindow(const ControlWindow&) = delete;
    ControlWindow& operator=(const ControlWindow&) = delete;

    void Attach(HWND hWnd) { m_hWnd = hWnd; }
    HWND GetSafeHwnd() const { return m_hWnd; }

    // FALSE when the control is not bound or the text could not be set.
    BOOL SetWindowText(const std::string& text) {
        return m_hWnd ? ::SetWindowTextA(m_hWnd, text.c_str()) : FALSE;
    }

private:
    HWND m_hWnd;
};

// A static-text control.
class StaticControl : public ControlWindow {};
