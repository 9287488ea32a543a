// The package's seal as its author handles it: written by "qmxcheck --seal",
// checked by the installer's own check on the folder as the probe sees it.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "engine/local/program_signer.h"
#include "engine/seal/package_seal.h"

// The package in folder, a path of this machine, as the installer's seal
// check sees it: names matched ignoring case, the seal read whole.
class ProbedPackage : public PackageFolder {
public:
    explicit ProbedPackage(const std::string& folder) : m_folder(folder) {}
    bool Contains(const std::string& name) override;
    int Hash(const std::string& name, Sha256Digest* digest) override;
    SealRead ReadSealText(std::string* text) override;
    SealRead ReadSealSignature(std::string* bytes) override;

private:
    std::string m_folder;
};

// The signer of the QMXSET.EXE in folder, as the program would read its
// own; unsigned when the package has none.
ProgramSigner PackageProgramSigner(const std::string& folder);

// What the installer's check (VerifyPackage) would find in the package in
// folder, whose change list has fileEntries under [File], when started from
// there: its QMXSET.EXE's signer (PackageProgramSigner) requires a signed
// seal.
SealCheck CheckFolderSeal(const std::string& folder, const std::deque<std::string>& fileEntries);

// Writes or rewrites QMX_CHG.SUM in folder, as sha256sum would: QMX_CHG.DAT,
// each of modules (the [File] modules the folder holds, in [File] order;
// once each) and QMXSET.EXE when it is there, each under the name it has in
// the folder. 1 with the seal's text in text; 0 with what went wrong in
// problem.
int WriteSeal(const std::string& folder, const std::vector<std::string>& modules, std::string* text,
              std::string* problem);
