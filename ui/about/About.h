// The About dialog: version, two contact links and how the tool works.
#ifndef VORN_UI_ABOUT_ABOUT_H
#define VORN_UI_ABOUT_ABOUT_H

#include <wx/dialog.h>

class wxButton;
class wxCommandEvent;
class wxMouseEvent;
class wxStaticLine;
class wxStaticText;

class About : public wxDialog
{
public:
    About(wxWindow* parent, wxWindowID id = wxID_ANY);
    ~About() override;

    static const long ID_STATICLINE1;
    static const long ID_BTN_OK;
    static const long ID_STATICTEXT1;
    static const long ID_STATICTEXT2;
    static const long ID_WEBSITE;
    static const long ID_STATICTEXT4;
    static const long ID_MAIL;
    static const long ID_STATICTEXT3;
    static const long ID_STATICTEXT5;

    // The contact addresses (under the reserved example.com domain).
    static const char* const kWebsite;
    static const char* const kMail;

private:
    void OnOkClick(wxCommandEvent& event);
    void OnWebsiteLeftDown(wxMouseEvent& event);
    void OnMailLeftDown(wxMouseEvent& event);

    wxStaticText* m_textWebsiteCaption;
    wxStaticText* m_textVersion;
    wxStaticText* m_textMailCaption;
    wxStaticText* m_textMail;
    wxButton* m_buttonOk;
    wxStaticText* m_textDescription;
    wxStaticLine* m_line;
    wxStaticText* m_textDescriptionCaption;
    wxStaticText* m_textWebsite;

    wxDECLARE_EVENT_TABLE();
};

#endif // VORN_UI_ABOUT_ABOUT_H
