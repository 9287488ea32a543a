#include "app/single_instance.h"

#include <gtest/gtest.h>

TEST(SingleInstanceMutexName, GlobalFromWindows2000OnPlainBefore) {
    const struct {
        uint32_t platform, major;
        const char* expected;
    } cases[] = {
        {1, 4, "QMXSET"},          // 95, 98, Me
        {2, 3, "QMXSET"},          // NT 3.51
        {2, 4, "QMXSET"},          // NT 4.0 refuses the backslash
        {2, 5, "Global\\QMXSET"},  // 2000, XP, Server 2003
        {2, 6, "Global\\QMXSET"},  // Vista to 8.1
        {2, 10, "Global\\QMXSET"},
        {0, 10, "QMXSET"},         // GetVersionExA failed
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, SingleInstanceMutexName(c.platform, c.major, "QMXSET"))
            << "platform " << c.platform << ", major " << c.major;
    }
    // A renamed copy keeps its own name, and so its own mutex.
    EXPECT_EQ("Global\\SETUP2", SingleInstanceMutexName(2, 5, "SETUP2"));
}
