#include "ui/MyTaskBarIcon.h"

#include "ui/ModalDialog.h"
#include "ui/StatusNotifierItem.h"
#include "ui/Texts.h"
#include "ui/mainFrame.h"

#include <wx/app.h>
#include <wx/dialog.h>
#include <wx/evtloop.h>
#include <wx/menu.h>

namespace {

const wxChar* const kMenuExit = wxS("退出");
constexpr int kDecideEveryMs = 1000;

} // namespace

// clang-format off
wxBEGIN_EVENT_TABLE(MyTaskBarIcon, wxTaskBarIcon)
    EVT_TASKBAR_LEFT_DCLICK(MyTaskBarIcon::OnTrayDoubleClick)
    EVT_MENU(MyTaskBarIcon::ID_MENU_SHOW, MyTaskBarIcon::OnMenuShow)
    EVT_MENU(MyTaskBarIcon::ID_MENU_EXIT, MyTaskBarIcon::OnMenuExit)
    EVT_TIMER(wxID_ANY, MyTaskBarIcon::OnTimer)
wxEND_EVENT_TABLE()
// clang-format on

MyTaskBarIcon::MyTaskBarIcon(mainFrame* frame) : m_frame(frame), m_timer(this)
{
    // The item's menu is this icon's own: one list of identifiers and labels.
    const std::unique_ptr<wxMenu> menu(MyTaskBarIcon::CreatePopupMenu());
    m_item = std::make_unique<StatusNotifierItem>(this, texts::kToolName, *menu);
}

MyTaskBarIcon::~MyTaskBarIcon() = default;

bool MyTaskBarIcon::SetIcon(const wxBitmapBundle& icon, const wxString& tooltip)
{
    m_icon = icon;
    m_tooltip = tooltip;
    m_wanted = true;
    if (m_area == Area::XEmbed) {
        wxTaskBarIcon::SetIcon(m_icon, m_tooltip);
    }
    Decide();
    m_timer.Start(kDecideEveryMs);
    return true;
}

bool MyTaskBarIcon::RemoveIcon()
{
    m_wanted = false;
    m_timer.Stop();
    Decide();
    return true;
}

MyTaskBarIcon::Area MyTaskBarIcon::ChooseArea(bool wanted, bool hostPresent, bool xembedAvailable)
{
    if (!wanted) {
        return Area::None;
    }
    if (hostPresent) {
        return Area::Item;
    }
    return xembedAvailable ? Area::XEmbed : Area::None;
}

void MyTaskBarIcon::Decide()
{
    // IsAvailable is false where no X11 tray can exist (a Wayland session),
    // so no XEmbed icon is ever made there.
    const Area chosen = ChooseArea(m_wanted, m_item->HostPresent(), IsAvailable());
    if (chosen == m_area) {
        return;
    }
    if (m_area == Area::Item) {
        m_item->Hide();
    } else if (m_area == Area::XEmbed) {
        wxTaskBarIcon::RemoveIcon();
    }
    if (chosen == Area::Item) {
        m_item->Show();
    } else if (chosen == Area::XEmbed) {
        wxTaskBarIcon::SetIcon(m_icon, m_tooltip);
    }
    m_area = chosen;
    // RemoveIcon is the window's own doing, as it ends; areas that come and
    // go are news to it.
    if (m_wanted) {
        m_frame->TrayAreaChanged(m_area);
    }
}

void MyTaskBarIcon::OnTimer(wxTimerEvent&)
{
    Decide();
}

wxMenu* MyTaskBarIcon::CreatePopupMenu()
{
    wxMenu* menu = new wxMenu(wxString(), 0);
    menu->Append(ID_MENU_SHOW, texts::kToolName, wxString(), wxITEM_NORMAL);
    menu->Append(ID_MENU_EXIT, kMenuExit, wxString(), wxITEM_NORMAL);
    return menu;
}

bool MyTaskBarIcon::PopupMenu(wxMenu* menu)
{
    // While a modal dialog runs, wxGTK drops the commands of any menu that is
    // not shown from a dialog, so "退出" would do nothing while About is
    // open: show the menu from that dialog, with its commands sent here.
    if (wxDialog* modal = FindOpenModalDialog()) {
        menu->SetEventHandler(this);
        return modal->PopupMenu(menu);
    }
    return wxTaskBarIcon::PopupMenu(menu);
}

void MyTaskBarIcon::OnTrayDoubleClick(wxTaskBarIconEvent&)
{
    m_frame->BringBack();
}

void MyTaskBarIcon::OnMenuShow(wxCommandEvent&)
{
    m_frame->BringBack();
}

void MyTaskBarIcon::OnMenuExit(wxCommandEvent&)
{
    m_frame->Quit();
}

void MyTaskBarIcon::ExitProgram()
{
    const wxEventLoopBase* active = wxEventLoopBase::GetActive();
    if (active == nullptr || active->IsMain()) {
        wxExit();
        return;
    }
    while (wxDialog* modal = FindOpenModalDialog()) {
        modal->EndModal(wxID_CANCEL);
    }
    wxTheApp->CallAfter(&MyTaskBarIcon::ExitProgram);
}
