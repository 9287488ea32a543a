#include "check/what_if.h"

#include <cstdio>
#include <map>
#include <utility>

#include "check/seal_check.h"
#include "engine/run/installation_run.h"
#include "engine/version/module_order.h"
#include "engine/run/plain_file_name.h"
#include "engine/undo/store_layout.h"
#include "engine/undo/undo_decision.h"
#include "platform/ansi_text.h"
#include "platform/text_case.h"

namespace {

// The model's paths are written as the target writes them, in its code
// page, and split and joined by the run's own rules: a folder of the model's
// own, then the module's name. Only Probe turns one into a path of this
// machine.
const char kPackageRoot[] = "P:";
const char kSystemRoot[] = "S:";
// The copy of the target's store, and the copies this run keeps.
const char kStoreRoot[] = "T:";
const char kKeptRoot[] = "K:";
// ERROR_CRC: a kept copy that no longer hashes to its name.
const uint32_t kDamaged = 23;

std::string Quoted(const ModuleProbe& probe) {
    return probe.version.hasText ? "\"" + probe.version.text + "\"" : "no FileVersion";
}

// FILETIME ticks as a UTC date and time, to the second.
std::string TimeText(uint64_t ticks) {
    const int64_t seconds = static_cast<int64_t>(ticks / 10000000ull) - 11644473600ll;
    int64_t days = seconds / 86400;
    int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    // Civil date from days since 1970-01-01 (proleptic Gregorian).
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t mp = (5 * dayOfYear + 2) / 153;
    const int64_t day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    char text[128];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld UTC",
                  static_cast<long long>(year), static_cast<long long>(month), static_cast<long long>(day),
                  static_cast<long long>(rest / 3600), static_cast<long long>(rest / 60 % 60),
                  static_cast<long long>(rest % 60));
    return text;
}

ModuleFacts Facts(const ModuleProbe& probe) {
    ModuleFacts facts;
    facts.path = probe.path;
    facts.exists = probe.opened;
    facts.versionRead = probe.version.hasText ? 1 : 0;
    facts.version = probe.version.text;
    facts.lastWrite = probe.lastWrite;
    return facts;
}

// Which of the two texts or times decided, in the comparison's own order.
std::string Reason(const ModuleProbe& shipped, const ModuleProbe& installed, int32_t order) {
    const std::string versions = "package " + Quoted(shipped) + ", system " + Quoted(installed);
    const bool textsDecide = shipped.version.hasText && installed.version.hasText &&
                             order != QMX_COMP_SAME;
    if (textsDecide) {
        // Texts that only differ in case, or in what follows three numbers,
        // leave it to the times: say which.
        const ModuleFacts a = Facts(shipped), b = Facts(installed);
        ModuleFacts sameTimes[2] = {a, b};
        sameTimes[0].lastWrite = sameTimes[1].lastWrite = 0;
        if (CompareModules(sameTimes[0], sameTimes[1]) != QMX_COMP_SAME) return versions;
    }
    return versions + "; package written " + TimeText(shipped.lastWrite) + ", system " +
           TimeText(installed.lastWrite);
}

// The package and system folders as the run sees them, without touching
// either: each step the run takes is remembered instead, so that a module
// listed twice, or a staged copy written earlier in the run, is seen again as
// the real run would see it.
class FolderModel final : public ModuleSite {
public:
    FolderModel(const std::string& packageFolder, const std::string& systemFolder,
                const std::set<std::string>& busy, const PendingFacts& pending, const std::string& storeFolder,
                bool undo)
        : m_package(packageFolder),
          m_system(systemFolder),
          m_busy(busy),
          m_pending(pending),
          m_store(storeFolder),
          m_undo(undo) {
        ReadStoreListing();
    }

    ModuleResult Deploy(const std::string& fileName, const Machine& machine) override {
        const ModuleResult result = DeployModule(fileName, machine, *this);
        m_decisions.push_back({fileName, result.action, result.bit, ReasonFor(fileName, result)});
        m_compared = false;
        return result;
    }

    ModuleResult Undo(const std::string& fileName, const Machine& machine, bool staged) override {
        m_undoReason = "the system's copy is not the package's";
        const ModuleResult result = UndoModule(fileName, machine, *this, staged);
        // A rollback's steps are the run's, not listed modules' decisions.
        if (m_undo) m_decisions.push_back({fileName, result.action, result.bit, UndoReasonFor(fileName, result)});
        return result;
    }

