// Window tests run in this process, in a plain application object, under
// the display named by DISPLAY (Xvfb in the test script).
#include "tests/support/GuiTest.h"

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/image.h>

namespace {

class TestApp : public wxApp
{
public:
    bool OnInit() override
    {
        wxInitAllImageHandlers();
        return true;
    }
};

} // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    wxApp::SetInstance(new TestApp);
    if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) {
        return 1;
    }
    InstallTestHandlers();
    const int status = RUN_ALL_TESTS();
    wxTheApp->OnExit();
    wxEntryCleanup();
    return status;
}
