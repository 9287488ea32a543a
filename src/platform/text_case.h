// The ANSI code page the program's texts are in: its lead bytes and its
// upper-casing. On Windows it is the system's; the build machine stands in
// for a Windows of a code page it is told (932 unless told otherwise), so
// that the pure logic, its tests and the package check's prediction see the
// target's double-byte rules.
#pragma once

#include <string>

// Upper-cases text by the code page's rules: double-byte characters stay
// intact (a Shift-JIS trail byte in a..z is not a letter), and on Windows the
// platform's own case mapping applies.
void UpperCaseAnsi(std::string& text);

// True when byte opens a double-byte character in the ANSI code page, so the
// byte after it is a trail byte and never a character of its own (a trail
// byte may be "\" or a..z in Shift-JIS).
bool IsAnsiLeadByte(unsigned char byte);

// The code page in force.
unsigned AnsiCodePage();
// Makes codePage the one in force: true on the build machine for any code
// page KnownCodePage holds; on Windows only for the system's own, as a
// program cannot read the system's names in another.
bool UseAnsiCodePage(unsigned codePage);
