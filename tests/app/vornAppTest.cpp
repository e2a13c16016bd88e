// Start-up of the real application object in this process: the command
// line becomes rows, and the main window is shown as the top window.
#include "app/vornApp.h"
#include "ui/ModalDialog.h"
#include "ui/mainFrame.h"

#include "tests/support/GuiTest.h"
#include "tests/support/SlowDisk.h"
#include "tests/support/TempDir.h"
#include "tests/support/Utf8.h"

#include <gtest/gtest.h>
#include <wx/dialog.h>
#include <wx/listctrl.h>
#include <wx/process.h>
#include <wx/utils.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The folder the command line below names; created before start-up.
std::unique_ptr<TempDir> g_dir;
std::vector<std::string> g_args;
// The list as start-up left it, taken before any test runs: the tests may
// run in any order, and some of them change the list.
struct StartRow
{
    wxString name;
    wxString location;
    long state;
};
std::vector<StartRow> g_startRows;
std::vector<int> g_startColumnWidths;

mainFrame* Frame()
{
    return dynamic_cast<mainFrame*>(wxTheApp->GetTopWindow());
}

// Runs a program to its end while this process keeps answering events (the
// server under test lives in this event loop); returns its exit status.
long RunToEnd(const std::vector<wxString>& args)
{
    return RunProgram(args, wxEXEC_SYNC | wxEXEC_NODISABLE);
}

// The id of a window that process `pid` shows with title `title`, or empty.
wxString WindowOf(long pid, const wxString& title)
{
    wxArrayString lines;
    wxExecute(wxS("wmctrl -lp"), lines, wxEXEC_SYNC | wxEXEC_NODISABLE);
    for (const wxString& line : lines) {
        wxArrayString fields = wxSplit(line.Strip(wxString::both), ' ');
        fields.erase(std::remove(fields.begin(), fields.end(), wxString()), fields.end());
        if (fields.size() >= 4 && fields[2] == wxString::Format("%ld", pid) &&
            line.EndsWith(wxS(" ") + title)) {
            return fields[0];
        }
    }
    return wxString();
}

wxListCtrl* List()
{
    return dynamic_cast<wxListCtrl*>(FindChild(wxTheApp->GetTopWindow(), wxS("ID_LISTCTRL_FILES")));
}

} // namespace

TEST(vornApp, ShowsTheMainWindowAsTopWindow)
{
    auto* frame = dynamic_cast<mainFrame*>(wxTheApp->GetTopWindow());
    ASSERT_NE(nullptr, frame);
    EXPECT_TRUE(frame->IsShown());
    ASSERT_NE(nullptr, List());
    ASSERT_EQ(3u, g_startColumnWidths.size());
    EXPECT_EQ(180, g_startColumnWidths[1]);
    EXPECT_EQ(60, g_startColumnWidths[2]);
}

TEST(vornApp, EveryArgumentBecomesARowInOrder)
{
    const std::vector<StartRow>& rows = g_startRows;
    ASSERT_EQ(g_args.size(), rows.size());
    const TempDir& dir = *g_dir;
    EXPECT_EQ(W(dir / "a.txt"), rows[0].location);
    EXPECT_EQ(W("没有发现这个文件"), rows[1].location); // "-h"
    EXPECT_EQ(wxS("-h"), rows[1].name);
    EXPECT_EQ(W("没有发现这个文件"), rows[2].location); // "/?"
    EXPECT_EQ(W(dir / "中文 名.txt"), rows[3].location);
    EXPECT_EQ(W("中文 名.txt"), rows[3].name);
    EXPECT_EQ(W("没有发现这个文件"), rows[4].location); // ""
    EXPECT_EQ(W(dir / "folder"), rows[5].location);
    EXPECT_EQ(W(dir / "a.txt"), rows[6].location);
    EXPECT_EQ(ROW_WAITING, rows[6].state);
}

TEST(vornApp, ALaterStartShowsTheHiddenWindowAndAddsNothing)
{
    mainFrame* frame = Frame();
    ASSERT_NE(nullptr, frame);
    const int rows = List()->GetItemCount();
    frame->Close(); // the close box: hidden
    ASSERT_TRUE(WaitFor([&] { return !frame->IsShown(); }));

    EXPECT_EQ(0, RunToEnd({wxS(VORN_PROGRAM), W(*g_dir / "a.txt"), wxS("/")}));
    EXPECT_TRUE(WaitFor([&] { return frame->IsShown(); }));
    EXPECT_EQ(rows, List()->GetItemCount());
    EXPECT_EQ(frame, wxTheApp->GetTopWindow());
}

TEST(vornApp, ALaterStartRestoresTheMinimisedWindow)
{
    mainFrame* frame = Frame();
    ASSERT_NE(nullptr, frame);
    frame->Show(true);
    ASSERT_TRUE(WaitFor([&] { return frame->IsShownOnScreen(); }));
    frame->Iconize(true);
    ASSERT_TRUE(WaitFor([&] { return frame->IsIconized(); }));
    EXPECT_EQ(0, RunToEnd({wxS(VORN_PROGRAM)}));
    EXPECT_TRUE(WaitFor([&] { return !frame->IsIconized() && frame->IsShown(); }));
}

