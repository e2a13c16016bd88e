// The program's only frame: the list of paths waiting to be shredded and
// the column of controls beside it.
#ifndef VORN_UI_MAINFRAME_H
#define VORN_UI_MAINFRAME_H

#include "ui/MyTaskBarIcon.h"

#include <wx/frame.h>
#include <wx/string.h>

class wxBoxSizer;
class wxButton;
class wxCheckBox;
class wxCloseEvent;
class wxCommandEvent;
class wxKeyEvent;
class wxListCtrl;
class wxMouseEvent;
struct ShredResult;
class wxPanel;

// Row states, stored as each row's item data.
enum RowState : long
{
    ROW_NOT_FOUND = 0,
    ROW_WAITING = 1,
    ROW_SHREDDED = 2,
    // Shredded on storage that may keep the old content: done, but kept in
    // the list with the reason.
    ROW_SHREDDED_CAVEAT = 3,
};

class mainFrame : public wxFrame
{
public:
    mainFrame(wxWindow* parent, wxWindowID id = wxID_ANY, const wxPoint& pos = wxDefaultPosition,
              const wxSize& size = wxDefaultSize);
    ~mainFrame() override;

    // Appends exactly one row for a path as received (absolute or relative,
    // naming a file, a folder or nothing).
    void AddFile(const wxString& path);
    // Sizes the columns once, after the start-up rows are in.
    void FitColumns();
    // Whether a deletion run is going on; nothing may change the list then.
    bool IsRunning() const { return m_running; }
    // Shows, restores and raises the window: the way back to it from the
    // tray and from a later start.
    void BringBack();
    // Ends the program: the one way the Quit button and the tray's "退出" take.
    void Quit();
    // The tray icon moved to another notification area, or to none: the
    // window that it could bring back must stay reachable.
    void TrayAreaChanged(MyTaskBarIcon::Area area);

    static const long ID_LISTCTRL_FILES;
    static const long ID_CHECKBOX1;
    static const long ID_BUTTON_DEL;
    static const long ID_BUTTON_CLEAR;
    static const long ID_BUTTON_QUIT;
    static const long ID_BUTTON1;
    static const long ID_PANEL_MAIN;

private:
    void InitExtras();
    void RemoveTrayIcon();
    // Sets a row's progress cell, colour and state from what the run did.
    void ShowOutcome(long row, const ShredResult& result);
    // A row's full text: its path and, where it has one, its outcome.
    wxString RowText(long row) const;

    void OnClose(wxCloseEvent& event);
    void OnDeleteClick(wxCommandEvent& event);
    void OnClearClick(wxCommandEvent& event);
    void OnQuitClick(wxCommandEvent& event);
    void OnAboutClick(wxCommandEvent& event);
    void OnRowsMotion(wxMouseEvent& event);
    void OnRowsKeyDown(wxKeyEvent& event);

    wxPanel* m_panelMain;
    wxButton* m_buttonAbout;
    wxButton* m_buttonQuit;
    wxCheckBox* m_checkQuick;
    wxBoxSizer* m_sizerButtons;
    wxListCtrl* m_listFiles;
    wxButton* m_buttonClear;
    wxButton* m_buttonDelete;
    wxBoxSizer* m_sizerTop;
    MyTaskBarIcon* m_trayIcon = nullptr;
    MyTaskBarIcon::Area m_trayArea = MyTaskBarIcon::Area::None;
    bool m_running = false;
    bool m_quitting = false; // Quit was asked for; a run must not hold it up

    wxDECLARE_EVENT_TABLE();
};

#endif // VORN_UI_MAINFRAME_H
