// Start-up of the real application object in this process: the command
// line becomes rows, and the main window is shown as the top window.
#include "app/vornApp.h"
#include "ui/mainFrame.h"

#include "tests/support/GuiTest.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <wx/listctrl.h>

#include <memory>

namespace {

// The folder the command line below names; created before start-up.
std::unique_ptr<TempDir> g_dir;
std::vector<std::string> g_args;

wxString W(const std::string& text)
{
    return wxString::FromUTF8(text.c_str());
}

wxListCtrl* List()
{
    return wxDynamicCast(FindChild(wxTheApp->GetTopWindow(), wxS("ID_LISTCTRL_FILES")), wxListCtrl);
}

} // namespace

TEST(vornApp, ShowsTheMainWindowAsTopWindow)
{
    auto* frame = wxDynamicCast(wxTheApp->GetTopWindow(), mainFrame);
    ASSERT_NE(nullptr, frame);
    EXPECT_TRUE(frame->IsShown());
    ASSERT_NE(nullptr, List());
    EXPECT_EQ(180, List()->GetColumnWidth(1));
    EXPECT_EQ(60, List()->GetColumnWidth(2));
}

TEST(vornApp, EveryArgumentBecomesARowInOrder)
{
    wxListCtrl* list = List();
    ASSERT_NE(nullptr, list);
    ASSERT_EQ(static_cast<int>(g_args.size()), list->GetItemCount());
    const TempDir& dir = *g_dir;
    EXPECT_EQ(W(dir / "a.txt"), list->GetItemText(0, 1));
    EXPECT_EQ(W("没有发现这个文件"), list->GetItemText(1, 1)); // "-h"
    EXPECT_EQ(wxS("-h"), list->GetItemText(1, 0));
    EXPECT_EQ(W("没有发现这个文件"), list->GetItemText(2, 1)); // "/?"
    EXPECT_EQ(W(dir / "中文 名.txt"), list->GetItemText(3, 1));
    EXPECT_EQ(W("中文 名.txt"), list->GetItemText(3, 0));
    EXPECT_EQ(W("没有发现这个文件"), list->GetItemText(4, 1)); // ""
    EXPECT_EQ(W(dir / "folder"), list->GetItemText(5, 1));
    EXPECT_EQ(W(dir / "a.txt"), list->GetItemText(6, 1));
    EXPECT_EQ(ROW_WAITING, static_cast<long>(list->GetItemData(6)));
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    g_dir = std::make_unique<TempDir>();
    const TempDir& dir = *g_dir;
    WriteFile(dir / "a.txt", "a");
    WriteFile(dir / "中文 名.txt", "c");
    MakeDir(dir / "folder");
    g_args = {dir / "a.txt", "-h", "/?", dir / "中文 名.txt", "", dir / "folder/", dir / "a.txt"};
    static std::vector<std::string> commandLine = g_args;
    commandLine.insert(commandLine.begin(), "vorn");
    std::vector<char*> raw;
    for (std::string& arg : commandLine) {
        raw.push_back(arg.data());
    }
    raw.push_back(nullptr);
    vornApp::SetRawArguments(static_cast<int>(commandLine.size()), raw.data());

    wxApp::SetInstance(new vornApp);
    int wxArgc = 1;
    if (!wxEntryStart(wxArgc, argv) || !wxTheApp->CallOnInit()) {
        return 1;
    }
    InstallTestHandlers();
    Settle();
    const int status = RUN_ALL_TESTS();
    wxTheApp->OnExit();
    wxEntryCleanup();
    g_dir.reset();
    return status;
}
