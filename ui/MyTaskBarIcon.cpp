#include "ui/MyTaskBarIcon.h"

#include "ui/Texts.h"
#include "ui/mainFrame.h"

#include <wx/app.h>
#include <wx/dialog.h>
#include <wx/evtloop.h>
#include <wx/menu.h>
#include <wx/toplevel.h>

namespace {

const wxChar* const kMenuExit = wxS("退出");

} // namespace

wxBEGIN_EVENT_TABLE(MyTaskBarIcon, wxTaskBarIcon)
    EVT_TASKBAR_LEFT_DCLICK(MyTaskBarIcon::OnTrayDoubleClick)
        EVT_MENU(MyTaskBarIcon::ID_MENU_SHOW, MyTaskBarIcon::OnMenuShow)
            EVT_MENU(MyTaskBarIcon::ID_MENU_EXIT, MyTaskBarIcon::OnMenuExit) wxEND_EVENT_TABLE()

                MyTaskBarIcon::MyTaskBarIcon(mainFrame* frame)
    : m_frame(frame)
{}

MyTaskBarIcon::~MyTaskBarIcon() = default;

wxMenu* MyTaskBarIcon::CreatePopupMenu()
{
    wxMenu* menu = new wxMenu(wxString(), 0);
    menu->Append(ID_MENU_SHOW, texts::kToolName, wxString(), wxITEM_NORMAL);
    menu->Append(ID_MENU_EXIT, kMenuExit, wxString(), wxITEM_NORMAL);
    return menu;
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
    for (wxWindowList::compatibility_iterator node = wxTopLevelWindows.GetFirst(); node;
         node = node->GetNext()) {
        wxDialog* dialog = wxDynamicCast(node->GetData(), wxDialog);
        if (dialog != nullptr && dialog->IsModal()) {
            dialog->EndModal(wxID_CANCEL);
        }
    }
    wxTheApp->CallAfter(&MyTaskBarIcon::ExitProgram);
}
