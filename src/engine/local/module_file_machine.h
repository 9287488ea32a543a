// A module file's machine, read through the call table a piece at a time.
#pragma once

#include <string>

#include "engine/version/module_machine.h"

// kNotImage when the file cannot be opened or read, as when it holds no PE
// image: the run's own steps report a file they cannot use.
ModuleMachine MachineOfFile(const std::string& path);
// The same through file, a handle open for reading that stands at the start.
ModuleMachine MachineOfOpenFile(void* file);
