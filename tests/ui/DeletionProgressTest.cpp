// Long deletion runs: the progress window appears, follows the run and
// cancels it; short runs show nothing new.
#include "ui/DeletionProgress.h"
#include "ui/mainFrame.h"

#include "tests/support/GuiTest.h"
#include "tests/support/SlowDisk.h"
#include "tests/support/TempDir.h"
#include "tests/support/Utf8.h"

#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/dnd.h>
#include <wx/listctrl.h>
#include <wx/modalhook.h>
#include <wx/stattext.h>

#include <unistd.h>

namespace {

// Sees every modal dialog shown while it is registered.
class DialogWatch : public wxModalDialogHook
{
public:
    DialogWatch() { Register(); }
    ~DialogWatch() override { Unregister(); }
    int Enter(wxDialog* dialog) override
    {
        shown.push_back(dialog);
        return wxID_NONE;
    }
    void Exit(wxDialog*) override {}

    std::vector<wxDialog*> shown;
};

// Presses Escape in the progress window, as a user would to stop the run;
// returns whether that started cancelling (the cancel button greys out).
bool PressEscape(wxDialog* progress)
{
    wxKeyEvent escape(wxEVT_CHAR_HOOK);
    escape.m_keyCode = WXK_ESCAPE;
    progress->GetEventHandler()->ProcessEvent(escape);
    return !FindChild(progress, wxS("ID_BUTTON_CANCEL"))->IsEnabled();
}

class DeletionProgressTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_frame = new mainFrame(nullptr);
        m_list = dynamic_cast<wxListCtrl*>(FindChild(m_frame, wxS("ID_LISTCTRL_FILES")));
        m_frame->Show(true);
        WaitFor([&] { return m_frame->IsShownOnScreen(); });
    }
    void TearDown() override
    {
        m_frame->Destroy();
        Settle(50);
    }
    void ClickDelete() { ASSERT_TRUE(ClickButton(m_frame, wxS("ID_BUTTON_DEL"))); }

    mainFrame* m_frame = nullptr;
    wxListCtrl* m_list = nullptr;
};

} // namespace

TEST_F(DeletionProgressTest, AShortRunShowsNoWindow)
{
    TempDir dir;
    WriteFile(dir / "small", "small");
    m_frame->AddFile(W(dir / "small"));
    DialogWatch watch;
    ClickDelete();
    EXPECT_TRUE(watch.shown.empty());
    EXPECT_EQ(0, m_list->GetItemCount());
    EXPECT_FALSE(Exists(dir / "small"));
}