    std::string PackagePath(const std::string& name) const { return JoinPath(kPackageRoot, name); }
    std::string InstalledPath(const std::string& name) const { return JoinPath(kSystemRoot, name); }
    bool IsPlainName(const std::string& name) const { return IsPlainFileName(name); }
    int FileExists(const std::string& path) { return Probe(path).listed ? 1 : 0; }
    int32_t CompareTimeStamp(const std::string& file1, const std::string& file2) {
        const ModuleProbe first = Probe(file1), second = Probe(file2);
        const int32_t order = CompareModules(Facts(first), Facts(second));
        // The module's own comparison gives the reason, not the staged copy's.
        if (!m_compared) {
            m_shipped = first;
            m_installed = second;
            m_order = order;
            m_compared = true;
        }
        return order;
    }
    bool IsProtected(const std::string&) { return false; }
    PendingKind PendingFor(const std::string& fileName) {
        // The lists name the module by its path in the folder given, not by
        // the model's own.
        const std::string dest = JoinPath(m_system, fileName);
        PendingNames names;
        names.module[0] = dest;
        names.staged[0] = ShiftLastLetterOf(dest, 0);
        PendingCheck check(names);
#if defined(_WIN32)
        if (m_pending.onTarget) {
            ReadMachinePending(m_system, dest, m_pending.wininit, &names).AddTo(&check);
        }
#endif
        check.AddMoveList(m_pending.moves);
        return check.Kind();
    }
    void NoteInUse(const std::string&) {}
    int32_t LockDestFile(const std::string& path) {
        return m_busy.count(Key(NameOf(path))) ? QMX_LOCK_INUSE : QMX_LOCK_SUCEES;
    }
    SwapResult ReplaceNow(const std::string& fileName, const std::string& source, const std::string& dest,
                          bool stillThere, uint32_t*) {
        if (stillThere) KeepInstalled(fileName, source, dest);
        Put(dest, Probe(source), source);
        return SwapResult::kDone;
    }
    int WriteStagedCopy(const std::string& fileName, const std::string& source, const std::string& staging,
                        const std::string& dest, uint32_t*) {
        if (Probe(dest).opened) KeepInstalled(fileName, source, dest);
        Put(staging, Probe(source), source);
        return 1;
    }

    // UndoModule's steps, on the model and the copy of the store.
    int PackageDigest(const std::string& fileName, Sha256Digest* digest, uint32_t*) {
        return DigestAt(PackagePath(fileName), digest);
    }
    int InstalledDigest(const std::string& path, Sha256Digest* digest, uint32_t*) { return DigestAt(path, digest); }
    int FindKept(const std::string& fileName, const Sha256Digest& incoming, std::string* kept,
                 Sha256Digest* keptDigest, uint32_t*) {
        const auto found = m_kept.find(Key(fileName + "." + DigestHex(incoming) + "."));
        if (found == m_kept.end()) {
            m_undoReason = "no copy kept for the package's copy";
            return 0;
        }
        *kept = found->second.first;
        *keptDigest = found->second.second;
        return 1;
    }
    SwapResult RestoreNow(const std::string& kept, const Sha256Digest& keptDigest, const std::string& dest,
                          uint32_t* error) {
        return StageKept(kept, keptDigest, dest, dest, error) == 1 ? SwapResult::kDone : SwapResult::kFailed;
    }
    int StageKept(const std::string& kept, const Sha256Digest& keptDigest, const std::string& staging,
                  const std::string&, uint32_t* error) {
        Sha256Digest digest;
        if (DigestAt(kept, &digest) != 1 || digest != keptDigest) {
            m_undoReason = "the kept copy no longer hashes to its name";
            *error = kDamaged;
            return 0;
        }
        Put(staging, Probe(kept), kept);
        return 1;
    }
    void ForgetKept(const std::string& fileName, const Sha256Digest& incoming) {
        m_kept.erase(Key(fileName + "." + DigestHex(incoming) + "."));
    }
    int ScheduleReplacement(const std::string&, const std::string&) { return 1; }
    // The installer's own check, on the package as the probe sees it.
    int VerifyPackage(const FileList& files) override {
        ProbedPackage package(m_package);
        const SealCheck seal = ::VerifyPackage(package, files);
        if (seal.verdict == SealVerdict::kOk || seal.verdict == SealVerdict::kAbsent) return 1;
        m_sealFault = SealFaultLine(seal);
        m_sealFault.resize(m_sealFault.size() - 2);  // without its CR LF
        return 0;
    }

