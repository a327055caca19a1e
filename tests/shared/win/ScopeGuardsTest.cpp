// The scope guards end what they started on every path, and only that: a nested initialisation is balanced
// too, a failed one is not, a selection gives the DC its own object back and a saved state comes back whole.

#include "win/Handle.h"
#include "win/ScopeGuards.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

// Whether COM is initialised on this thread (probing leaves it as it was).
bool ComIsUp() {
    const HRESULT hr = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(hr))
        ::CoUninitialize();
    return hr == S_FALSE;
}

TEST(ScopeGuards, NestedComAndOleScopesLeaveTheThreadAsTheyFoundIt) {
    // A fresh thread: the test runner's own COM state stays out of it.
    std::thread([] {
        ASSERT_FALSE(ComIsUp());
        {
            const ComApartment outer;
            const OleSession ole;
            {
                const ComApartment nested;  // S_FALSE, balanced too
                EXPECT_TRUE(ComIsUp());
            }
            EXPECT_TRUE(ComIsUp());
        }
        EXPECT_FALSE(ComIsUp());

        // A thread in the multithreaded apartment refuses a single-threaded one: nothing to balance.
        ASSERT_EQ(::CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        { const ComApartment refused; }
        EXPECT_EQ(::CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
        ::CoUninitialize();
        ::CoUninitialize();
    }).join();
}

TEST(ScopeGuards, SelectionSavedStateAndLockEndWithTheirScope) {
    UniqueMemoryDC dc(::CreateCompatibleDC(nullptr));
    ASSERT_TRUE(dc);
    const HGDIOBJ own = ::GetCurrentObject(dc.get(), OBJ_BITMAP);
    UniqueBitmap bitmap(::CreateCompatibleBitmap(dc.get(), 4, 4));
    {
        SelectionScope selected(dc.get(), bitmap.get());
        EXPECT_EQ(::GetCurrentObject(dc.get(), OBJ_BITMAP), bitmap.get());
    }
    EXPECT_EQ(::GetCurrentObject(dc.get(), OBJ_BITMAP), own);

    const COLORREF colour = ::GetTextColor(dc.get());
    {
        SavedDCScope saved(dc.get());
        ::SetTextColor(dc.get(), colour ^ 0xFFFFFF);
        ::SelectObject(dc.get(), bitmap.get());
    }
    EXPECT_EQ(::GetTextColor(dc.get()), colour);
    EXPECT_EQ(::GetCurrentObject(dc.get(), OBJ_BITMAP), own);

    UniqueGlobal block(::GlobalAlloc(GMEM_MOVEABLE, 16));
    ASSERT_TRUE(block);
    {
        GlobalLockScope locked(block.get());
        ASSERT_NE(locked.data(), nullptr);
        EXPECT_EQ(::GlobalFlags(block.get()) & GMEM_LOCKCOUNT, 1u);
    }
    EXPECT_EQ(::GlobalFlags(block.get()) & GMEM_LOCKCOUNT, 0u);
}

}  // namespace
