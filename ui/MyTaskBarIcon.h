// The notification-area icon: brings the hidden main window back, or ends
// the program. Shown as a StatusNotifierItem where a panel shows those, else
// as an XEmbed icon where an XEmbed tray is there, decided again as they come
// and go; never both.
#ifndef VORN_UI_MYTASKBARICON_H
#define VORN_UI_MYTASKBARICON_H

#include <wx/bmpbndl.h>
#include <wx/taskbar.h>
#include <wx/timer.h>

#include <memory>

class mainFrame;
class StatusNotifierItem;
class wxMenu;

class MyTaskBarIcon : public wxTaskBarIcon
{
public:
    explicit MyTaskBarIcon(mainFrame* frame);
    ~MyTaskBarIcon() override;

    static constexpr int ID_MENU_SHOW = 10001;
    static constexpr int ID_MENU_EXIT = 10002;

    // Where the icon is shown.
    enum class Area
    {
        None,   // no notification area: the window must stay reachable
        Item,   // a StatusNotifierItem on the session bus
        XEmbed, // an icon in an XEmbed tray
    };
    // Where an icon goes: nowhere unless `wanted`; else a StatusNotifierItem
    // while a panel hosts those, else an XEmbed icon while an XEmbed tray is
    // there; never both.
    static Area ChooseArea(bool wanted, bool hostPresent, bool xembedAvailable);

    // Shows the icon in whichever notification area there is, now and as
    // areas come and go, until RemoveIcon.
    bool SetIcon(const wxBitmapBundle& icon, const wxString& tooltip = wxString()) override;
    bool RemoveIcon() override;

    // A fresh menu for every right click; the caller owns it.
    wxMenu* CreatePopupMenu() override;
    bool PopupMenu(wxMenu* menu) override;

    // Ends the program from the main event loop. wxExit called while a modal
    // dialog runs only ends that dialog's loop, so modal dialogs are ended
    // first and the exit is retried once their loops have returned.
    static void ExitProgram();

private:
    // Moves the icon to the area chosen now; the timer calls it every second.
    void Decide();

    void OnTrayDoubleClick(wxTaskBarIconEvent& event);
    void OnMenuShow(wxCommandEvent& event);
    void OnMenuExit(wxCommandEvent& event);
    void OnTimer(wxTimerEvent& event);

    mainFrame* m_frame; // not owned; the frame destroys this icon with itself
    std::unique_ptr<StatusNotifierItem> m_item;
    wxTimer m_timer;
    wxBitmapBundle m_icon;
    wxString m_tooltip;
    bool m_wanted = false;
    Area m_area = Area::None;

    wxDECLARE_EVENT_TABLE();
};

#endif // VORN_UI_MYTASKBARICON_H
