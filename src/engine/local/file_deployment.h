// The system folder as the place where modules are replaced and staged: the
// real ModuleSite. Deploy is the installer's CopyTargetFile: one listed
// module by the one decision (DeployModule), whose steps the other
// operations are.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/local/gate_findings.h"
#include "engine/version/module_machine.h"
#include "engine/local/program_signer.h"
#include "engine/local/protected_module.h"
#include "engine/restart/pending_operations.h"
#include "engine/seal/package_seal.h"
#include "engine/site/machine.h"
#include "engine/site/module_site.h"
#include "engine/undo/run_journal.h"
#include "engine/undo/undo_store.h"
#include "engine/version/version_compare.h"

class FileDeployment final : public ModuleSite {
public:
    // Modules come from sourceDir, or the program folder when it is empty,
    // and go to machine's system folder; the copies they replace are kept in
    // storeDir, or QMX_UNDO in the Windows folder when it is empty. The
    // seal must be signed by publisher's signer, or, when it is null, by the
    // running program's own (OwnSigner, read when the seal is first
    // checked). machine and publisher must outlive this.
    explicit FileDeployment(const Machine& machine, const std::string& sourceDir = std::string(),
                            const std::string& storeDir = std::string(), const ProgramSigner* publisher = nullptr);

    // ModuleSite, and the steps DeployModule takes on this site (DeploySite).
    ModuleResult Deploy(const std::string& fileName, const Machine& machine) override;
    ModuleResult Undo(const std::string& fileName, const Machine& machine, bool staged) override;
    ModuleResult RollBack(const std::string& fileName, const Machine& machine, bool staged) override;
    uint32_t FinishInterruptedRuns(const Machine& machine) override;
    bool FitsMachine(const std::string& fileName, const Machine& machine, bool undo, std::string* installed) override;
    void EndRun() override;
    std::string PackagePath(const std::string& name) const;
    std::string InstalledPath(const std::string& name) const;
    bool IsPlainName(const std::string& name) const;
    // 1 when a directory search finds path (a directory counts); else 0.
    int FileExists(const std::string& path);
    int32_t CompareTimeStamp(const std::string& file1, const std::string& file2);
    bool IsProtected(const std::string& path);
    PendingKind PendingFor(const std::string& fileName);
    // Logs who holds path, where Windows can tell.
    void NoteInUse(const std::string& path);
    // QMX_LOCK_*: whether path can be opened exclusively (it is closed again
    // at once: this tests the lock, it holds none).
    int32_t LockDestFile(const std::string& path);
    SwapResult ReplaceNow(const std::string& fileName, const std::string& source,
                          const std::string& dest, bool stillThere, uint32_t* error);
    StagedCopy WriteStagedCopy(const std::string& fileName, const std::string& source,
                               const std::string& staging, const std::string& dest, uint32_t* error);
    int ScheduleReplacement(const std::string& staging, const std::string& dest);
    int DefusePair(const std::string& fileName, const std::string& staging, const std::string& dest,
                   uint32_t* error);
    // The steps UndoModule takes on this site (UndoSite).
    int PackageDigest(const std::string& fileName, Sha256Digest* digest, uint32_t* error);
    int InstalledDigest(const std::string& path, Sha256Digest* digest, uint32_t* error);
    int FindKept(const std::string& fileName, const Sha256Digest& incoming, std::string* kept,
                 Sha256Digest* keptDigest, uint32_t* error);
    SwapResult RestoreNow(const std::string& kept, const Sha256Digest& keptDigest, const std::string& dest,
                          uint32_t* error);
    int StageKept(const std::string& kept, const Sha256Digest& keptDigest, const std::string& staging,
                  const std::string& dest, uint32_t* error);
    void ForgetKept(const std::string& fileName, const Sha256Digest& incoming);
    int KeptCopyOf(const std::string& fileName, const Sha256Digest& kept, std::string* path, uint32_t* error);
    // The package's seal, checked in the folder the modules come from; for
    // a signed program, against its own signer (OwnSigner, read once).
    int VerifyPackage(const FileList& files) override;

private:
    // module, as found, kept for fileName's incoming bytes: true, or false
    // after logging why not.
    // moduleDigest: the module's own, when its bytes were just read, and
    // moduleFile the handle that read them.
    bool KeepInstalled(const std::string& fileName, const std::string& module, const WIN32_FIND_DATAA& found,
                       const Sha256Digest& incoming, const Sha256Digest* moduleDigest = nullptr,
                       HANDLE moduleFile = nullptr);
    // 95/98/Me's ReplaceNow: source's bytes copied onto dest itself.
    SwapResult CopyOverModule(const std::string& fileName, const std::string& source, const std::string& dest,
                              bool found, DWORD* error);
    // After a copy onto dest that failed: the bytes dest held put back, from
    // the copy kept of them (or source, when they were the package's own),
    // unless dest still holds them.
    void PutBackAfterFailedCopy(const std::string& fileName, const std::string& source, const std::string& dest,
                                const Sha256Digest& incoming);
    // The package's identity made known to the store, once a run: from the
    // list VerifyPackage was given and each listed module's digest; the
    // digest of justRead's copy, when given, is the one just read.
    void KnowPackage(const std::string* justRead = nullptr, const Sha256Digest* justReadDigest = nullptr);
    // The machine gate's reading of each side, noting for the decision what
    // it found: the installed module's presence and, outside /undo on the
    // NT family, its handle and the package copy's.
    ModuleMachine InstalledMachine(const std::string& dest, bool undo);
    ModuleMachine PackageMachine(const std::string& path);
    // An all-or-nothing run's change of fileName from the module's bytes the
    // last keep saw to incoming, on the run's record before it is made:
    // true, or false after logging that dest cannot be kept. Any other run:
    // true, with nothing recorded.
    bool RecordChange(const std::string& fileName, const std::string& dest, const Sha256Digest& incoming,
                      bool staged);
    // That the change of fileName is made, on the all-or-nothing run's record.
    void ChangeMade(const std::string& fileName);
    // The interrupted run recorded at path rolled back: its 0x80 and 0x04.
    uint32_t FinishInterruptedRun(const std::string& path, const Machine& machine);

    const Machine& m_machine;
    std::string m_sourceDir;
    UndoStore m_store;
    VersionCompare m_compare;
    ProtectionCheck m_protection;
    // What the last existence test found, and where: a replaced module keeps
    // its attributes and creation time, without a second search.
    WIN32_FIND_DATAA m_lastFound = {};
    std::string m_lastFoundPath;
    // What the machine gate learnt of each module, for its decision.
    GateFindings m_gate;
    // The module whose own replacement the last PendingFor found waiting.
    std::string m_oursPending;
    // The machine's restart-time operations, read at the first PendingFor of
    // a run, and the modules this run has scheduled since.
    MachinePending m_pending;
    bool m_pendingRead = false;
    std::vector<std::string> m_scheduledNow;
    // The staged copy the last step wrote, which a failed scheduling removes.
    std::string m_stagedNow;
    // What an all-or-nothing run is changing, as it goes.
    RunJournal m_journal;
    // The run's list, and whether the store knows the package yet.
    const FileList* m_files = nullptr;
    bool m_packageKnown = false;
    // What a passed seal check vouched for.
    SealedDigests m_vouched;
    const ProgramSigner* m_publisher;
    ProgramSigner m_ownSigner;
    bool m_ownSignerRead = false;
};
