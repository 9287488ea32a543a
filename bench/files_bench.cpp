// Cost per file of an installation run, against the floor of the same work,
// and the cost of a seal.
//
//   bench_files NEWER.DLL OLDER.DLL N:ROUNDS [N:ROUNDS]...
//   bench_files --sealed NEWER.DLL OLDER.DLL N:ROUNDS [N:ROUNDS]...
//   bench_files --seal-text NEWER.DLL OLDER.DLL N SEAL
//   bench_files --signed QMXSET.EXE QMX_CHG.SUM.p7s NEWER.DLL OLDER.DLL N:ROUNDS
//   bench_files --keep NEWER.DLL OLDER.DLL N:ROUNDS [N:ROUNDS]...
//   bench_files --calls NEWER.DLL OLDER.DLL N:ROUNDS [N:ROUNDS]...
//
// For each N, generates a package of N modules (see bench_package.h) and
// times, in ROUNDS alternating rounds, four runs over the same files: the
// floor that copies in place and the durable floor (floor_install.h), and
// the installer's own sequence with the log off and with it on. Before every
// run the replaced copies are put back and the log is removed, outside the
// timing. Prints one tab-separated line per N: N, rounds, median seconds of
// the in-place floor, log off and log on, the medians of the per-round
// ratios off/floor and on/floor, the log's bytes per run, the mean seconds
// of one existence test of an absent name in the system folder, the mean
// seconds of one log line, then the median seconds of the durable floor and
// the medians of the per-round ratios off/durable floor and on/durable
// floor. The per-round ratios compare runs
// made moments apart, so a slow spell of the shared machine, or of Wine,
// that spans a round cancels out of them.
//
// With --sealed, each round times the installer's run with the log off on
// the same package twice, in turn first: without a seal and with a
// QMX_CHG.SUM covering the change list and every module (written outside the
// timing). The change list then sits in the package folder, where the seal
// check hashes it. Prints one tab-separated line per N: N, rounds, median
// seconds unsealed and sealed, the median of the per-round ratios
// sealed/unsealed, the bytes the seal covers, and the median seconds of the
// seal check alone (VerifyPackage, once a round).
// With --seal-text, writes to SEAL the seal of the package of N modules, the
// same bytes every time: the ones a signature for --signed is made over.
// With --signed, each round times the run with the log off on the sealed
// package as --sealed does, and again with the seal signed (the .p7s given,
// made over the --seal-text seal) by the signer of the given signed
// QMXSET.EXE, whose file the signed run reads and whose signer it finds,
// as the program reads its own. Prints one tab-separated line: N, rounds,
// median seconds sealed and signed, the median of the per-round ratios
// signed/sealed, and the median seconds of what the signature adds alone
// (the program's file read and its signer found, the signature read and
// checked), once a round.
// With --keep, each round times the installer's run with the log off, then
// the keeping steps alone over the modules it replaces, on a fresh system
// folder and an empty store each time: the digests of the new and of the
// installed copy (read through handles the run holds already),
// UndoStore::Keep and the store's listing; with hard links,
// then with CreateHardLinkA marked absent (flushed copies). Prints one
// tab-separated line per N: N, rounds, modules replaced, the median seconds
// of the run, of keeping with links and with copies, and the medians of the
// per-round ratios of each keeping to the run without it.
// With --calls, each round times the installer's run with the log off and
// the durable floor, in turn first, and every call either makes through the
// OS call table (call_profile.h), on a fresh system folder and store.
// Prints, per N, a line "N ROUNDS run SECONDS floor SECONDS" with the median
// runs, then one line per call: N, the call's name, its calls per run and
// the median of its seconds per run in the installer, then the same in the
// floor (0 where it makes no such call).
// Exit status 1 when a run does not do what it should (a sealed run whose
// check fails does not copy the newer half).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>
#include <vector>

#include "bench_clock.h"
#include "bench_package.h"
#include "call_profile.h"
#include "changelist/change_list_file.h"
#include "engine/swap/durable_copy.h"
#include "engine/local/file_deployment.h"
#include "engine/local/program_signer.h"
#include "engine/run/module_decision.h"
#include "engine/seal/file_hash.h"
#include "engine/run/installation_run.h"
#include "engine/site/outcome.h"
#include "engine/seal/package_seal.h"
#include "engine/seal/seal_file.h"
#include "engine/seal/seal_signature.h"
#include "engine/undo/undo_store.h"
#include "floor_install.h"
#include "log/debug_log.h"
#include "platform/file_search.h"
#include "platform/os_calls.h"

