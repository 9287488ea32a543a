#include "check/seal_check.h"

#include <set>

#include "check/module_probe.h"
#include "check/whole_file.h"
#include "engine/seal/file_hash.h"
#include "engine/seal/seal_signature.h"
#include "platform/ansi_text.h"
#include "platform/text_case.h"

bool ProbedPackage::Contains(const std::string& name) {
    const ModuleProbe probe = ProbeModule(m_folder, name);
    return probe.listed && !probe.directory;
}

int ProbedPackage::Hash(const std::string& name, Sha256Digest* digest) {
    const ModuleProbe probe = ProbeModule(m_folder, name);
    uint32_t error = 0;
    return probe.opened && HashFile(probe.path, digest, &error) == 1 ? 1 : 0;
}

SealRead ProbedPackage::ReadSealText(std::string* text) {
    const ModuleProbe probe = ProbeModule(m_folder, kSealFileName);
    if (!probe.listed) return SealRead::kAbsent;
    return probe.opened && ReadWholeFile(probe.path, text, kMaxSealSize) ? SealRead::kRead : SealRead::kDamaged;
}

SealRead ProbedPackage::ReadSealSignature(std::string* bytes) {
    const ModuleProbe probe = ProbeModule(m_folder, kSealSignatureName);
    if (!probe.listed) return SealRead::kAbsent;
    return probe.opened && ReadWholeFile(probe.path, bytes, kMaxSealSignatureSize) ? SealRead::kRead
                                                                                  : SealRead::kDamaged;
}

ProgramSigner PackageProgramSigner(const std::string& folder) {
    const ModuleProbe program = ProbeModule(folder, kProgramName);
    std::string bytes;
    if (!program.listed) return ProgramSigner();
    ProgramSigner unreadable;
    unreadable.state = ProgramSigner::kUnreadable;
    return program.opened && ReadWholeFile(program.path, &bytes) ? SignerOfProgram(bytes) : unreadable;
}

SealCheck CheckFolderSeal(const std::string& folder, const std::deque<std::string>& fileEntries) {
    ProbedPackage package(folder);
    const ProgramSigner signer = PackageProgramSigner(folder);
    return VerifyPackage(package, fileEntries, signer.Publisher());
}

int WriteSeal(const std::string& folder, const std::vector<std::string>& modules, std::string* text,
              std::string* problem) {
    std::vector<std::string> names = {kChangeListName};
    names.insert(names.end(), modules.begin(), modules.end());
    names.push_back(kProgramName);
    std::set<std::string> sealed;
    text->clear();
    for (std::string name : names) {
        const ModuleProbe probe = ProbeModule(folder, name);
        UpperCaseAnsi(name);
        if (!probe.opened || !sealed.insert(name).second) continue;
        Sha256Digest digest;
        uint32_t error = 0;
        if (HashFile(probe.path, &digest, &error) != 1) {
            *problem = "cannot read " + probe.path + " (error " + std::to_string(error) + ")";
            return 0;
        }
        // The name as the folder has it: sha256sum -c on a file system that
        // tells case apart must find it. A name beyond ASCII stays in the
        // package's code page, in which the installer reads the seal.
        bool ascii = true;
        for (const char c : probe.name) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
        *text += SealLineText(digest, ascii ? probe.name : name);
    }
    const ModuleProbe existing = ProbeModule(folder, kSealFileName);
    const std::string path = existing.listed ? existing.path : JoinPath(folder, kSealFileName, kLocalSeparator);
    if (!WriteWholeFile(path, *text)) {
        *problem = "cannot write " + path;
        return 0;
    }
    return 1;
}
