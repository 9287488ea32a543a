#include "platform/app_base.h"

#include <gtest/gtest.h>

TEST(InstanceName, IsTheFileNameWithoutItsExtension) {
    EXPECT_EQ("QMXSET", InstanceNameFromModulePath("C:\\PACKAGE\\QMXSET.EXE"));
    EXPECT_EQ("qmxset", InstanceNameFromModulePath("c:/package/qmxset.exe"));
    EXPECT_EQ("QMX", InstanceNameFromModulePath("C:QMX.EXE"));
    EXPECT_EQ("COPY OF QMXSET", InstanceNameFromModulePath("\\\\?\\C:\\X\\COPY OF QMXSET.EXE"));
}

TEST(InstanceName, CutsOnlyTheLastExtension) {
    EXPECT_EQ("QMXSET.OLD", InstanceNameFromModulePath("C:\\X\\QMXSET.OLD.EXE"));
}

TEST(InstanceName, KeepsANameWithoutExtensionWhole) {
    EXPECT_EQ("QMXSET", InstanceNameFromModulePath("C:\\X\\QMXSET"));
    EXPECT_EQ("QMXSET", InstanceNameFromModulePath("QMXSET"));
    EXPECT_EQ("", InstanceNameFromModulePath(""));
}

TEST(InstanceName, IgnoresADotInAFolderName) {
    EXPECT_EQ("QMXSET", InstanceNameFromModulePath("C:\\PACKAGE.V2\\QMXSET"));
    EXPECT_EQ("QMXSET", InstanceNameFromModulePath("C:\\PACKAGE.V2\\QMXSET.EXE"));
}