    std::vector<ModuleDecision> TakeDecisions() { return std::move(m_decisions); }
    // The installer's log line when the seal check failed, else empty.
    const std::string& SealFault() const { return m_sealFault; }

private:
    static std::string Key(std::string text) {
        UpperCaseAnsi(text);
        return text;
    }
    const std::string& FolderFor(const std::string& path) const {
        const std::string root = FolderOf(path);
        if (root == kPackageRoot) return m_package;
        const auto store = m_storeFolders.find(root);
        return store != m_storeFolders.end() ? store->second : m_system;
    }
    ModuleProbe Probe(const std::string& path) {
        const auto written = m_written.find(Key(path));
        if (written != m_written.end()) return written->second;
        return ProbeModule(FolderFor(path), NameOf(path));
    }
    // The SHA-256 of what path holds: 1, or 0 when it cannot be read.
    int DigestAt(const std::string& path, Sha256Digest* digest) {
        const auto written = m_digests.find(Key(path));
        if (written != m_digests.end()) {
            *digest = written->second;
            return 1;
        }
        if (m_written.count(Key(path))) return 0;
        return ProbedPackage(FolderFor(path)).Hash(NameOf(path), digest);
    }
    // What a step leaves at path: the bytes and last-write time of from.
    void Put(const std::string& path, ModuleProbe copy, const std::string& from) {
        Sha256Digest digest;
        const bool hashed = DigestAt(from, &digest) == 1;
        copy.listed = copy.opened;
        copy.path = path;
        m_written[Key(path)] = copy;
        if (hashed) {
            m_digests[Key(path)] = digest;
        } else {
            m_digests.erase(Key(path));
        }
    }
    // The installed copy at dest kept, as the store keeps it, for source's bytes.
    void KeepInstalled(const std::string& fileName, const std::string& source, const std::string& dest) {
        Sha256Digest incoming, old;
        if (DigestAt(source, &incoming) != 1 || DigestAt(dest, &old) != 1) return;
        const std::string prefix = fileName + "." + DigestHex(incoming) + ".";
        const std::string kept = JoinPath(kKeptRoot, prefix + DigestHex(old));
        Put(kept, Probe(dest), dest);
        m_kept[Key(prefix)] = {kept, old};
    }
    // The kept copies in the copy of the store's folders 0 to f, each named
    // NAME.NEW.OLD.
    void ReadStoreListing() {
        if (m_store.empty()) return;
        for (const char digit : std::string(kStoreFolderDigits)) {
            const std::string model = JoinPath(kStoreRoot, std::string(1, digit));
            m_storeFolders[model] = JoinPath(m_store, std::string(1, digit), kLocalSeparator);
            ReadStoreFolder(model);
        }
    }
    void ReadStoreFolder(const std::string& model) {
        for (const std::string& name : ListFolder(m_storeFolders[model])) {
            Sha256Digest incoming, digest;
            // A record in another folder than its own is one the installer
            // would not find.
            if (!ParseStoreRecord(name, &incoming, &digest) ||
                model.back() != kStoreFolderDigits[StoreFolderIndex(name.substr(0, name.size() - 130), incoming)]) {
                continue;
            }
            m_kept[Key(name.substr(0, name.size() - 64))] = {JoinPath(model, name), digest};
        }
    }

    std::string m_package;
    std::string m_system;
    const std::set<std::string>& m_busy;
    const PendingFacts& m_pending;
    std::string m_store;
    // The model's folders of the store (T:\\a) and their copies here.
    std::map<std::string, std::string> m_storeFolders;
    bool m_undo;
    std::map<std::string, ModuleProbe> m_written;
    std::map<std::string, Sha256Digest> m_digests;
    // NAME.NEW. upper-cased: the kept copy's model path and digest.
    std::map<std::string, std::pair<std::string, Sha256Digest>> m_kept;
    std::string m_undoReason;
    std::string UndoReasonFor(const std::string& name, const ModuleResult& result) {
        switch (result.action) {
        case ModuleAction::kRefused: return "not a plain file name";
        case ModuleAction::kMissing: return "the package has no " + name;
        case ModuleAction::kKeep:
            return Probe(InstalledPath(name)).listed ? m_undoReason : "the system folder has no " + name;
        case ModuleAction::kFailed: return m_undoReason;
        default: return "the system's copy is the package's, and a copy was kept when it went in";
        }
    }
    std::string ReasonFor(const std::string& name, const ModuleResult& result) {
        switch (result.action) {
        case ModuleAction::kRefused: return "not a plain file name";
        case ModuleAction::kNotInstalled:
        case ModuleAction::kMissing:
            // A copy on the build machine names its files in UTF-8: this name
            // has no such form, so neither folder can show the module.
            if (Probe(InstalledPath(name)).unnamable) {
                return "no file here can be named " + name + ": it is no text of code page " +
                       std::to_string(AnsiCodePage());
            }
            return result.action == ModuleAction::kMissing ? "the package has no " + name
                                                            : "the system folder has no " + name;
        case ModuleAction::kFailed: return "the run could not go on";
        default: break;
        }
        if (m_order == QMX_COMP_FILE2_NOT_EXIST) return "the system's " + name + " cannot be opened";
        return Reason(m_shipped, m_installed, m_order);
    }

