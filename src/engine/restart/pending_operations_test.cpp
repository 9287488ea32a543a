#include "engine/restart/pending_operations.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kModule = "C:\\WINDOWS\\SYSTEM32\\X.DLL";
const std::string kStaged = "C:\\WINDOWS\\SYSTEM32\\X.DLM";

// The module as the 32-bit program sees it, by its short name, and where it
// really is; its staged copy the same way.
PendingNames Names() {
    PendingNames names;
    names.module.seen = kModule;
    names.module.seenShort = "C:\\WINDOWS\\SYSTEM32\\LONGMO~1.DLL";
    names.module.real = "C:\\Windows\\SysWOW64\\X.DLL";
    names.staged.seen = kStaged;
    names.staged.real = "C:\\Windows\\SysWOW64\\X.DLM";
    return names;
}

// A REG_MULTI_SZ value from its names, with the closing empty name.
std::string Value(std::initializer_list<std::string> names) {
    std::string bytes;
    for (const std::string& name : names) bytes += name + '\0';
    return bytes + '\0';
}

PendingKind Classify(const std::string& bytes) {
    const PendingNames names = Names();
    PendingCheck check(names);
    check.AddMoveList(bytes);
    return check.Kind();
}

PendingKind ClassifyRename(std::initializer_list<std::string> lines) {
    const PendingNames names = Names();
    PendingCheck check(names);
    for (const std::string& line : lines) check.AddRenameLine(line.data(), line.size());
    return check.Kind();
}

}  // namespace

TEST(PendingOperations, MoveListsTellOursFromAnyoneElses) {
    const struct {
        std::string value;
        PendingKind kind;
    } cases[] = {
        {"", PendingKind::kNone},
        {Value({}), PendingKind::kNone},
        // Someone else's operations on other files change nothing, even one
        // whose target merely ends like the module's path.
        {Value({"\\??\\C:\\A.TMP", "", "\\??\\C:\\B.NEW", "!\\??\\C:\\X.DLL"}), PendingKind::kNone},
        // Ours, in any case, in the real folder, with Windows 11's prefixes.
        {Value({"\\??\\" + kStaged, "!\\??\\" + kModule}), PendingKind::kOurs},
        {Value({"\\??\\c:\\windows\\syswow64\\x.dlm", "!\\??\\c:\\windows\\syswow64\\x.dll"}), PendingKind::kOurs},
        {Value({"*1\\??\\" + kStaged, "!*1\\??\\" + kModule}), PendingKind::kOurs},
        {Value({"*2\\??\\" + kStaged, "*2!\\??\\" + kModule}), PendingKind::kOurs},
        // A replacement, a delete and a move away, by long or short name.
        {Value({"\\??\\C:\\TEMP\\NEW.TMP", "!\\??\\" + kModule}), PendingKind::kForeign},
        {Value({"*1\\??\\" + kModule, ""}), PendingKind::kForeign},
        {Value({"\\??\\C:\\WINDOWS\\SYSTEM32\\longmo~1.dll", "!\\??\\C:\\OLD\\X.DLL"}), PendingKind::kForeign},
        {Value({"\\??\\C:\\WINDOWS\\SYSWOW64\\X.DLL", ""}), PendingKind::kForeign},
        {Value({kModule, ""}), PendingKind::kForeign},  // no NT prefix at all
        // Our staged copy moved on without "!" would not replace the module.
        {Value({"\\??\\" + kStaged, "\\??\\" + kModule}), PendingKind::kForeign},
        // Beside ours, anything else on the module wins, before or after it.
        {Value({"\\??\\" + kStaged, "!\\??\\" + kModule, "\\??\\" + kModule, ""}), PendingKind::kForeign},
        {Value({"\\??\\" + kModule, "", "\\??\\" + kStaged, "!\\??\\" + kModule}), PendingKind::kForeign},
        // Odd lists: a last target cut off (with or without its NUL) is a
        // delete; an empty source does not end the list.
        {"\\??\\" + kModule, PendingKind::kForeign},
        {"\\??\\" + kModule + '\0', PendingKind::kForeign},
        {Value({"", "", "\\??\\C:\\NEW.TMP", "!\\??\\" + kModule}), PendingKind::kForeign},
        {Value({"", "!\\??\\" + kModule}), PendingKind::kForeign},
        {Value({"*9", "!", "\\??\\", "*1!"}), PendingKind::kNone},  // prefixes naming nothing
    };
    int row = 0;
    for (const auto& c : cases) EXPECT_EQ(c.kind, Classify(c.value)) << "row " << row++;
}

TEST(PendingOperations, RenameLinesOfWininit) {
    // The key is the file replaced, the value the one replacing it.
    EXPECT_EQ(PendingKind::kOurs, ClassifyRename({"C:\\WINDOWS\\SYSTEM32\\LONGMO~1.DLL = " + kStaged + " "}));
    EXPECT_EQ(PendingKind::kOurs, ClassifyRename({"NUL=C:\\WINDOWS\\TEMP\\OLD.TMP", kModule + "=" + kStaged}));
    EXPECT_EQ(PendingKind::kForeign, ClassifyRename({"nul=c:\\windows\\system32\\longmo~1.dll"}));
    EXPECT_EQ(PendingKind::kForeign, ClassifyRename({kModule + "=C:\\WINDOWS\\TEMP\\NEW.TMP"}));
    EXPECT_EQ(PendingKind::kForeign, ClassifyRename({kModule + "=" + kStaged, "C:\\ELSEWHERE.DLL=" + kModule}));
    EXPECT_EQ(PendingKind::kNone, ClassifyRename({"", "no pair here", "=", kModule, "C:\\A.DLL=C:\\B.DLL"}));
}

// Read lists as they come from the machine: the module's short forms are
// looked up only when some entry may hold a short name, and the [Rename]
// lines are taken one by one.
TEST(PendingOperations, MachineListsSayWhenShortNamesMatter) {
    const struct {
        const char* what;
        MachinePending read;
        bool shortNames;
        PendingKind kind;
    } cases[] = {
        {"nothing pending", {}, false, PendingKind::kNone},
        {"long names in the second list", {{"", Value({"\\??\\" + kModule, ""})}, ""}, false, PendingKind::kForeign},
        {"a short name in the first list", {{Value({"\\??\\C:\\PROGRA~1\\A.TMP", ""}), ""}, ""}, true,
         PendingKind::kNone},
        {"our [Rename] line by short name",
         {{}, std::string("NUL=C:\\TEMP\\OLD.TMP") + '\0' + "C:\\WINDOWS\\SYSTEM32\\LONGMO~1.DLL=" + kStaged + '\0'},
         true, PendingKind::kOurs},
        {"a lone [Rename] line without its NUL", {{}, "C:\\ELSEWHERE.DLL=" + kModule}, false, PendingKind::kForeign},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.shortNames, c.read.MayUseShortNames()) << c.what;
        const PendingNames names = Names();
        PendingCheck check(names);
        c.read.AddTo(&check);
        EXPECT_EQ(c.kind, check.Kind()) << c.what;
    }
}