TEST(vornApp, TheTopicIsMatchedIgnoringCase)
{
    Frame()->Show(false);
    EXPECT_EQ(0, RunToEnd({wxS(VORN_IPC_CLIENT), wxS("ONLY_One")}));
    EXPECT_TRUE(WaitFor([&] { return Frame()->IsShown(); }));
    Settle(300); // let the window manager finish mapping it
    Frame()->Show(false);
    Settle(300);
    ASSERT_FALSE(Frame()->IsShown());
    EXPECT_EQ(1, RunToEnd({wxS(VORN_IPC_CLIENT), wxS("only_two")}));
    EXPECT_EQ(1, RunToEnd({wxS(VORN_IPC_CLIENT), wxS("")}));
    Settle(200);
    EXPECT_FALSE(Frame()->IsShown());
    Frame()->Show(true);
}

// Starts a later instance while a modal window runs in this process,
// answers the message box that it shows with the tool's name as caption,
// and returns its exit status; -2 when no such message box appeared.
long LaterStartAnsweringItsMessage()
{
    const wchar_t* const later[] = {VORN_PROGRAM_W, nullptr};
    long status = -1;
    wxProcess* process = new wxProcess; // deletes itself when the process ends
    process->Bind(wxEVT_END_PROCESS, [&](wxProcessEvent& event) { status = event.GetExitCode(); });
    const long pid = wxExecute(later, wxEXEC_ASYNC, process);
    wxString box;
    WaitFor([&] { return !(box = WindowOf(pid, W("彻底删除工具"))).empty(); }, 20000);
    if (box.empty()) {
        wxProcess::Kill(pid, wxSIGKILL);
        WaitFor([&] { return status >= 0; }, 5000);
        return -2;
    }
    const wxString key[] = {wxS("xdotool"), wxS("windowactivate"), wxS("--sync"), box,
                            wxS("key"),     wxS("Return")};
    RunToEnd(std::vector<wxString>(std::begin(key), std::end(key)));
    WaitFor([&] { return status >= 0; }, 10000);
    return status;
}

TEST(vornApp, ALaterStartDuringAModalDialogGetsTheBusyMessage)
{
    wxDialog dialog(Frame(), wxID_ANY, wxS("modal"));
    bool stayedModal = false;
    long status = -1;
    dialog.CallAfter([&] {
        status = LaterStartAnsweringItsMessage();
        stayedModal = dialog.IsModal();
        dialog.EndModal(wxID_OK);
    });
    dialog.ShowModal();
    EXPECT_EQ(1, status) << "-2: no busy message appeared";
    EXPECT_TRUE(stayedModal);
}

TEST(vornApp, ALaterStartDuringADeletionRunGetsTheBusyMessage)
{
    const std::string huge = *g_dir / "huge.bin";
    WriteFile(huge, std::string(64 << 20, 'h'));
    SetSlowWrites(50); // seconds of writing
    List()->DeleteAllItems();
    Frame()->AddFile(W(huge));
    long status = -1;
    bool stillRunning = false;
    Frame()->CallAfter([&] {
        // Inside the progress window's modal loop.
        status = LaterStartAnsweringItsMessage();
        wxDialog* progress = FindOpenModalDialog();
        stillRunning = progress != nullptr && Frame()->IsRunning();
        if (progress != nullptr) {
            ClickButton(progress, wxS("ID_BUTTON_CANCEL"));
        }
    });
    ASSERT_TRUE(ClickButton(Frame(), wxS("ID_BUTTON_DEL")));
    SetSlowWrites(0);

    EXPECT_EQ(1, status) << "-2: no busy message appeared";
    EXPECT_TRUE(stillRunning);
    EXPECT_FALSE(Frame()->IsRunning());
    EXPECT_EQ(1, List()->GetItemCount());
    EXPECT_TRUE(Exists(huge));
    ::unlink(huge.c_str());
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    g_dir = std::make_unique<TempDir>();
    const TempDir& dir = *g_dir;
    // A home and a runtime folder of this run's own: the lock and the socket
    // must not meet a real instance of the user's.
    MakeDir(dir / "home");
    MakeDir(dir / "run");
    ::chmod((dir / "run").c_str(), 0700);
    ::setenv("HOME", (dir / "home").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (dir / "run").c_str(), 1);
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
    if (wxListCtrl* list = List()) {
        for (int column = 0; column < list->GetColumnCount(); ++column) {
            g_startColumnWidths.push_back(list->GetColumnWidth(column));
        }
        for (long i = 0; i < list->GetItemCount(); ++i) {
            g_startRows.push_back({list->GetItemText(i, 0), list->GetItemText(i, 1),
                                   static_cast<long>(list->GetItemData(i))});
        }
    }
    const int status = RUN_ALL_TESTS();
    wxTheApp->OnExit();
    wxEntryCleanup();
    g_dir.reset();
    return status;
}
