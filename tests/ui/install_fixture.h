// A scratch machine (support/scratch_machine.h) for in-process runs of the
// installer dialog and the other dialogs, which the watcher answers.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "support/scratch_machine.h"
#include "ui/dialog_watcher.h"

class DialogBase;

class InstallFixture : public ScratchMachine {
protected:
    // Runs dialog modally as the program's main window, clicking OK on every
    // dialog it shows; returns what those dialogs showed.
    static std::vector<SeenDialog> RunModal(DialogBase& dialog, INT_PTR* result = nullptr);
};

// The ANSI text of string id of this executable's string table.
std::string ResourceText(UINT id);
