#include "ui/message_dialog.h"

#include <gtest/gtest.h>

#include "platform/app_base.h"
#include "ui/dialog_watcher.h"
#include "ui/install_fixture.h"

TEST(MessageDialog, ShowsAnIdWithoutStringAsEmptyTextAndStillWaitsForOk) {
    DialogWatcher watcher;
    MessageDialog dialog(nullptr, nullptr);
    EXPECT_EQ(IDOK, dialog.ShowMessage(4242));
    ASSERT_EQ(1u, watcher.seen().size());
    EXPECT_EQ("", watcher.seen()[0].messageText);
    EXPECT_EQ(nullptr, watcher.seen()[0].owner);
}

TEST(MessageDialog, CanBeShownAgainWithAnotherMessage) {
    DialogWatcher watcher;
    MessageDialog dialog(nullptr, nullptr);
    dialog.ShowMessage(106);
    dialog.ShowMessage(109);
    ASSERT_EQ(2u, watcher.seen().size());
    EXPECT_EQ(ResourceText(106), watcher.seen()[0].messageText);
    EXPECT_EQ(ResourceText(109), watcher.seen()[1].messageText);
}