namespace {

const char kLogPath[] = "C:\\QMX_CHG.LOG";

// The machine the change list targets (see WriteBenchChangeList).
Machine BenchMachine(const BenchPackage& package) {
    Machine machine;
    machine.osClass = QMX_OS_NT5_OR_LATER;
    machine.isAdmin = 1;
    machine.language = QMX_LANG_ENGLISH;
    machine.systemDir = package.systemDir;
    machine.programDir = package.programDir;
    machine.platformId = 2;
    machine.majorVersion = 6;
    machine.minorVersion = 1;
    return machine;
}

// The installer's run from its initialisation on: the log switch, then the
// installation run itself, on the change list at changeListPath (empty:
// beside this executable). Returns the outcome bits.
uint32_t InstallerRun(const Machine& machine, const std::string& storeDir,
                      const std::string& changeListPath = std::string(), const ProgramSigner* publisher = nullptr) {
    FileDeployment deployment(machine, std::string(), storeDir, publisher);
    InstallationRun run(machine, deployment, changeListPath);
    run.ApplyLogSwitch(0);
    const uint32_t outcome = run.Run().outcome;
    SetLogSwitch(0);
    return outcome;
}

enum Variant { FLOOR, DURABLE_FLOOR, LOG_OFF, LOG_ON, VARIANTS };
enum SealVariant { UNSEALED, SEALED, SEAL_VARIANTS };
enum SignedVariant { SEALED_ONLY, SIGNED, SIGNED_VARIANTS };

struct Sizes {
    size_t files;
    int rounds;
};

bool ParseSizes(int first, int argc, char** argv, std::vector<Sizes>* sizes) {
    for (int i = first; i < argc; ++i) {
        unsigned long files = 0;
        int rounds = 0;
        if (std::sscanf(argv[i], "%lu:%d", &files, &rounds) != 2 || files == 0 || rounds <= 0) {
            return false;
        }
        sizes->push_back({files, rounds});
    }
    return !sizes->empty();
}

long FileSize(const char* path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return 0;
    return static_cast<long>(data.nFileSizeLow);
}

// The run's outcome on a package of count modules: the newer half copied,
// the rest skipped.
uint32_t ExpectedOutcome(size_t count) {
    return count == 1 ? QMX_INST_COPIED : (QMX_INST_COPIED | QMX_INST_SKIPPED);
}

// One timed run of the variant; false when it did not copy exactly the
// newer half.
bool TimedRun(Variant variant, const BenchPackage& package, double* seconds, long* logBytes) {
    const size_t count = package.names.size();
    const size_t newer = (count / 4) * 2 + std::min<size_t>(count % 4, 2);
    if (!ResetSystemDir(package) || !WriteBenchChangeList(package, variant == LOG_ON)) return false;
    ::DeleteFileA(kLogPath);

    const Machine machine = BenchMachine(package);
    const double start = NowSeconds();
    bool right = false;
    if (variant == FLOOR || variant == DURABLE_FLOOR) {
        const long copied =
            FloorInstall(package.changeListPath, package.programDir, package.systemDir,
                         variant == FLOOR ? FloorCopy::kInPlace : FloorCopy::kDurable, package.storeDir);
        *seconds = NowSeconds() - start;
        right = copied == static_cast<long>(newer);
    } else {
        const uint32_t outcome = InstallerRun(machine, package.storeDir);
        *seconds = NowSeconds() - start;
        right = outcome == ExpectedOutcome(count);
        if (variant == LOG_ON) *logBytes = FileSize(kLogPath);
    }
    if (!right) std::fprintf(stderr, "variant %d did the wrong thing for %lu files\n", variant,
                             static_cast<unsigned long>(count));
    return right;
}

// Mean seconds of one existence test of a name that the system folder does
// not hold, over up to 200 such names: what the platform pays to learn that
// a file is absent, at this size of folder.
double AbsentLookupSeconds(const BenchPackage& package) {
    int tested = 0;
    const double start = NowSeconds();
    for (size_t i = 0; i < package.names.size() && tested < 200; ++i) {
        if (IsInstalled(i)) continue;
        WIN32_FIND_DATAA found;
        HANDLE find = ::FindFirstFileA((package.systemDir + "\\" + package.names[i]).c_str(), &found);
        if (find != INVALID_HANDLE_VALUE) ::FindClose(find);
        ++tested;
    }
    return tested ? (NowSeconds() - start) / tested : 0.0;
}

// Mean seconds of one log line while the switch is on, over 200 lines of
// the length the comparison writes: each opens, checks, appends to and
// closes the log.
double LogLineSeconds(const BenchPackage& package) {
    const std::string path = package.programDir + "\\" + package.names[0];
    ::DeleteFileA(kLogPath);
    SetLogSwitch(1);
    const double start = NowSeconds();
    for (int i = 0; i < 200; ++i) {
        DebugLog("CompareTimeStamp [4a] - %s is \"%s\".\r\n", path.c_str(), "5.1.2601");
    }
    const double taken = (NowSeconds() - start) / 200;
    SetLogSwitch(0);
    ::DeleteFileA(kLogPath);
    return taken;
}

bool MeasureSize(const BenchFixtures& fixtures, const Sizes& size, const std::string& listPath) {
    BenchPackage package;
    if (!CreateBenchPackage(fixtures, size.files, listPath, &package)) {
        RemoveBenchPackage(package);
        return false;
    }
    const double absentLookup = AbsentLookupSeconds(package);
    const double logLine = LogLineSeconds(package);
    std::vector<double> seconds[VARIANTS];
    std::vector<double> ratioOff;
    std::vector<double> ratioOn;
    std::vector<double> ratioOffDurable;
    std::vector<double> ratioOnDurable;
    long logBytes = 0;
    bool right = true;
    for (int round = 0; round < size.rounds && right; ++round) {
        double taken[VARIANTS] = {};
        // The order turns each round, so no variant always follows another.
        for (int k = 0; k < VARIANTS && right; ++k) {
            const Variant variant = static_cast<Variant>((round + k) % VARIANTS);
            right = TimedRun(variant, package, &taken[variant], &logBytes);
            seconds[variant].push_back(taken[variant]);
        }
        ratioOff.push_back(taken[LOG_OFF] / taken[FLOOR]);
        ratioOn.push_back(taken[LOG_ON] / taken[FLOOR]);
        ratioOffDurable.push_back(taken[LOG_OFF] / taken[DURABLE_FLOOR]);
        ratioOnDurable.push_back(taken[LOG_ON] / taken[DURABLE_FLOOR]);
    }
    RemoveBenchPackage(package);
    ::DeleteFileA(kLogPath);
    if (!right) return false;
    std::printf("%lu\t%d\t%.9f\t%.9f\t%.9f\t%.4f\t%.4f\t%ld\t%.9f\t%.9f\t%.9f\t%.4f\t%.4f\n",
                static_cast<unsigned long>(size.files), size.rounds, Median(seconds[FLOOR]),
                Median(seconds[LOG_OFF]), Median(seconds[LOG_ON]), Median(ratioOff),
                Median(ratioOn), logBytes, absentLookup, logLine, Median(seconds[DURABLE_FLOOR]),
                Median(ratioOffDurable), Median(ratioOnDurable));
    std::fflush(stdout);
    return true;
}

// The seal of the package as sha256sum would write it: the change list,
// then every module. Adds the bytes it covers to *bytes.
bool SealText(const BenchPackage& package, std::string* seal, long long* bytes) {
    std::vector<std::string> names(1, "QMX_CHG.DAT");
    names.insert(names.end(), package.names.begin(), package.names.end());
    for (const std::string& name : names) {
        const std::string path = package.programDir + "\\" + name;
        Sha256Digest digest;
        uint32_t error = 0;
        if (HashFile(path, &digest, &error) != 1) {
            std::fprintf(stderr, "hashing %s failed (%lu)\n", path.c_str(), static_cast<unsigned long>(error));
            return false;
        }
        *seal += SealLineText(digest, name);
        *bytes += FileSize(path.c_str());
    }
    return true;
}

bool TimedSealRun(SealVariant variant, const BenchPackage& package, const std::string& seal,
                  double* seconds) {
    const std::string sealPath = package.programDir + "\\" + kSealFileName;
    if (!ResetSystemDir(package)) return false;
    if (variant == UNSEALED) {
        ::DeleteFileA(sealPath.c_str());
    } else if (!WriteWholeFile(sealPath, seal)) {
        std::fprintf(stderr, "writing %s failed (%lu)\n", sealPath.c_str(), ::GetLastError());
        return false;
    }
    const Machine machine = BenchMachine(package);
    const double start = NowSeconds();
    const uint32_t outcome = InstallerRun(machine, package.storeDir, package.changeListPath);
    *seconds = NowSeconds() - start;
    const bool right = outcome == ExpectedOutcome(package.names.size());
    if (!right) std::fprintf(stderr, "the %s run gave 0x%x for %lu files\n", variant == SEALED ? "sealed" : "unsealed",
                             static_cast<unsigned>(outcome), static_cast<unsigned long>(package.names.size()));
    return right;
}

bool MeasureSeal(const BenchFixtures& fixtures, const Sizes& size) {
    BenchPackage package;
    bool right = CreateBenchPackage(fixtures, size.files, std::string(), &package);
    // The change list in the package folder, where the seal covers it.
    package.changeListPath = package.programDir + "\\QMX_CHG.DAT";
    std::string seal;
    long long sealedBytes = 0;
    right = right && WriteBenchChangeList(package, false) && SealText(package, &seal, &sealedBytes);
    std::vector<double> seconds[SEAL_VARIANTS];
    std::vector<double> ratio;
    std::vector<double> check;
    for (int round = 0; round < size.rounds && right; ++round) {
        double taken[SEAL_VARIANTS] = {};
        for (int k = 0; k < SEAL_VARIANTS && right; ++k) {
            const SealVariant variant = static_cast<SealVariant>((round + k) % SEAL_VARIANTS);
            right = TimedSealRun(variant, package, seal, &taken[variant]);
            seconds[variant].push_back(taken[variant]);
        }
        ratio.push_back(taken[SEALED] / taken[UNSEALED]);
        // The seal check alone, on the sealed package.
        if (right) {
            const std::deque<std::string> entries(package.names.begin(), package.names.end());
            right = WriteWholeFile(package.programDir + "\\" + kSealFileName, seal);
            const double start = NowSeconds();
            right = right && VerifyPackage(package.programDir, entries, nullptr) == 1;
            check.push_back(NowSeconds() - start);
        }
    }
    RemoveBenchPackage(package);
    if (!right) return false;
    std::printf("%lu\t%d\t%.9f\t%.9f\t%.4f\t%lld\t%.9f\n", static_cast<unsigned long>(size.files),
                size.rounds, Median(seconds[UNSEALED]), Median(seconds[SEALED]), Median(ratio), sealedBytes,
                Median(check));
    std::fflush(stdout);
    return true;
}

// The package of size.files modules, sealed, with its change list in the
// package folder; false with a message when it cannot be made.
bool SealedBenchPackage(const BenchFixtures& fixtures, size_t files, BenchPackage* package, std::string* seal) {
    long long bytes = 0;
    package->changeListPath = std::string();
    if (!CreateBenchPackage(fixtures, files, std::string(), package)) return false;
    package->changeListPath = package->programDir + "\\QMX_CHG.DAT";
    return WriteBenchChangeList(*package, false) && SealText(*package, seal, &bytes) &&
           WriteWholeFile(package->programDir + "\\" + kSealFileName, *seal);
}

bool WriteSealText(const BenchFixtures& fixtures, size_t files, const std::string& path) {
    BenchPackage package;
    std::string seal;
    const bool right = SealedBenchPackage(fixtures, files, &package, &seal) && WriteWholeFile(path, seal);
    RemoveBenchPackage(package);
    return right;
}

bool TimedSignedRun(SignedVariant variant, const BenchPackage& package, const std::string& program,
                    const std::string& signature, double* seconds) {
    const std::string signaturePath = package.programDir + "\\" + kSealSignatureName;
    if (!ResetSystemDir(package)) return false;
    ::DeleteFileA(signaturePath.c_str());
    if (variant == SIGNED && !WriteWholeFile(signaturePath, signature)) return false;
    const Machine machine = BenchMachine(package);
    const double start = NowSeconds();
    ProgramSigner signer;
    std::string bytes;
    if (variant == SIGNED && ReadPackageFile(program, 16 * 1024 * 1024, &bytes) == SealRead::kRead) {
        signer = SignerOfProgram(bytes);
    }
    const uint32_t outcome = InstallerRun(machine, package.storeDir, package.changeListPath, &signer);
    *seconds = NowSeconds() - start;
    const bool right = outcome == ExpectedOutcome(package.names.size());
    if (!right) std::fprintf(stderr, "the %s run gave 0x%x\n", variant == SIGNED ? "signed" : "sealed", outcome);
    return right;
}

// The steps a signed seal adds to a run, from the files: true when the
// signature is the program's signer's.
bool SignatureAlone(const std::string& program, const BenchPackage& package, const std::string& seal) {
    std::string bytes, signature;
    if (ReadPackageFile(program, 16 * 1024 * 1024, &bytes) != SealRead::kRead) return false;
    const ProgramSigner signer = SignerOfProgram(bytes);
    return ReadPackageFile(package.programDir + "\\" + kSealSignatureName, kMaxSealSignatureSize, &signature) ==
               SealRead::kRead &&
           CheckSealSignature(signature, seal, signer.Publisher()).state == SealSignatureState::kVerified;
}

bool MeasureSigned(const BenchFixtures& fixtures, const Sizes& size, const std::string& program,
                   const std::string& signaturePath) {
    BenchPackage package;
    std::string seal, signature;
    bool right = SealedBenchPackage(fixtures, size.files, &package, &seal) &&
                 ReadPackageFile(signaturePath, kMaxSealSignatureSize, &signature) == SealRead::kRead;
    std::vector<double> seconds[SIGNED_VARIANTS];
    std::vector<double> ratio;
    std::vector<double> alone;
    for (int round = 0; round < size.rounds && right; ++round) {
        double taken[SIGNED_VARIANTS] = {};
        for (int k = 0; k < SIGNED_VARIANTS && right; ++k) {
            const SignedVariant variant = static_cast<SignedVariant>((round + k) % SIGNED_VARIANTS);
            right = TimedSignedRun(variant, package, program, signature, &taken[variant]);
            seconds[variant].push_back(taken[variant]);
        }
        ratio.push_back(taken[SIGNED] / taken[SEALED_ONLY]);
        if (right) {
            right = WriteWholeFile(package.programDir + "\\" + kSealSignatureName, signature);
            const double start = NowSeconds();
            right = right && SignatureAlone(program, package, seal);
            alone.push_back(NowSeconds() - start);
        }
    }
    RemoveBenchPackage(package);
    if (!right) {
        std::fprintf(stderr, "the signed seal of %lu modules does not verify\n", static_cast<unsigned long>(size.files));
        return false;
    }
    std::printf("%lu\t%d\t%.9f\t%.9f\t%.4f\t%.9f\n", static_cast<unsigned long>(size.files), size.rounds,
                Median(seconds[SEALED_ONLY]), Median(seconds[SIGNED]), Median(ratio), Median(alone));
    std::fflush(stdout);
    return true;
}

// The digest of the file at path, through a handle opened outside the
// timing, as the run has one: the new copy is read back through the handle
// that flushed it (readBack), which Wine has already asked its server for
// the file's descriptor, and the installed copy through the one that reads
// its security, whose first read still asks. The handle stays open in
// *file, as the installed copy's does for the link.
bool TimedDigest(const std::string& path, bool readBack, Sha256Digest* digest, double* seconds, HANDLE* file) {
    *file = ::CreateFileA(path.c_str(), READ_CONTROL | GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (*file == INVALID_HANDLE_VALUE) return false;
    char first = 0;
    DWORD got = 0;
    bool hashed = !readBack || ::ReadFile(*file, &first, 1, &got, nullptr);
    uint32_t error = 0;
    const double start = NowSeconds();
    hashed = hashed && (!readBack || ::SetFilePointer(*file, 0, nullptr, FILE_BEGIN) == 0) &&
             HashOpenFile(*file, digest, &error) == 1;
    *seconds += NowSeconds() - start;
    return hashed;
}

// Seconds of keeping, in store, every installed module that a run replaces.
bool TimedKeep(const BenchPackage& package, const Machine& machine, bool links, double* seconds) {
    if (!ResetSystemDir(package)) return false;
    OsCallsGuard guard;
    if (!links) guard.MarkAbsent(&OsCalls::CreateHardLinkA);
    // What the run's existence test found, looked up outside the timing.
    std::vector<WIN32_FIND_DATAA> found(package.names.size());
    for (size_t i = 0; i < package.names.size(); ++i) {
        if (IsNewerThanInstalled(i)) FindFile(package.systemDir + "\\" + package.names[i], &found[i]);
    }
    UndoStore store(machine, package.storeDir);
    bool right = true;
    *seconds = 0;
    for (size_t i = 0; i < package.names.size() && right; ++i) {
        if (!IsNewerThanInstalled(i)) continue;
        const std::string module = package.systemDir + "\\" + package.names[i];
        Sha256Digest incoming, installed;
        DWORD failure = 0;
        HANDLE incomingFile = INVALID_HANDLE_VALUE, installedFile = INVALID_HANDLE_VALUE;
        right = TimedDigest(package.programDir + "\\" + package.names[i], true, &incoming, seconds, &incomingFile) &&
                TimedDigest(module, false, &installed, seconds, &installedFile);
        const double start = NowSeconds();
        right = right && store.Keep(package.names[i], module, found[i], incoming, &failure, &installed, installedFile);
        *seconds += NowSeconds() - start;
        // The run closes both whether it keeps or not.
        if (incomingFile != INVALID_HANDLE_VALUE) ::CloseHandle(incomingFile);
        if (installedFile != INVALID_HANDLE_VALUE) ::CloseHandle(installedFile);
    }
    const double start = NowSeconds();
    store.Close();
    *seconds += NowSeconds() - start;
    if (!right) std::fprintf(stderr, "keeping failed (links %d)\n", links ? 1 : 0);
    return right;
}

bool MeasureKeep(const BenchFixtures& fixtures, const Sizes& size, const std::string& listPath) {
    BenchPackage package;
    bool right = CreateBenchPackage(fixtures, size.files, listPath, &package) && WriteBenchChangeList(package, false);
    const Machine machine = BenchMachine(package);
    std::vector<double> run, linked, copied, ratioLinked, ratioCopied;
    for (int round = 0; round < size.rounds && right; ++round) {
        right = ResetSystemDir(package);
        const double start = NowSeconds();
        right = right && InstallerRun(machine, package.storeDir) == ExpectedOutcome(size.files);
        const double runSeconds = NowSeconds() - start;
        double withLinks = 0, withCopies = 0;
        right = right && TimedKeep(package, machine, true, &withLinks) &&
                TimedKeep(package, machine, false, &withCopies);
        run.push_back(runSeconds);
        linked.push_back(withLinks);
        copied.push_back(withCopies);
        ratioLinked.push_back(withLinks / (runSeconds - withLinks));
        ratioCopied.push_back(withCopies / (runSeconds - withLinks));
    }
    size_t replaced = 0;
    for (size_t i = 0; i < size.files; ++i) replaced += IsNewerThanInstalled(i) ? 1 : 0;
    RemoveBenchPackage(package);
    if (!right) return false;
    std::printf("%lu\t%d\t%lu\t%.9f\t%.9f\t%.9f\t%.4f\t%.4f\n", static_cast<unsigned long>(size.files),
                size.rounds, static_cast<unsigned long>(replaced), Median(run), Median(linked), Median(copied),
                Median(ratioLinked), Median(ratioCopied));
    std::fflush(stdout);
    return true;
}

// Medians over rounds of each call's cost in one kind of run, by name.
struct CallTable {
    std::vector<double> run;
    std::vector<std::string> order;
    std::vector<std::vector<double>> seconds;
    std::vector<uint64_t> calls;

    void Add(double runSeconds, const std::vector<CallCost>& costs) {
        run.push_back(runSeconds);
        for (const CallCost& cost : costs) {
            const size_t at = At(cost.name);
            calls[at] = cost.calls;
            seconds[at].push_back(cost.seconds);
        }
    }
    size_t At(const std::string& name) {
        size_t at = 0;
        while (at < order.size() && order[at] != name) ++at;
        if (at == order.size()) {
            order.push_back(name);
            seconds.emplace_back();
            calls.push_back(0);
        }
        return at;
    }
    // A call this kind of run never made costs nothing.
    double MedianOf(size_t at, int rounds) {
        std::vector<double> all = seconds[at];
        all.resize(static_cast<size_t>(rounds), 0.0);
        return Median(all);
    }
};

// Each call's cost in a run of the installer and in one of the durable
// floor, medians over the rounds, which alternate the two.
bool MeasureCalls(const BenchFixtures& fixtures, const Sizes& size, const std::string& listPath) {
    BenchPackage package;
    bool right = CreateBenchPackage(fixtures, size.files, listPath, &package) && WriteBenchChangeList(package, false);
    const Machine machine = BenchMachine(package);
    const size_t count = package.names.size();
    const long newer = static_cast<long>((count / 4) * 2 + std::min<size_t>(count % 4, 2));
    CallTable installer, floor;
    for (int round = 0; round < size.rounds && right; ++round) {
        for (const bool isFloor : {round % 2 == 1, round % 2 == 0}) {
            right = right && ResetSystemDir(package);
            CallProfile profile;
            const double start = NowSeconds();
            right = right && (isFloor ? FloorInstall(package.changeListPath, package.programDir, package.systemDir,
                                                     FloorCopy::kDurable, package.storeDir) == newer
                                      : InstallerRun(machine, package.storeDir) == ExpectedOutcome(size.files));
            (isFloor ? floor : installer).Add(NowSeconds() - start, profile.Costs());
        }
    }
    RemoveBenchPackage(package);
    if (!right) return false;
    const unsigned long n = static_cast<unsigned long>(size.files);
    std::printf("%lu\t%d\trun\t%.9f\tfloor\t%.9f\n", n, size.rounds, Median(installer.run), Median(floor.run));
    for (const std::string& name : floor.order) installer.At(name);
    for (size_t i = 0; i < installer.order.size(); ++i) {
        const size_t f = floor.At(installer.order[i]);
        std::printf("%lu\t%s\t%llu\t%.9f\t%llu\t%.9f\n", n, installer.order[i].c_str(),
                    static_cast<unsigned long long>(installer.calls[i]), installer.MedianOf(i, size.rounds),
                    static_cast<unsigned long long>(floor.calls[f]), floor.MedianOf(f, size.rounds));
    }
    std::fflush(stdout);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "--seal-text" && argc == 6) {
        return WriteSealText({argv[2], argv[3]}, std::strtoul(argv[4], nullptr, 10), argv[5]) ? 0 : 1;
    }
    std::vector<Sizes> signedSizes;
    if (mode == "--signed" && argc == 7 && ParseSizes(6, argc, argv, &signedSizes)) {
        return MeasureSigned({argv[4], argv[5]}, signedSizes[0], argv[2], argv[3]) ? 0 : 1;
    }
    const bool sealed = argc > 1 && std::string(argv[1]) == "--sealed";
    const bool keep = argc > 1 && std::string(argv[1]) == "--keep";
    const bool calls = argc > 1 && std::string(argv[1]) == "--calls";
    const int first = sealed || keep || calls ? 2 : 1;
    std::vector<Sizes> sizes;
    if (argc < first + 3 || !ParseSizes(first + 2, argc, argv, &sizes)) {
        std::fprintf(stderr,
                     "usage: %s [--sealed | --keep | --calls] NEWER.DLL OLDER.DLL N:ROUNDS [N:ROUNDS]...\n"
                     "       %s --seal-text NEWER.DLL OLDER.DLL N SEAL\n"
                     "       %s --signed QMXSET.EXE QMX_CHG.SUM.p7s NEWER.DLL OLDER.DLL N:ROUNDS\n",
                     argv[0], argv[0], argv[0]);
        return 2;
    }
    const BenchFixtures fixtures = {argv[first], argv[first + 1]};
    if (sealed) {
        for (const Sizes& size : sizes) {
            if (!MeasureSeal(fixtures, size)) return 1;
        }
        return 0;
    }
    // The change list sits beside this executable, where the reader looks.
    std::string listPath;
    {
        ChangeListFile probe;
        listPath = probe.GetChangeListPath(std::string());
    }
    for (const Sizes& size : sizes) {
        const bool measured = keep    ? MeasureKeep(fixtures, size, listPath)
                              : calls ? MeasureCalls(fixtures, size, listPath)
                                      : MeasureSize(fixtures, size, listPath);
        if (!measured) return 1;
    }
    return 0;
}
