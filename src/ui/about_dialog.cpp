#include "ui/about_dialog.h"

#include "ui/res/resource.h"

AboutDialog::AboutDialog(HWND hParent, HINSTANCE resources) : DialogBase(IDD_ABOUT, hParent, resources) {}

AboutDialog::~AboutDialog() = default;
