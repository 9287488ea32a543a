#include "check/what_if.h"

#include <cstdio>

#include <deque>

#include "changelist/change_list_file.h"
#include "check/seal_check.h"
#include "engine/module_order.h"
#include "engine/outcome.h"
#include "engine/plain_file_name.h"

namespace {

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
    facts.exists = probe.exists;
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

ModuleDecision Decide(const std::string& packageFolder, const std::string& systemFolder,
                      const std::string& name) {
    if (!IsPlainFileName(name, PackageLeadByte)) {
        return {name, Decision::REFUSED, QMX_INST_NOT_APPLICABLE, "not a plain file name"};
    }
    const ModuleProbe installed = ProbeModule(systemFolder, name);
    if (!installed.listed) {
        return {name, Decision::NOT_INSTALLED, QMX_INST_SKIPPED, "the system folder has no " + name};
    }
    const ModuleProbe shipped = ProbeModule(packageFolder, name);
    const int32_t order = CompareModules(Facts(shipped), Facts(installed));
    switch (order) {
    case QMX_COMP_FILE1_IS_NEW:
        return {name, Decision::REPLACE, QMX_INST_COPIED, Reason(shipped, installed, order)};
    case QMX_COMP_FILE1_NOT_EXIST:
    case QMX_COMP_BOTH_NOT_EXIST:
        return {name, Decision::MISSING, QMX_INST_NOT_APPLICABLE, "the package has no " + name};
    case QMX_COMP_FILE2_NOT_EXIST:
        return {name, Decision::KEEP, QMX_INST_SKIPPED, "the system's " + name + " cannot be opened"};
    default:
        return {name, Decision::KEEP, QMX_INST_SKIPPED, Reason(shipped, installed, order)};
    }
}

}  // namespace

const char* DecisionText(Decision decision) {
    switch (decision) {
    case Decision::REPLACE: return "replace now, or stage if in use";
    case Decision::KEEP: return "keep the newer or equal copy";
    case Decision::NOT_INSTALLED: return "not installed";
    case Decision::MISSING: return "missing from the package";
    case Decision::REFUSED: return "refused: not a plain file name";
    }
    return "";
}

WhatIfResult RunWhatIf(const std::string& packageFolder, const std::string& systemFolder,
                       const WindowsVersion& windows) {
    WhatIfResult result;
    const std::string path = JoinFolder(packageFolder, "QMX_CHG.DAT");
    ChangeListFile install;
    install.SetChangeListPath(path);
    result.targeted = install.CheckInstallVersion(windows.platformId, windows.majorVersion,
                                                  windows.minorVersion, std::string()) == 1;
    ChangeListFile files;
    files.SetChangeListPath(path);
    std::string entry;
    std::deque<std::string> entries;
    if (result.targeted) {
        for (int found = files.FirstFileEntry(entry, std::string()); found == 1;
             found = files.NextEntry(entry)) {
            entries.push_back(entry);
            entry.clear();
        }
    }
    // A package that fails its seal check installs nothing, and says so as a
    // failed run does.
    const SealCheck seal = entries.empty() ? SealCheck{} : CheckFolderSeal(packageFolder, entries);
    if (seal.verdict != SealVerdict::kOk && seal.verdict != SealVerdict::kAbsent) {
        result.sealFault = SealFaultLine(seal);
        result.sealFault.resize(result.sealFault.size() - 2);  // without its CR LF
        result.outcome = QMX_INST_NOT_APPLICABLE;
        result.messageIdEnglish = MessageIdsForLanguage(QMX_LANG_ENGLISH).failedMsgId;
        result.messageIdJapanese = MessageIdsForLanguage(QMX_LANG_JAPANESE).failedMsgId;
        result.quietExitCode = QuietExitCode(result.outcome, 0);
        return result;
    }
    for (const std::string& name : entries) result.modules.push_back(Decide(packageFolder, systemFolder, name));
    if (result.modules.empty()) {
        result.outcome = QMX_INST_NOT_APPLICABLE;
    } else {
        for (const ModuleDecision& module : result.modules) result.outcome |= module.bit;
    }
    result.messageIdEnglish = ChooseMessageId(result.outcome, MessageIdsForLanguage(QMX_LANG_ENGLISH));
    result.messageIdJapanese = ChooseMessageId(result.outcome, MessageIdsForLanguage(QMX_LANG_JAPANESE));
    // As the installer tells them apart: only a list that was read and has
    // an [Install] entry can target other Windows; anything else is broken.
    std::vector<std::string> patterns;
    const int notTargeted = !result.targeted && install.InstallPatterns(patterns, std::string()) == 1 ? 1 : 0;
    result.quietExitCode = QuietExitCode(result.outcome, notTargeted);
    return result;
}
