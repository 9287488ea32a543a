// The About box: the program's icon, name and version, and an OK button.
// Opened from the installer dialog's system menu; placed by the framework
// (centred in the work area, since its owner is minimised).
#pragma once

#include "platform/dialog_base.h"

class AboutDialog : public DialogBase {
public:
    AboutDialog(HWND hParent, HINSTANCE resources);
    ~AboutDialog() override;
};
