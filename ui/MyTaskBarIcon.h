// The notification-area icon: brings the hidden main window back, or ends
// the program.
#ifndef VORN_UI_MYTASKBARICON_H
#define VORN_UI_MYTASKBARICON_H

#include <wx/taskbar.h>

class mainFrame;
class wxMenu;

class MyTaskBarIcon : public wxTaskBarIcon
{
public:
    explicit MyTaskBarIcon(mainFrame* frame);
    ~MyTaskBarIcon() override;

    static const int ID_MENU_SHOW = 10001;
    static const int ID_MENU_EXIT = 10002;

    // A fresh menu for every right click; the caller owns it.
    wxMenu* CreatePopupMenu() override;
    bool PopupMenu(wxMenu* menu) override;

    // Ends the program from the main event loop. wxExit called while a modal
    // dialog runs only ends that dialog's loop, so modal dialogs are ended
    // first and the exit is retried once their loops have returned.
    static void ExitProgram();

private:
    void OnTrayDoubleClick(wxTaskBarIconEvent& event);
    void OnMenuShow(wxCommandEvent& event);
    void OnMenuExit(wxCommandEvent& event);

    mainFrame* m_frame; // not owned; the frame destroys this icon with itself

    wxDECLARE_EVENT_TABLE();
};

#endif // VORN_UI_MYTASKBARICON_H