TEST_F(DeletionProgressTest, ALongRunShowsProgressAndEscapeCancelsAndKeepsTheCurrentFile)
{
    TempDir dir;
    WriteFile(dir / "first", "first");
    // 64 MiB on a disk of 20 MiB/s: seconds of writing.
    const std::string huge = dir / "huge.bin";
    WriteFile(huge, std::string(64 << 20, 'h'));
    SetSlowWrites(50);
    WriteFile(dir / "last", "last");
    m_frame->AddFile(W(dir / "first"));
    m_frame->AddFile(W(huge));
    m_frame->AddFile(W(dir / "last"));

    DialogWatch watch;
    wxString counts1;
    wxString counts2;
    wxString current;
    bool dropRefused = false;
    bool cancelling = false;
    // Runs inside the progress window's modal loop: the main window's own
    // code is blocked in the Delete handler meanwhile.
    m_frame->CallAfter([&] {
        ASSERT_EQ(1u, watch.shown.size());
        auto* progress = dynamic_cast<DeletionProgress*>(watch.shown[0]);
        ASSERT_NE(nullptr, progress);
        wxWindow* countsText = FindChild(progress, wxS("ID_STATICTEXT_COUNTS"));
        wxWindow* currentText = FindChild(progress, wxS("ID_STATICTEXT_CURRENT"));
        ASSERT_TRUE(
            WaitFor([&] { return currentText->GetLabel().Contains(wxS("huge.bin")); }, 10000));
        counts1 = countsText->GetLabel();
        WaitFor([&] { return countsText->GetLabel() != counts1; }, 5000);
        counts2 = countsText->GetLabel();
        current = currentText->GetLabel();

        // Nothing may change the list meanwhile: a drop is refused.
        wxArrayString dropped;
        dropped.Add(W(dir / "last"));
        auto* target = static_cast<wxFileDropTarget*>(m_frame->GetDropTarget());
        dropRefused = !target->OnDropFiles(0, 0, dropped);

        // Escape, as a user would stop it, presses the cancel button.
        cancelling = PressEscape(progress);
    });
    ClickDelete();
    SetSlowWrites(0);

    ASSERT_EQ(1u, watch.shown.size());
    EXPECT_EQ(W("正在删除：") + W(huge), current);
    EXPECT_TRUE(counts1.StartsWith(W("文件：2 / 3"))) << counts1;
    EXPECT_NE(counts1, counts2) << "the window does not follow the run";
    EXPECT_TRUE(dropRefused);
    EXPECT_TRUE(cancelling) << "Escape did not cancel";

    ASSERT_EQ(2, m_list->GetItemCount());
    EXPECT_EQ(W(huge), m_list->GetItemText(0, 1));
    EXPECT_EQ(W("删除失败：已取消"), m_list->GetItemText(0, 2));
    EXPECT_EQ(ROW_WAITING, static_cast<long>(m_list->GetItemData(0)));
    EXPECT_EQ(wxColour(wxS("red")), m_list->GetItemTextColour(0));
    EXPECT_EQ(W(dir / "last"), m_list->GetItemText(1, 1));
    EXPECT_EQ(wxString(), m_list->GetItemText(1, 2));
    EXPECT_EQ(ROW_WAITING, static_cast<long>(m_list->GetItemData(1)));

    EXPECT_FALSE(Exists(dir / "first"));
    EXPECT_TRUE(Exists(huge)) << "the cancelled file must keep its name";
    EXPECT_EQ("last", ReadFile(dir / "last"));
    EXPECT_EQ((std::vector<std::string>{"huge.bin", "last"}), ListNames(dir.Path()));
}

TEST_F(DeletionProgressTest, StorageThatStopsAnsweringIsNamedAndCancelStillWorks)
{
    TempDir dir;
    const std::string file = dir / "stuck.bin";
    WriteFile(file, std::string(1 << 20, 's'));
    // One write that hangs for longer than any healthy device would.
    SetSlowWrites(7000);
    m_frame->AddFile(W(file));

    DialogWatch watch;
    wxString current;
    bool quitShown = false;
    bool cancelling = false;
    m_frame->CallAfter([&] {
        ASSERT_EQ(1u, watch.shown.size());
        wxDialog* progress = watch.shown[0];
        wxWindow* currentText = FindChild(progress, wxS("ID_STATICTEXT_CURRENT"));
        wxWindow* quit = FindChild(progress, wxS("ID_BUTTON_QUIT"));
        EXPECT_FALSE(quit->IsShown()) << "退出 is offered only while the storage does not answer";
        WaitFor([&] { return currentText->GetLabel().Contains(W("没有响应")); }, 6500);
        current = currentText->GetLabel();
        quitShown = quit->IsShown();
        cancelling = PressEscape(progress);
    });
    ClickDelete();
    SetSlowWrites(0);

    EXPECT_TRUE(current.StartsWith(W("存储设备已 ")) &&
                current.EndsWith(W(" 秒没有响应：") + W(file)))
        << current;
    EXPECT_TRUE(quitShown);
    EXPECT_TRUE(cancelling) << "Escape did not cancel";
    ASSERT_EQ(1, m_list->GetItemCount());
    EXPECT_EQ(W("删除失败：已取消"), m_list->GetItemText(0, 2));
    EXPECT_TRUE(Exists(file)) << "the file being written must keep its name";
}
