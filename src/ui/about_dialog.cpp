#include "ui/about_dialog.h"

#include "ui/res/resource.h"

AboutDialog::AboutDialog() : DialogBase(IDD_ABOUT) {}

AboutDialog::~AboutDialog() = default;

void AboutDialog::DoDataExchange() {}
