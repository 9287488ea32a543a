#include "engine/version/module_order.h"

#include "engine/version/version_string.h"
#include "log/debug_log.h"
#include "platform/ansi_text.h"

namespace {

// The version numbers decide; QMX_COMP_SAME when they do not.
int32_t CompareVersionNumbers(const VersionNumbers& v1, const VersionNumbers& v2) {
    const int32_t first[] = {v1.major, v1.minor, v1.third};
    const int32_t second[] = {v2.major, v2.minor, v2.third};
    static const char* const kFirstNewer[] = {
        "CompareTimeStamp : QMX_COMP_FILE1_IS_NEW (1).\r\n",
        "CompareTimeStamp : QMX_COMP_FILE1_IS_NEW (2).\r\n",
        "CompareTimeStamp : QMX_COMP_FILE1_IS_NEW (3).\r\n"};
    static const char* const kSecondNewer[] = {
        "CompareTimeStamp : QMX_COMP_FILE2_IS_NEW (1).\r\n",
        "CompareTimeStamp : QMX_COMP_FILE2_IS_NEW (2).\r\n",
        "CompareTimeStamp : QMX_COMP_FILE2_IS_NEW (3).\r\n"};
    for (int i = 0; i < 3; ++i) {
        if (first[i] > second[i]) {
            DebugLog("%s", kFirstNewer[i]);
            return QMX_COMP_FILE1_IS_NEW;
        }
        if (first[i] < second[i]) {
            DebugLog("%s", kSecondNewer[i]);
            return QMX_COMP_FILE2_IS_NEW;
        }
    }
    DebugLog("CompareTimeStamp : QMX_COMP_SAME (1).\r\n");
    return QMX_COMP_SAME;
}

int32_t CompareLastWriteTimes(uint64_t time1, uint64_t time2) {
    if (time1 > time2) {
        DebugLog("CompareTimeStamp : QMX_COMP_FILE1_IS_NEW (4).\r\n");
        return QMX_COMP_FILE1_IS_NEW;
    }
    if (time1 < time2) {
        DebugLog("CompareTimeStamp : QMX_COMP_FILE2_IS_NEW (4).\r\n");
        return QMX_COMP_FILE2_IS_NEW;
    }
    DebugLog("CompareTimeStamp : QMX_COMP_SAME (3).\r\n");
    return QMX_COMP_SAME;
}

}  // namespace

int32_t CompareModules(const ModuleFacts& first, const ModuleFacts& second) {
    if (!first.exists && !second.exists) {
        DebugLog("CompareTimeStamp [3] - Not exist %s, %s.\r\n", first.path.c_str(), second.path.c_str());
        return QMX_COMP_BOTH_NOT_EXIST;
    }
    if (!first.exists) {
        DebugLog("CompareTimeStamp [2] - Not exist %s.\r\n", first.path.c_str());
        return QMX_COMP_FILE1_NOT_EXIST;
    }
    if (!second.exists) {
        DebugLog("CompareTimeStamp [1] - Not exist %s.\r\n", second.path.c_str());
        return QMX_COMP_FILE2_NOT_EXIST;
    }
    int32_t result = QMX_COMP_SAME;
    if (first.versionRead != 1 || second.versionRead != 1) {
        DebugLog("CompareTimeStamp : QMX_COMP_SAME (3) QmxGetVersion is faild [%d:%d].\r\n",
                 first.versionRead, second.versionRead);
    } else {
        DebugLog("CompareTimeStamp [4a] - %s is \"%s\".\r\n", first.path.c_str(), first.version.c_str());
        DebugLog("CompareTimeStamp [4b] - %s is \"%s\".\r\n", second.path.c_str(), second.version.c_str());
        if (EqualsIgnoringAsciiCaseByteByByte(first.version, second.version)) {
            DebugLog("CompareTimeStamp : QMX_COMP_SAME (2).\r\n");
        } else {
            VersionNumbers numbers1;
            VersionNumbers numbers2;
            ParseVersionText(first.version.c_str(), &numbers1);
            ParseVersionText(second.version.c_str(), &numbers2);
            result = CompareVersionNumbers(numbers1, numbers2);
        }
    }
    if (result == QMX_COMP_SAME) result = CompareLastWriteTimes(first.lastWrite, second.lastWrite);
    return result;
}
