// The main window: its controls, the file list and its buttons, driven
// through real events.
#include "ui/mainFrame.h"
#include "ui/ColourContrast.h"

#include "tests/support/GuiTest.h"
#include "tests/support/TempDir.h"
#include "tests/support/Utf8.h"
#include "vorn/Version.h"

#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/clipbrd.h>
#include <wx/dataobj.h>
#include <wx/dnd.h>
#include <wx/listctrl.h>
#include <wx/panel.h>
#include <wx/tooltip.h>
#include <wx/uiaction.h>

#include <cmath>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class MainFrameTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_frame = new mainFrame(nullptr, wxID_ANY, wxDefaultPosition, wxDefaultSize);
        m_list = dynamic_cast<wxListCtrl*>(FindChild(m_frame, wxS("ID_LISTCTRL_FILES")));
        ASSERT_NE(nullptr, m_list);
    }
    void TearDown() override
    {
        if (m_frame != nullptr) {
            m_frame->Destroy();
            Settle(50);
        }
    }

    wxString Cell(long row, int column) const { return m_list->GetItemText(row, column); }
    long State(long row) const { return static_cast<long>(m_list->GetItemData(row)); }
    void Click(const wxString& name) { ASSERT_TRUE(ClickButton(m_frame, name)); }
    void ShowAndFocus()
    {
        m_frame->Show(true);
        m_frame->Raise();
        ASSERT_TRUE(WaitFor([&] { return m_frame->IsActive(); }));
        m_list->SetFocus();
        Settle();
    }

    // The tool tip shown with the pointer over a row.
    wxString HoverTip(long row)
    {
        wxRect rect;
        m_list->GetItemRect(row, rect);
        wxUIActionSimulator().MouseMove(m_list->ClientToScreen(rect.GetPosition() + wxSize(5, 3)));
        wxWindow* rows = m_list->GetTargetWindow();
        WaitFor([&] { return rows->GetToolTipText() != m_tip; }, 1000);
        m_tip = rows->GetToolTipText();
        return m_tip;
    }

    mainFrame* m_frame = nullptr;
    wxListCtrl* m_list = nullptr;
    wxString m_tip;
};

} // namespace

TEST_F(MainFrameTest, ControlsTextsAndLayout)
{
    EXPECT_EQ(W("Zemfi彻底删除工具 - " VORN_VERSION), m_frame->GetTitle());
    EXPECT_EQ(wxS("id"), m_frame->GetName());
    EXPECT_EQ(wxSize(523, 314), m_frame->GetClientSize());
    EXPECT_FALSE(m_frame->IsShown());

    struct Expected
    {
        const char* name;
        const char* label;
        const char* tip;
    };
    for (const Expected& e :
         {Expected{"ID_CHECKBOX1", "快速删除",
                   "快速删除只对文件擦写一次，适合不是非常需要保密的文件"},
          Expected{"ID_BUTTON_DEL", "彻底删除(&D)", ""},
          Expected{"ID_BUTTON_CLEAR", "清空列表(&C)", "清空列表内容，不会删除文件"},
          Expected{"ID_BUTTON_QUIT", "退出(&Q)", ""}, Expected{"ID_BUTTON1", "关于...", ""}}) {
        SCOPED_TRACE(e.name);
        wxWindow* control = FindChild(m_frame, e.name);
        ASSERT_NE(nullptr, control);
        EXPECT_EQ(W(e.label), control->GetLabel());
        EXPECT_EQ(W(e.tip), control->GetToolTipText());
        EXPECT_EQ(FindChild(m_frame, wxS("ID_PANEL_MAIN")), control->GetParent());
    }
    EXPECT_EQ(W("从文件夹拖入文件以备彻底删除"), m_list->GetToolTipText());
    EXPECT_FALSE(dynamic_cast<wxCheckBox*>(FindChild(m_frame, wxS("ID_CHECKBOX1")))->GetValue());
    EXPECT_EQ(mainFrame::ID_BUTTON_DEL, FindChild(m_frame, wxS("ID_BUTTON_DEL"))->GetId());

    ASSERT_EQ(3, m_list->GetColumnCount());
    const char* headings[] = {"文件名称", "文件位置", "进度"};
    for (int i = 0; i < 3; ++i) {
        wxListItem column;
        column.SetMask(wxLIST_MASK_TEXT | wxLIST_MASK_FORMAT);
        ASSERT_TRUE(m_list->GetColumn(i, column));
        EXPECT_EQ(W(headings[i]), column.GetText());
        EXPECT_EQ(wxLIST_FORMAT_LEFT, column.GetAlign());
    }
    EXPECT_NE(nullptr, m_frame->GetDropTarget());

    // Enlarging the window widens only the list; the About button stays at
    // the bottom of the right-hand column.
    m_frame->Show(true);
    Settle();
    wxWindow* about = FindChild(m_frame, wxS("ID_BUTTON1"));
    wxWindow* quit = FindChild(m_frame, wxS("ID_BUTTON_QUIT"));
    const int listWidth = m_list->GetSize().x;
    const int aboutWidth = about->GetSize().x;
    m_frame->SetClientSize(wxSize(800, 500));
    ASSERT_TRUE(WaitFor([&] { return m_list->GetSize().x > listWidth; }));
    Settle();
    EXPECT_EQ(listWidth + 800 - 523, m_list->GetSize().x);
    EXPECT_EQ(aboutWidth, about->GetSize().x);
    EXPECT_GT(about->GetPosition().y, 400);
    EXPECT_LT(quit->GetPosition().y, 200);
}

