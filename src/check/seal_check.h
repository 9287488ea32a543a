// The package's seal as its author handles it: written by "qmxcheck --seal",
// checked by the plain check as the installer will check it.
#pragma once

#include <deque>
#include <string>

#include "check/package_check.h"
#include "engine/package_seal.h"

// What the installer's check would find in the package in folder, whose
// change list has fileEntries under [File].
SealCheck CheckFolderSeal(const std::string& folder, const std::deque<std::string>& fileEntries);

// The check's findings on the seal: a warning when there is none, an error
// for any fault the installer would refuse the package for.
void AddSealFindings(PackageReport& report);

// Writes or rewrites QMX_CHG.SUM in folder, as sha256sum would: QMX_CHG.DAT,
// every [File] module the folder holds (once, in [File] order) and
// QMXSET.EXE when it is there, each under the name it has in the folder.
// 1 with the seal's text in text; 0 with what went wrong in problem.
int SealPackage(const std::string& folder, std::string* text, std::string* problem);

// qmxcheck --seal PACKAGE_DIR: SealPackage, then the seal on standard output;
// the exit status, 0 when written, 2 (and why on standard error) when not.
int RunSealCommand(const std::string& folder);
