#include <gtest/gtest.h>

#include "Application/FrameworkApp.h"
#include "System/CursorNames.h"
#include "Window/Native/WindowHost.h"
#include "tests/Common/XServer.h"

using namespace Tavo;

TEST(Cursors, EveryFrameworkCursorHasAThemeCursorAndNullStaysNull)
{
    ASSERT_TRUE(TestXServer().Running());
    const WString* names[] = {&UI_CURSOR_ARROW(),        &UI_CURSOR_IBEAM(),     &UI_CURSOR_WAIT(),
                              &UI_CURSOR_CROSS(),        &UI_CURSOR_UP_ARROW(),  &UI_CURSOR_SIZE_ALL(),
                              &UI_CURSOR_SIZE_NWSE(),    &UI_CURSOR_SIZE_NESW(), &UI_CURSOR_SIZE_WE(),
                              &UI_CURSOR_SIZE_NS(),      &UI_CURSOR_NO_DROP(),   &UI_CURSOR_HAND(),
                              &UI_CURSOR_APP_STARTING(), &UI_CURSOR_HELP()};
    for (const WString* name : names) {
        const CursorHandle handle = FrameworkCursor(*name);
        EXPECT_NE(WindowHost::NativeCursor(handle), 0u) << NString(*name).c_str();
    }
    EXPECT_STREQ(WindowHost::CursorThemeName(IDC_ARROW), "left_ptr");
    EXPECT_STREQ(WindowHost::CursorThemeName(IDC_IBEAM), "xterm");
    EXPECT_STREQ(WindowHost::CursorThemeName(IDC_SIZEWE), "sb_h_double_arrow");
    EXPECT_NE(WindowHost::NativeCursor(102), 0u);  // the program's drop cursors
    EXPECT_EQ(WindowHost::NativeCursor(0), 0u);
    EXPECT_EQ(WindowHost::NativeCursor(12345), 0u);
}
