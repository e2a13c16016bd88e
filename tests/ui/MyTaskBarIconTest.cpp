// The notification-area icon: where it goes, its menu and handlers in this
// process, and its place in a real tray (trayer, started by the test script).
#include "ui/MyTaskBarIcon.h"
#include "ui/mainFrame.h"

#include "tests/support/GuiTest.h"

#include <gtest/gtest.h>
#include <wx/listctrl.h>
#include <wx/menu.h>
#include <wx/utils.h>

#include <memory>

namespace {

// Icons embedded in the tray host's panel, or -1 without a tray host.
int TrayIconCount()
{
    wxArrayString lines;
    wxExecute(wxS("xwininfo -root -tree"), lines, wxEXEC_SYNC | wxEXEC_NODISABLE);
    wxString panel;
    for (const wxString& line : lines) {
        if (line.Contains(wxS("\"panel\": (\"panel\" \"trayer\")"))) {
            panel = line.Strip(wxString::leading).BeforeFirst(' ');
        }
    }
    if (panel.empty()) {
        return -1;
    }
    lines.clear();
    wxExecute(wxS("xwininfo -tree -id ") + panel, lines, wxEXEC_SYNC | wxEXEC_NODISABLE);
    for (const wxString& line : lines) {
        long count = 0;
        if (line.Strip(wxString::leading).BeforeFirst(' ').ToLong(&count) &&
            (line.Contains(wxS(" child:")) || line.Contains(wxS(" children:")))) {
            return static_cast<int>(count);
        }
    }
    return 0;
}

} // namespace

TEST(MyTaskBarIcon, ChooseAreaForEveryCombination)
{
    using Area = MyTaskBarIcon::Area;
    struct Case
    {
        bool wanted;
        bool hostPresent;
        bool xembedAvailable;
        Area area;
    };
    for (const Case& c : {
             Case{false, false, false, Area::None}, Case{false, false, true, Area::None},
             Case{false, true, false, Area::None}, Case{false, true, true, Area::None},
             Case{true, false, false, Area::None}, Case{true, false, true, Area::XEmbed},
             Case{true, true, false, Area::Item}, Case{true, true, true, Area::Item}, // never both
         }) {
        EXPECT_EQ(static_cast<int>(c.area), static_cast<int>(MyTaskBarIcon::ChooseArea(
                                                c.wanted, c.hostPresent, c.xembedAvailable)))
            << "wanted " << c.wanted << ", host " << c.hostPresent << ", XEmbed tray "
            << c.xembedAvailable;
    }
}

TEST(MyTaskBarIcon, TheMenuHasExactlyTwoItems)
{
    mainFrame* frame = new mainFrame(nullptr);
    MyTaskBarIcon icon(frame);
    std::unique_ptr<wxMenu> menu(icon.CreatePopupMenu());
    ASSERT_EQ(2u, menu->GetMenuItemCount());
    const wxMenuItemList& items = menu->GetMenuItems();
    EXPECT_EQ(10001, items[0]->GetId());
    EXPECT_EQ(wxString::FromUTF8("彻底删除工具"), items[0]->GetItemLabel());
    EXPECT_EQ(10002, items[1]->GetId());
    EXPECT_EQ(wxString::FromUTF8("退出"), items[1]->GetItemLabel());
    for (const wxMenuItem* item : items) {
        EXPECT_EQ(wxITEM_NORMAL, item->GetKind());
        EXPECT_FALSE(item->IsSeparator());
        EXPECT_EQ(wxString(), item->GetHelp());
    }
    // A fresh menu every time.
    std::unique_ptr<wxMenu> again(icon.CreatePopupMenu());
    EXPECT_NE(menu.get(), again.get());
    frame->Destroy();
    Settle(50);
}

TEST(MyTaskBarIcon, DoubleClickAndShowItemBringBackTheHiddenWindow)
{
    mainFrame* frame = new mainFrame(nullptr);
    frame->AddFile(wxS("/no/such/file"));
    MyTaskBarIcon icon(frame);
    auto* list = dynamic_cast<wxListCtrl*>(FindChild(frame, wxS("ID_LISTCTRL_FILES")));

    wxTaskBarIconEvent doubleClick(wxEVT_TASKBAR_LEFT_DCLICK, &icon);
    icon.ProcessEvent(doubleClick);
    EXPECT_TRUE(frame->IsShown());
    icon.ProcessEvent(doubleClick); // already shown: no change
    EXPECT_TRUE(frame->IsShown());

    frame->Close(); // the close box hides
    Settle();
    ASSERT_FALSE(frame->IsShown());
    wxCommandEvent show(wxEVT_MENU, MyTaskBarIcon::ID_MENU_SHOW);
    icon.ProcessEvent(show);
    EXPECT_TRUE(frame->IsShown());
    EXPECT_EQ(1, list->GetItemCount());
    frame->Destroy();
    Settle(50);
}

TEST(MyTaskBarIcon, TheIconSitsInTheTrayAndGoesWithTheFrame)
{
    const int before = TrayIconCount();
    ASSERT_GE(before, 0) << "no tray host (trayer) on this display";
    mainFrame* frame = new mainFrame(nullptr);
    EXPECT_TRUE(WaitFor([&] { return TrayIconCount() == before + 1; }));
    // A close that cannot be refused destroys the frame and its icon with it.
    frame->Close(true);
    EXPECT_TRUE(WaitFor([&] { return TrayIconCount() == before; }));
}
