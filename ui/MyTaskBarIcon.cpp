#include "ui/MyTaskBarIcon.h"

#include "ui/ModalDialog.h"
#include "ui/Texts.h"
#include "ui/mainFrame.h"

#include <wx/app.h>
#include <wx/dialog.h>
#include <wx/evtloop.h>
#include <wx/menu.h>

namespace {

const wxChar* const kMenuExit = wxS("退出");

} // namespace

// clang-format off
wxBEGIN_EVENT_TABLE(MyTaskBarIcon, wxTaskBarIcon)
    EVT_TASKBAR_LEFT_DCLICK(MyTaskBarIcon::OnTrayDoubleClick)
    EVT_MENU(MyTaskBarIcon::ID_MENU_SHOW, MyTaskBarIcon::OnMenuShow)
    EVT_MENU(MyTaskBarIcon::ID_MENU_EXIT, MyTaskBarIcon::OnMenuExit)
wxEND_EVENT_TABLE()
// clang-format on

MyTaskBarIcon::MyTaskBarIcon(mainFrame* frame) : m_frame(frame) {}

MyTaskBarIcon::~MyTaskBarIcon() = default;

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
    if (wxDialog* modal = OpenModalDialog()) {
        menu->SetEventHandler(this);
        return modal->PopupMenu(menu);
    }
    return wxTaskBarIcon::PopupMenu(menu);
}

void MyTaskBarIcon::OnTrayDoubleClick(wxTaskBarIconEvent&)
{
    m_frame->Show(true);
}

void MyTaskBarIcon::OnMenuShow(wxCommandEvent&)
{
    m_frame->Show(true);
}

void MyTaskBarIcon::OnMenuExit(wxCommandEvent&)
{
    RemoveIcon();
    ExitProgram();
}

void MyTaskBarIcon::ExitProgram()
{
    const wxEventLoopBase* active = wxEventLoopBase::GetActive();
    if (active == nullptr || active->IsMain()) {
        wxExit();
        return;
    }
    while (wxDialog* modal = OpenModalDialog()) {
        modal->EndModal(wxID_CANCEL);
    }
    wxTheApp->CallAfter(&MyTaskBarIcon::ExitProgram);
}
