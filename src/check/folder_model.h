// The what-if's site: the package and system folders as the installer's run
// sees them, without touching either. Each step the run takes is remembered
// instead (ModelFiles), so that a module listed twice, or a staged copy
// written earlier in the run, is seen again as the real run would see it;
// the copies it keeps go to a model of the store (StoreModel).
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "check/model_files.h"
#include "check/store_model.h"
#include "check/what_if.h"
#include "engine/site/module_site.h"
#include "engine/undo/rollback.h"
#include "engine/version/module_order.h"

class FolderModel final : public ModuleSite {
public:
    // The folders are paths of this machine; busy and pending as RunWhatIf
    // takes them, and they must outlive this.
    FolderModel(const std::string& packageFolder, const std::string& systemFolder, const std::set<std::string>& busy,
                const PendingFacts& pending, const std::string& storeFolder, bool undo);

    // The model's own folders, in the run's paths.
    static const char kPackageRoot[];
    static const char kSystemRoot[];

    ModuleResult Deploy(const std::string& fileName, const Machine& machine) override;
    ModuleResult Undo(const std::string& fileName, const Machine& machine, bool staged) override;
    ModuleResult RollBack(const std::string& fileName, const Machine& machine, bool staged) override;
    // The installer's own check, on the package as the probe sees it.
    int VerifyPackage(const FileList& files) override;
    // FileDeployment's comparison, on the model's files: under undo the kept
    // copy the model of the store finds. Each misfit is remembered.
    bool FitsMachine(const std::string& fileName, const Machine& machine, bool undo, std::string* installed) override;

    // DeploySite.
    std::string PackagePath(const std::string& name) const;
    std::string InstalledPath(const std::string& name) const;
    bool IsPlainName(const std::string& name) const;
    int FileExists(const std::string& path) { return m_files.Probe(path).listed ? 1 : 0; }
    int32_t CompareTimeStamp(const std::string& file1, const std::string& file2);
    bool IsProtected(const std::string&) { return false; }
    PendingKind PendingFor(const std::string& fileName);
    void NoteInUse(const std::string&) {}
    int32_t LockDestFile(const std::string& path);
    SwapResult ReplaceNow(const std::string& fileName, const std::string& source, const std::string& dest,
                          bool stillThere, uint32_t* error);
    StagedCopy WriteStagedCopy(const std::string& fileName, const std::string& source, const std::string& staging,
                               const std::string& dest, uint32_t* error);
    int ScheduleReplacement(const std::string&, const std::string&) { return 1; }
    int DefusePair(const std::string& fileName, const std::string& staging, const std::string& dest, uint32_t*);

    // UndoSite, on the model and the copy of the store.
    int PackageDigest(const std::string& fileName, Sha256Digest* digest, uint32_t*) {
        return m_files.DigestAt(PackagePath(fileName), digest);
    }
    int InstalledDigest(const std::string& path, Sha256Digest* digest, uint32_t*) {
        return m_files.DigestAt(path, digest);
    }
    int FindKept(const std::string& fileName, const Sha256Digest& incoming, std::string* kept,
                 Sha256Digest* keptDigest, uint32_t* error);
    void ForgetKept(const std::string& fileName, const Sha256Digest& incoming);
    int KeptCopyOf(const std::string& fileName, const Sha256Digest& kept, std::string* path, uint32_t*);
    SwapResult RestoreNow(const std::string& kept, const Sha256Digest& keptDigest, const std::string& dest,
                          uint32_t* error);
    int StageKept(const std::string& kept, const Sha256Digest& keptDigest, const std::string& staging,
                  const std::string& dest, uint32_t* error);

    std::vector<ModuleDecision> TakeDecisions() { return std::move(m_decisions); }
    std::vector<MachineMisfit> TakeMisfits() { return std::move(m_misfits); }
    // The installer's log line when the seal check failed, else empty.
    const std::string& SealFault() const { return m_sealFault; }

private:
    // The package's identity made known to the model of the store, once.
    void KnowPackage();
    // What the run knew of its change of fileName, from source over path.
    void NoteChange(const std::string& fileName, const std::string& source, const std::string& path);
    // Why the decision on name went as it did.
    std::string ReasonFor(const std::string& name, const ModuleResult& result) const;
    std::string UndoReasonFor(const std::string& name, const ModuleResult& result) const;

    std::string m_package;
    std::string m_system;
    const std::set<std::string>& m_busy;
    const PendingFacts& m_pending;
    bool m_undo;
    ModelFiles m_files;
    StoreModel m_store;
    std::vector<ModuleDecision> m_decisions;
    std::vector<MachineMisfit> m_misfits;
    std::string m_sealFault;
    // The module's own comparison, which gives the reason, not the staged
    // copy's.
    bool m_compared = false;
    ModuleProbe m_shipped;
    ModuleProbe m_installed;
    int32_t m_order = QMX_COMP_SAME;
    std::string m_undoReason;
    // The module whose own replacement the last PendingFor found waiting.
    std::string m_oursPending;
    const FileList* m_list = nullptr;
    std::map<std::string, KnownChange> m_changes;
    bool m_packageKnown = false;
};
