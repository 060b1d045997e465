// An exit trigger inside nested loops waits for the outermost one to end.
#include <gtest/gtest.h>

#include "frame/ExitDeferral.h"

namespace {

TEST(ExitDeferral, OutsideAnyNestingATriggerRunsAtOnce) {
    ExitDeferral deferral;
    EXPECT_FALSE(deferral.Defer(WM_CLOSE));
    deferral.Enter();
    EXPECT_EQ(0u, deferral.Leave());
    EXPECT_FALSE(deferral.Defer(WM_CLOSE));
}

TEST(ExitDeferral, TheFirstHeldTriggerComesBackOnlyWhenTheOutermostNestingEnds) {
    ExitDeferral deferral;
    deferral.Enter();                      // the tray menu
    deferral.Enter();                      // a tick's shell call inside it
    EXPECT_TRUE(deferral.Defer(WM_CLOSE));
    EXPECT_TRUE(deferral.Defer(WM_USER));  // a second trigger changes nothing
    EXPECT_EQ(0u, deferral.Leave());
    EXPECT_EQ(static_cast<UINT>(WM_CLOSE), deferral.Leave());
    EXPECT_EQ(0u, deferral.Leave()) << "handed back twice";
}

}  // namespace
