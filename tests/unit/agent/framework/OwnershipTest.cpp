// Who destroys what: menus held by CMenu, and the owning-handle template.
#include "win32/UniqueHandle.h"
#include "framework/Menu.h"
#include "tests/unit/agent/framework/FrameworkTestIds.h"

#include <gtest/gtest.h>

#include <thread>
#include <utility>
#include <vector>

namespace {

TEST(MenuOwnership, HolderDestroysItsMenuButSubMenusAndBorrowedViewsNever) {
    HMENU loaded = nullptr;
    HMENU attached = ::CreatePopupMenu();
    {
        CMenu fromResource;
        ASSERT_TRUE(fromResource.LoadMenu(IDR_TEST_MENU));
        loaded = fromResource.GetSafeHmenu();
        CMenu holder;
        ASSERT_TRUE(holder.Attach(attached));
        {
            CMenu sub = fromResource.GetSubMenu(0);
            ASSERT_NE(nullptr, sub.GetSafeHmenu());
            CMenu view = CMenu::Borrow(loaded);
        }
        EXPECT_TRUE(::IsMenu(loaded));
        EXPECT_EQ(1, fromResource.GetSubMenu(0).GetMenuItemCount());
    }
    EXPECT_FALSE(::IsMenu(loaded));
    EXPECT_FALSE(::IsMenu(attached));
}

// Counts what a UniqueHandle closes.
struct FakeTraits {
    using type = int;
    static type invalid() noexcept { return 0; }
    static void close(type value) noexcept { closed.push_back(value); }
    static std::vector<int> closed;
};
std::vector<int> FakeTraits::closed;
using FakeHandle = UniqueHandle<FakeTraits>;

TEST(UniqueHandle, ClosesEachValueExactlyOnceThroughResetMoveAndRelease) {
    using Closed = std::vector<int>;
    FakeTraits::closed.clear();
    {
        FakeHandle handle(1);
        handle.reset(2);
        EXPECT_EQ(Closed{1}, FakeTraits::closed);
        FakeHandle moved(std::move(handle));
        EXPECT_FALSE(handle);
        FakeHandle assigned(3);
        assigned = std::move(moved);  // the target's old value goes
        EXPECT_EQ((Closed{1, 3}), FakeTraits::closed);
        EXPECT_EQ(2, assigned.get());
        FakeHandle released(5);
        EXPECT_EQ(5, released.release());
    }
    EXPECT_EQ((Closed{1, 3, 2}), FakeTraits::closed);
}

TEST(MutexLock, GivesTheMutexBackSoAnotherThreadCanTakeIt) {
    UniqueKernelHandle mutex(::CreateMutexA(nullptr, FALSE, nullptr));
    ASSERT_TRUE(mutex);
    auto otherThreadTakes = [&] {
        DWORD result = WAIT_FAILED;
        std::thread([&] {
            result = ::WaitForSingleObject(mutex.get(), 0);
            if (result == WAIT_OBJECT_0) ::ReleaseMutex(mutex.get());
        }).join();
        return result == WAIT_OBJECT_0;
    };
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(mutex.get(), 0));
    {
        MutexLock lock(mutex.get());
        EXPECT_FALSE(otherThreadTakes());
    }
    EXPECT_TRUE(otherThreadTakes());
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(mutex.get(), 0));  // still open
    ::ReleaseMutex(mutex.get());
}

}  // namespace
