// Running out of memory in a program built without exceptions.
//
// The shipped programs have no exceptions (their unwinder alone would be a
// third of the installer), so an allocation that fails cannot unwind to the
// run that asked for it. It ends the program instead, through the one
// handler the program has set, which reports what the run had gathered so
// far and exits with its code. Free of Win32.
#pragma once

using OutOfMemoryHandler = void (*)();

// Sets the handler OutOfMemory calls; null for none. Returns the one before.
OutOfMemoryHandler SetOutOfMemoryHandler(OutOfMemoryHandler handler);

// Calls the handler, which ends the program; aborts when there is none or
// it returns.
[[noreturn]] void OutOfMemory();
