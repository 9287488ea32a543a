// The outcome message: one string of the program's string table in a
// topmost dialog centred on the screen, with a single OK button.
#pragma once

#include <cstdint>

#include "platform/dialog_base.h"

class MessageDialog : public DialogBase {
public:
    MessageDialog(HWND hParent, HINSTANCE resources);
    ~MessageDialog() override;

    // Shows string id modally until the user presses OK (or Escape).
    // Returns the result of the run: IDOK, IDCANCEL, or -1 when the dialog
    // could not be created. An id without a string shows empty text.
    virtual INT_PTR ShowMessage(uint32_t id);

    // Moves window, unsized and in its Z order, to the centre of the primary
    // screen (coordinates computed by ScreenCentreOrigin).
    static void CenterOnScreen(HWND window);

protected:
    void DoDataExchange() override;
    // Sets the text, makes the dialog topmost and visible, centres and
    // activates it. TRUE: the focus goes to OK.
    BOOL OnInitDialog() override;

    StaticControl m_messageText;
    uint32_t m_messageId;
};
