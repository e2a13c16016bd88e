// The modal progress window of a long deletion run, with its cancel button.
#ifndef VORN_UI_DELETIONPROGRESS_H
#define VORN_UI_DELETIONPROGRESS_H

#include <wx/dialog.h>
#include <wx/timer.h>

class DeletionRun;
class wxButton;
class wxCloseEvent;
class wxCommandEvent;
class wxGauge;
class wxStaticText;

class DeletionProgress : public wxDialog
{
public:
    // Shows `run` until it finishes; ShowModal then returns wxID_OK, or
    // wxID_CANCEL when the user cancelled it, or wxID_EXIT, unfinished,
    // when the user chose to end the program while the storage did not answer.
    DeletionProgress(wxWindow* parent, DeletionRun& run);
    ~DeletionProgress() override;

    static const long ID_STATICTEXT_CURRENT;
    static const long ID_STATICTEXT_COUNTS;
    static const long ID_GAUGE;
    static const long ID_BUTTON_CANCEL;
    static const long ID_BUTTON_QUIT;

private:
    void OnTimer(wxTimerEvent& event);
    void OnCancelClick(wxCommandEvent& event);
    void OnQuitClick(wxCommandEvent& event);
    void OnClose(wxCloseEvent& event);
    void ShowStatus();
    void RequestCancel();

    DeletionRun& m_run;
    wxTimer m_timer;
    wxStaticText* m_textCurrent;
    wxStaticText* m_textCounts;
    wxGauge* m_gauge;
    wxButton* m_buttonCancel;
    wxButton* m_buttonQuit;
};

#endif // VORN_UI_DELETIONPROGRESS_H