    bool m_compared = false;
    ModuleProbe m_shipped;
    ModuleProbe m_installed;
    int32_t m_order = QMX_COMP_SAME;
    std::vector<ModuleDecision> m_decisions;
    std::string m_sealFault;
};

}  // namespace

const char* DecisionText(ModuleAction action, bool undo) {
    if (undo) {
        switch (action) {
        case ModuleAction::kReplace: return "restore the kept copy";
        case ModuleAction::kStage: return "restore at the restart: in use";
        case ModuleAction::kKeep: return "nothing to undo";
        case ModuleAction::kMissing: return "missing from the package";
        case ModuleAction::kRefused: return "refused: not a plain file name";
        default: return "cannot restore";
        }
    }
    switch (action) {
    case ModuleAction::kReplace: return "replace (unless Windows protects it)";
    case ModuleAction::kStage: return "stage for the restart: in use";
    case ModuleAction::kStagePending: return "stage for the restart: our replacement already waits for it";
    case ModuleAction::kRestartFirst: return "restart first: an operation on it waits for the restart";
    case ModuleAction::kKeep: return "keep the newer or equal copy";
    case ModuleAction::kNotInstalled: return "not installed";
    case ModuleAction::kMissing: return "missing from the package";
    case ModuleAction::kRefused: return "refused: not a plain file name";
    case ModuleAction::kProtected: return "protected by Windows";
    case ModuleAction::kFailed: return "failed";
    }
    return "";
}

void AddPendingFact(PendingFacts* facts, const std::string& systemFolder, const std::string& name, bool ours) {
    // As the delayed move writes them, which is what the list's reader reads.
    const std::string dest = "\\??\\" + JoinPath(systemFolder, name);
    facts->moves += ours ? ShiftLastLetterOf(dest, 0) + '\0' + "!" + dest + '\0' : dest + '\0' + '\0';
}

PendingFacts PendingOnTarget(const std::string& systemFolder, const WindowsVersion& windows) {
    PendingFacts facts;
#if defined(_WIN32)
    if (IsSystemFolder(systemFolder)) {
        facts.onTarget = true;
        facts.wininit =
            ClassifyWindows(windows.platformId, windows.majorVersion, windows.minorVersion) == QMX_OS_WIN9X;
    }
#else
    (void)systemFolder;
    (void)windows;
#endif
    return facts;
}

WhatIfResult RunWhatIf(const std::string& packageFolder, const std::string& systemFolder,
                       const WindowsVersion& windows, const std::set<std::string>& busy,
                       const PendingFacts& pending, const std::string& storeFolder, bool undo) {
    const std::string changeList = JoinPath(packageFolder, kChangeListName, kLocalSeparator);
    Machine machine;
    machine.platformId = windows.platformId;
    machine.majorVersion = windows.majorVersion;
    machine.minorVersion = windows.minorVersion;
    machine.osClass = ClassifyWindows(windows.platformId, windows.majorVersion, windows.minorVersion);
    machine.isAdmin = 1;
    machine.systemDir = kSystemRoot;
    machine.programDir = kPackageRoot;

    FolderModel model(packageFolder, systemFolder, busy, pending, storeFolder, undo);
    InstallationRun run(machine, model, changeList);
    WhatIfResult result;
    result.undo = undo;
    const RunResult outcome = run.Run(undo);
    result.modules = model.TakeDecisions();
    result.sealFault = model.SealFault();
    result.outcome = outcome.outcome;
    result.message = ChooseMessage(outcome);
    result.quietExitCode = QuietExitCode(outcome);
    result.targeted = outcome.targeted == 1;
    result.codePage = AnsiCodePage();
    return result;
}
