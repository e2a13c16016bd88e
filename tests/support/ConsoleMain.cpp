// The main of the console test programs (the engine, the deletion run without
// windows, the socket rules): wxBase only, no display.
#include "tests/support/AssertHandler.h"

#include <gtest/gtest.h>
#include <wx/init.h>

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    wxInitializer wx;
    if (!wx.IsOk()) {
        return 1;
    }
    InstallAssertHandler();
    return RUN_ALL_TESTS();
}
