// A module file's machine, read through the call table a piece at a time.
#pragma once

#include <cstdint>
#include <string>

#include "engine/version/module_machine.h"

// kNotImage when the file cannot be opened or read, as when it holds no PE
// image: the run's own steps report a file they cannot use. openError, when
// given, is the open's error (0 when it opened).
ModuleMachine MachineOfFile(const std::string& path, uint32_t* openError = nullptr);
// The same through file, a handle open for reading that stands at the start.
ModuleMachine MachineOfOpenFile(void* file);
