#include "ui/install_fixture.h"

#include "platform/dialog_base.h"
#include "platform/resource_string.h"

std::vector<SeenDialog> InstallFixture::RunModal(DialogBase& dialog, INT_PTR* result) {
    DialogWatcher watcher;
    const INT_PTR ended = dialog.DoModal();
    if (result) *result = ended;
    EXPECT_FALSE(watcher.timedOut());
    return watcher.seen();
}

std::string ResourceText(UINT id) { return LoadResourceString(::GetModuleHandleA(nullptr), id); }