TEST_F(MainFrameTest, AddFileListsWhatItFindsAndMarksWhatItDoesNot)
{
    TempDir dir;
    MakeDir(dir / "sub");
    WriteFile(dir / "sub/file.txt", "x");
    WriteFile(dir / "中文 名称.txt", "x");
    WriteFile(dir / "-h", "x");
    ASSERT_EQ(0, ::mkfifo((dir / "pipe").c_str(), 0600));
    char previous[4096];
    ASSERT_NE(nullptr, ::getcwd(previous, sizeof previous));
    ASSERT_EQ(0, ::chdir((dir / "sub").c_str()));
    const std::string root = dir.Path();

    m_frame->AddFile(W(root + "/sub/file.txt"));
    m_frame->AddFile(wxS("../sub/./file.txt"));
    m_frame->AddFile(W(root + "/sub/missing.txt"));
    m_frame->AddFile(wxString());
    m_frame->AddFile(W(root + "/sub/"));
    m_frame->AddFile(W(root + "/sub/file.txt"));
    m_frame->AddFile(wxS("../-h"));
    m_frame->AddFile(wxS("/definitely/not/here"));
    m_frame->AddFile(W(root + "/中文 名称.txt"));
    m_frame->AddFile(W(root + "/pipe"));
    ASSERT_EQ(0, ::chdir(previous));

    struct Row
    {
        std::string name;
        std::string location; // empty: not found
    };
    const std::vector<Row> rows = {
        {"file.txt", root + "/sub/file.txt"},
        {"file.txt", root + "/sub/file.txt"},
        {"missing.txt", ""},
        {"", ""},
        {"", root + "/sub"},
        {"file.txt", root + "/sub/file.txt"},
        {"-h", root + "/-h"},
        {"here", ""},
        {"中文 名称.txt", root + "/中文 名称.txt"},
        {"pipe", ""},
    };
    ASSERT_EQ(static_cast<int>(rows.size()), m_list->GetItemCount());
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(i);
        const long row = static_cast<long>(i);
        EXPECT_EQ(W(rows[i].name), Cell(row, 0));
        EXPECT_EQ(wxString(), Cell(row, 2));
        if (rows[i].location.empty()) {
            EXPECT_EQ(W("没有发现这个文件"), Cell(row, 1));
            EXPECT_EQ(ROW_NOT_FOUND, State(row));
            EXPECT_EQ(wxColour(wxS("red")), m_list->GetItemTextColour(row));
        } else {
            EXPECT_EQ(W(rows[i].location), Cell(row, 1));
            EXPECT_EQ(ROW_WAITING, State(row));
            EXPECT_NE(wxColour(wxS("red")), m_list->GetItemTextColour(row));
        }
    }
}

