// A real drag and drop from another program onto the main window, through
// the X server's drag-and-drop protocol, driven by the mouse with xdotool.
#include "ui/mainFrame.h"

#include "tests/support/GuiTest.h"
#include "tests/support/TempDir.h"
#include "tests/support/Utf8.h"

#include <gtest/gtest.h>
#include <wx/listctrl.h>
#include <wx/process.h>
#include <wx/utils.h>

#include <signal.h>

namespace {

// Starts a command without waiting; the returned pid can be polled.
long Start(const std::vector<wxString>& args)
{
    return RunProgram(args, wxEXEC_ASYNC);
}

} // namespace

TEST(DropDelFileTarget, FilesDraggedFromAnotherProgramBecomeRows)
{
    TempDir dir;
    const std::string plain = dir / "plain.txt";
    const std::string chinese = dir / "中文 文件 名.txt";
    WriteFile(plain, "p");
    WriteFile(chinese, "c");

    auto* frame = new mainFrame(nullptr, wxID_ANY, wxDefaultPosition, wxDefaultSize);
    auto* list = dynamic_cast<wxListCtrl*>(FindChild(frame, wxS("ID_LISTCTRL_FILES")));
    frame->Move(400, 300);
    frame->Show(true);
    ASSERT_TRUE(WaitFor([&] { return frame->IsShownOnScreen(); }));
    Settle(300);

    // run-as-user.sh may have moved the helper where an unprivileged user
    // can run it.
    wxString helper = wxS(VORN_DRAG_SOURCE);
    wxGetEnv(wxS("VORN_DRAG_SOURCE"), &helper);
    const long source = Start({helper, W(plain), W(chinese)});
    ASSERT_GT(source, 0);
    const wxPoint drop = list->GetScreenPosition() + wxPoint(100, 80);
    // Press inside the source window, move far enough to start a drag, cross
    // to the list in steps (the protocol needs motion events) and release.
    const long mover = Start({wxS("xdotool"),
                              wxS("search"),
                              wxS("--sync"),
                              wxS("--name"),
                              wxS("^vorn-drag-source$"),
                              wxS("windowactivate"),
                              wxS("--sync"),
                              wxS("%1"),
                              wxS("mousemove"),
                              wxS("--window"),
                              wxS("%1"),
                              wxS("60"),
                              wxS("60"),
                              wxS("sleep"),
                              wxS("0.3"),
                              wxS("mousedown"),
                              wxS("1"),
                              wxS("sleep"),
                              wxS("0.2"),
                              wxS("mousemove_relative"),
                              wxS("20"),
                              wxS("20"),
                              wxS("sleep"),
                              wxS("0.3"),
                              wxS("mousemove"),
                              wxString::Format("%d", drop.x - 20),
                              wxString::Format("%d", drop.y - 20),
                              wxS("sleep"),
                              wxS("0.3"),
                              wxS("mousemove"),
                              wxString::Format("%d", drop.x),
                              wxString::Format("%d", drop.y),
                              wxS("sleep"),
                              wxS("0.5"),
                              wxS("mouseup"),
                              wxS("1")});
    ASSERT_GT(mover, 0);

    const bool dropped = WaitFor([&] { return list->GetItemCount() == 2; }, 15000);
    wxProcess::Kill(source, wxSIGTERM);
    WaitFor([&] { return !wxProcess::Exists(mover); }, 2000);
    ASSERT_TRUE(dropped) << "no drop arrived";
    EXPECT_EQ(W(plain), list->GetItemText(0, 1));
    EXPECT_EQ(W("中文 文件 名.txt"), list->GetItemText(1, 0));
    EXPECT_EQ(W(chinese), list->GetItemText(1, 1));
    EXPECT_EQ(ROW_WAITING, static_cast<long>(list->GetItemData(1)));
    frame->Destroy();
    Settle(50);
}
