// Where the framework puts a modal dialog that its own initialisation left
// hidden and unmoved: centred over a visible owner. One that placed itself is
// left where it went.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/dialog_base.h"
#include "platform/os_calls.h"
#include "ui/dialog_watcher.h"
#include "ui/res/resource.h"

namespace {

// The About template: at (0, 0) and hidden, as the rule wants.
class PlacedDialog : public DialogBase {
public:
    PlacedDialog(HWND owner, bool movesItself) : DialogBase(IDD_ABOUT, owner, nullptr), m_moves(movesItself) {}

protected:
    BOOL OnInitDialog() override {
        DialogBase::OnInitDialog();
        if (m_moves) ::SetWindowPos(m_hWnd, nullptr, 7, 9, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        return TRUE;
    }

private:
    bool m_moves;
};

class OwnerWindow {
public:
    OwnerWindow() {
        m_window = ::CreateWindowExA(0, "STATIC", "owner", WS_POPUP | WS_VISIBLE, 150, 120, 500, 360,
                                     nullptr, nullptr, nullptr, nullptr);
    }
    ~OwnerWindow() { ::DestroyWindow(m_window); }
    HWND get() const { return m_window; }

private:
    HWND m_window;
};

const RECT kFakeWork = {40, 30, 440, 330};
BOOL WINAPI FakeMonitorInfo(HMONITOR, LPMONITORINFO info) {
    info->rcMonitor = kFakeWork;
    info->rcWork = kFakeWork;
    return TRUE;
}

// Where an ownerless dialog went, with the guard's table in force.
RECT PlacedWithoutOwner() {
    DialogWatcher watcher;
    PlacedDialog dialog(nullptr, false);
    EXPECT_EQ(IDOK, dialog.DoModal());
    EXPECT_EQ(1u, watcher.seen().size());
    return watcher.seen().empty() ? RECT{} : watcher.seen()[0].rect;
}

// The centre of r is the area's, to the pixel that halving leaves.
void ExpectCentredIn(const RECT& r, const RECT& area) {
    EXPECT_LE(std::abs((r.left + r.right) - (area.left + area.right)), 1);
    EXPECT_LE(std::abs((r.top + r.bottom) - (area.top + area.bottom)), 1);
}

}  // namespace

// The monitor's work area where the system has the monitor functions; the
// one work area of 95 and NT 4.0 where either is missing.
TEST(DialogPlacement, OwnerlessDialogIsCentredInTheWorkArea) {
    ASSERT_NE(nullptr, RealOsCalls().MonitorFromWindow);
    ASSERT_NE(nullptr, RealOsCalls().GetMonitorInfoA);
    RECT work = {};
    ASSERT_TRUE(::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0));
    enum { kNoneAbsent, kMonitorFromWindowAbsent, kGetMonitorInfoAbsent };
    for (const int absent : {kNoneAbsent, kMonitorFromWindowAbsent, kGetMonitorInfoAbsent}) {
        OsCallsGuard guard;
        guard.Set(&OsCalls::GetMonitorInfoA, &FakeMonitorInfo);
        if (absent == kMonitorFromWindowAbsent) guard.MarkAbsent(&OsCalls::MonitorFromWindow);
        if (absent == kGetMonitorInfoAbsent) guard.MarkAbsent(&OsCalls::GetMonitorInfoA);
        SCOPED_TRACE(absent);
        ExpectCentredIn(PlacedWithoutOwner(), absent == kNoneAbsent ? kFakeWork : work);
    }
}

TEST(DialogPlacement, HiddenUnmovedDialogIsCentredOverItsVisibleOwner) {
    OwnerWindow owner;
    ASSERT_NE(nullptr, owner.get());
    DialogWatcher watcher;
    PlacedDialog dialog(owner.get(), false);
    EXPECT_EQ(IDOK, dialog.DoModal());
    ASSERT_EQ(1u, watcher.seen().size());
    EXPECT_EQ(owner.get(), watcher.seen()[0].owner);
    ExpectCentredIn(watcher.seen()[0].rect, {150, 120, 650, 480});
}

TEST(DialogPlacement, DialogThatPlacedItselfIsLeftThere) {
    OwnerWindow owner;
    DialogWatcher watcher;
    PlacedDialog dialog(owner.get(), true);
    EXPECT_EQ(IDOK, dialog.DoModal());
    ASSERT_EQ(1u, watcher.seen().size());
    EXPECT_EQ(7, watcher.seen()[0].rect.left);
    EXPECT_EQ(9, watcher.seen()[0].rect.top);
}