TEST_F(MainFrameTest, FitColumnsSizesToHeaderOrWidestName)
{
    m_frame->FitColumns();
    const int headerWidth = m_list->GetColumnWidth(0);
    EXPECT_GT(headerWidth, 0);
    EXPECT_EQ(180, m_list->GetColumnWidth(1));
    EXPECT_EQ(60, m_list->GetColumnWidth(2));

    m_frame->AddFile(W("/no/" + std::string(80, 'w') + ".txt"));
    m_frame->FitColumns();
    EXPECT_GT(m_list->GetColumnWidth(0), headerWidth * 2);
    EXPECT_EQ(180, m_list->GetColumnWidth(1));
    EXPECT_EQ(60, m_list->GetColumnWidth(2));
}

TEST_F(MainFrameTest, ClearEmptiesTheListAndTouchesNoFile)
{
    TempDir dir;
    WriteFile(dir / "kept", "kept");
    Click(wxS("ID_BUTTON_CLEAR")); // an empty list: nothing happens
    EXPECT_EQ(0, m_list->GetItemCount());

    m_frame->AddFile(W(dir / "kept"));
    m_frame->AddFile(W(dir / "missing"));
    m_frame->AddFile(W(dir.Path()));
    m_list->SetItemState(1, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    Click(wxS("ID_BUTTON_CLEAR"));
    EXPECT_EQ(0, m_list->GetItemCount());
    EXPECT_EQ("kept", ReadFile(dir / "kept"));
}

TEST_F(MainFrameTest, DroppedFilesBecomeRows)
{
    TempDir dir;
    WriteFile(dir / "a", "a");
    m_frame->AddFile(wxS("/first"));
    wxArrayString dropped;
    dropped.Add(W(dir / "a"));
    dropped.Add(W(dir / "a"));
    dropped.Add(W(dir / "gone"));
    auto* target = static_cast<wxFileDropTarget*>(m_frame->GetDropTarget());
    EXPECT_TRUE(target->OnDropFiles(0, 0, dropped));
    ASSERT_EQ(4, m_list->GetItemCount());
    EXPECT_EQ(W(dir / "a"), Cell(1, 1));
    EXPECT_EQ(W(dir / "a"), Cell(2, 1));
    EXPECT_EQ(ROW_NOT_FOUND, State(3));
}

TEST_F(MainFrameTest, TheCloseBoxHidesAndKeepsEverything)
{
    TempDir dir;
    WriteFile(dir / "f", "f");
    m_frame->AddFile(W(dir / "f"));
    m_frame->AddFile(W(dir / "missing"));
    auto* quick = dynamic_cast<wxCheckBox*>(FindChild(m_frame, wxS("ID_CHECKBOX1")));
    quick->SetValue(true);
    m_frame->FitColumns();
    const int width0 = m_list->GetColumnWidth(0);
    m_frame->Show(true);
    Settle();

    EXPECT_FALSE(m_frame->Close(false)); // refused: the frame only hides
    Settle();
    EXPECT_FALSE(m_frame->IsShown());
    EXPECT_FALSE(m_frame->IsBeingDeleted());

    m_frame->Show(true);
    Settle();
    ASSERT_EQ(2, m_list->GetItemCount());
    EXPECT_EQ(W(dir / "f"), Cell(0, 1));
    EXPECT_EQ(ROW_NOT_FOUND, State(1));
    EXPECT_TRUE(quick->GetValue());
    EXPECT_EQ(width0, m_list->GetColumnWidth(0));
    EXPECT_EQ("f", ReadFile(dir / "f"));
}

TEST_F(MainFrameTest, TheWindowStaysReachableWhereverTheIconIs)
{
    using Area = MyTaskBarIcon::Area;
    for (const Area area : {Area::Item, Area::XEmbed, Area::None}) {
        SCOPED_TRACE(static_cast<int>(area));
        m_frame->TrayAreaChanged(area);
        m_frame->Show(true);
        Settle();
        EXPECT_FALSE(m_frame->Close(false));
        Settle();
        // Hidden where the icon can bring it back; else minimised, still shown.
        EXPECT_EQ(area == Area::None, m_frame->IsShown());
        m_frame->TrayAreaChanged(Area::None); // the notification area goes away
        EXPECT_TRUE(m_frame->IsShown());
        m_frame->Restore();
    }
}

TEST_F(MainFrameTest, AForcedCloseDestroysTheFrame)
{
    bool destroyed = false;
    m_frame->Bind(wxEVT_DESTROY, [&](wxWindowDestroyEvent& event) {
        destroyed |= event.GetEventObject() == m_frame;
        event.Skip();
    });
    m_frame->Close(true);
    ASSERT_TRUE(WaitFor([&] { return destroyed; }));
    m_frame = nullptr;
}

TEST_F(MainFrameTest, AccessKeysPressTheirButtons)
{
    TempDir dir;
    WriteFile(dir / "target", "secret");
    ShowAndFocus();
    wxUIActionSimulator sim;

    m_frame->AddFile(W(dir / "missing"));
    ASSERT_TRUE(sim.Char('c', wxMOD_ALT));
    EXPECT_TRUE(WaitFor([&] { return m_list->GetItemCount() == 0; })) << "Alt+C";

    m_frame->AddFile(W(dir / "target"));
    ASSERT_TRUE(sim.Char('d', wxMOD_ALT));
    EXPECT_TRUE(WaitFor([&] { return m_list->GetItemCount() == 0 && !Exists(dir / "target"); }))
        << "Alt+D";

    // Alt+Q ends the program; here only that it reaches the Quit button.
    int quitClicks = 0;
    FindChild(m_frame, wxS("ID_BUTTON_QUIT"))->Bind(wxEVT_BUTTON, [&](wxCommandEvent&) {
        ++quitClicks; // not skipped: the program must not end inside the test
    });
    ASSERT_TRUE(sim.Char('q', wxMOD_ALT));
    EXPECT_TRUE(WaitFor([&] { return quitClicks == 1; })) << "Alt+Q";
    // The About button has no access key.
    int aboutClicks = 0;
    FindChild(m_frame, wxS("ID_BUTTON1"))->Bind(wxEVT_BUTTON, [&](wxCommandEvent&) {
        ++aboutClicks;
    });
    ASSERT_TRUE(sim.Char('a', wxMOD_ALT));
    Settle(200);
    EXPECT_EQ(0, aboutClicks);
}

TEST_F(MainFrameTest, DeleteShredsWaitingRowsAndKeepsMissingAndFailedOnes)
{
    // ui_tests runs as an unprivileged user (run-as-user.sh), so a
    // read-only file really cannot be opened for writing.
    TempDir dir;
    WriteFile(dir / "file.txt", "file");
    MakeDir(dir / "folder");
    MakeDir(dir / "folder/sub");
    WriteFile(dir / "folder/sub/.deep", "deep");
    WriteFile(dir / "readonly.txt", "protected");
    ::chmod((dir / "readonly.txt").c_str(), 0444);
    WriteFile(dir / "vanishes", "v");

    Click(wxS("ID_BUTTON_DEL")); // an empty list: nothing happens
    m_frame->AddFile(W(dir / "file.txt"));
    m_frame->AddFile(W(dir / "missing.txt"));
    m_frame->AddFile(W(dir / "folder"));
    m_frame->AddFile(W(dir / "readonly.txt"));
    m_frame->AddFile(W(dir / "vanishes"));
    m_frame->AddFile(W(dir / "file.txt"));
    ::unlink((dir / "vanishes").c_str());

    Click(wxS("ID_BUTTON_DEL"));
    ASSERT_EQ(2, m_list->GetItemCount());
    EXPECT_EQ(W("missing.txt"), Cell(0, 0));
    EXPECT_EQ(W("没有发现这个文件"), Cell(0, 1));
    EXPECT_EQ(wxString(), Cell(0, 2));
    EXPECT_EQ(ROW_NOT_FOUND, State(0));

    EXPECT_EQ(W(dir / "readonly.txt"), Cell(1, 1));
    EXPECT_EQ(W("删除失败：无法打开以覆写：没有权限"), Cell(1, 2));
    EXPECT_EQ(ROW_WAITING, State(1));
    EXPECT_EQ(wxColour(wxS("red")), m_list->GetItemTextColour(1));
    // The whole reason, cut off in its column, is the row's tool tip; the
    // list keeps its own elsewhere. Ctrl+C copies it.
    ShowAndFocus();
    EXPECT_EQ(W(dir / "readonly.txt") + W("\n删除失败：无法打开以覆写：没有权限"), HoverTip(1));
    EXPECT_EQ(W("从文件夹拖入文件以备彻底删除"), HoverTip(0));
    m_list->SetItemState(1, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    wxUIActionSimulator().Char('c', wxMOD_CONTROL);
    Settle();
    wxTextDataObject copied;
    ASSERT_TRUE(wxTheClipboard->Open());
    wxTheClipboard->GetData(copied);
    wxTheClipboard->Close();
    EXPECT_EQ(W(dir / "readonly.txt") + W("\n删除失败：无法打开以覆写：没有权限\n"),
              copied.GetText());

    EXPECT_FALSE(Exists(dir / "file.txt"));
    EXPECT_EQ(std::vector<std::string>{"sub"}, ListNames(dir / "folder"));
    EXPECT_TRUE(ListNames(dir / "folder/sub").empty());
    EXPECT_EQ("protected", ReadFile(dir / "readonly.txt"));

    // The failed row is tried again by the next run, and goes once it works.
    ::chmod((dir / "readonly.txt").c_str(), 0644);
    auto* quick = dynamic_cast<wxCheckBox*>(FindChild(m_frame, wxS("ID_CHECKBOX1")));
    quick->SetValue(true);
    Click(wxS("ID_BUTTON_DEL"));
    EXPECT_EQ(1, m_list->GetItemCount());
    EXPECT_FALSE(Exists(dir / "readonly.txt"));
    EXPECT_TRUE(quick->GetValue());
}

// Run by tests/ui/on-btrfs.sh, which mounts a btrfs image for this user.
TEST_F(MainFrameTest, CopyOnWriteRowStaysWithItsReason)
{
    const char* cow = std::getenv("VORN_COW_DIR");
    ASSERT_NE(nullptr, cow) << "run through tests/ui/on-btrfs.sh: it mounts the btrfs";
    const std::string file = std::string(cow) + "/secret.txt";
    WriteFile(file, "secret");
    m_frame->AddFile(W(file));
    Click(wxS("ID_BUTTON_DEL"));

    EXPECT_FALSE(Exists(file)) << "the file is still shredded";
    ASSERT_EQ(1, m_list->GetItemCount()) << "but its row is no success to hide";
    EXPECT_EQ(W("已删除，但 btrfs 是写时复制文件系统，原内容可能仍可恢复"), Cell(0, 2));
    EXPECT_EQ(ROW_SHREDDED_CAVEAT, State(0));
    ShowAndFocus();
    EXPECT_EQ(W(file) + W("\n已删除，但 btrfs 是写时复制文件系统，原内容可能仍可恢复"),
              HoverTip(0));
    const wxColour colour = m_list->GetItemTextColour(0);
    EXPECT_NE(wxColour(wxS("red")), colour);
    EXPECT_GE(ContrastRatio(colour, *wxWHITE), 4.5);
    EXPECT_GE(ContrastRatio(colour, *wxBLACK), 4.5);

    // Done: the next run leaves it as it is, and Clear removes it.
    Click(wxS("ID_BUTTON_DEL"));
    ASSERT_EQ(1, m_list->GetItemCount());
    EXPECT_EQ(ROW_SHREDDED_CAVEAT, State(0));
    Click(wxS("ID_BUTTON_CLEAR"));
    EXPECT_EQ(0, m_list->GetItemCount());
}
