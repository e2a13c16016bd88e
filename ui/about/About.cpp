#include "ui/about/About.h"

#include "ui/ColourContrast.h"
#include "ui/Texts.h"
#include "vorn/Version.h"

#include <wx/arrstr.h>
#include <wx/button.h>
#include <wx/font.h>
#include <wx/settings.h>
#include <wx/statline.h>
#include <wx/stattext.h>
#include <wx/utils.h>

#include <algorithm>
#include <string>

namespace {

const wxChar* const kTitle = wxS("关于 Zemfi彻底删除工具");
const wxChar* const kOk = wxS("确定");
const wxChar* const kVersion = wxS("Zemfi彻底删除工具 ") VORN_VERSION wxS(" 版本");
const wxChar* const kWebsiteCaption = wxS("官方网址：");
const wxChar* const kMailCaption = wxS("作者邮件：");
const wxChar* const kDescriptionCaption = wxS("说明：");
const wxChar* const kPlaceholder = wxS("...");
const wxChar* const kDescription = wxS("本软件可以通过防止文件删除后被恢复，从而保护您的\n"
                                       "隐私信息。软件对要彻底删除的文件使用不同方式进行\n"
                                       "多次擦写，并且修改要删除的文件名称，然后进行删除\n"
                                       "。这样即使通过恢复工具进行恢复，也无法得到文件的\n"
                                       "原始内容。\n"
                                       "\n"
                                       "不包含隐私内容的文件，不需要使用本工具进行删除。");

// Stands in for the Windows shell's "start": the address is handed to
// xdg-open as one argument, never through a shell, so characters such as
// '&' stay part of it; and nothing waits for the browser.
void Open(const std::string& address)
{
    const char* const command[] = {"xdg-open", address.c_str(), nullptr};
    wxExecute(command, wxEXEC_ASYNC);
}

} // namespace

const long About::ID_STATICLINE1 = wxNewId();
const long About::ID_BTN_OK = wxNewId();
const long About::ID_STATICTEXT1 = wxNewId();
const long About::ID_STATICTEXT2 = wxNewId();
const long About::ID_WEBSITE = wxNewId();
const long About::ID_STATICTEXT4 = wxNewId();
const long About::ID_MAIL = wxNewId();
const long About::ID_STATICTEXT3 = wxNewId();
const long About::ID_STATICTEXT5 = wxNewId();

const char* const About::kWebsite = "https://example.com/vorn?lang=zh&v=1";
const char* const About::kMail = "author@example.com";

// clang-format off
wxBEGIN_EVENT_TABLE(About, wxDialog)
wxEND_EVENT_TABLE()
// clang-format on

About::About(wxWindow* parent, wxWindowID id)
{
    Create(parent, id, texts::Tr(kTitle), wxDefaultPosition, wxDefaultSize, wxDEFAULT_DIALOG_STYLE,
           wxS("id"));
    SetClientSize(wxSize(366, 272));
    // The hand-placed layout was drawn for small 9-point text; GTK's larger
    // default would push the description out of the fixed client area, so
    // take the largest size up to 9 points at which it fits.
    wxFont font = GetFont();
    for (int points = 9; points >= 6; --points) {
        font.SetPointSize(points);
        SetFont(font);
        int widest = 0;
        for (const wxString& line : wxSplit(texts::Tr(kDescription), '\n', '\0')) {
            widest = std::max(widest, GetTextExtent(line).x);
        }
        if (widest <= 366 - 64 - 8 &&
            GetTextExtent(wxString::FromUTF8(kWebsite)).x <= 366 - 88 - 8) {
            break;
        }
    }

    // The links' colour is the active caption's, where it reads well on the
    // dialog; a theme may make it pale grey on grey.
    const wxColour linkColour = ReadableLinkColour(
        wxSystemSettings::GetColour(wxSYS_COLOUR_ACTIVECAPTION), GetBackgroundColour());
    m_line = new wxStaticLine(this, ID_STATICLINE1, wxPoint(8, 208), wxSize(344, 2),
                              wxLI_HORIZONTAL, wxS("ID_STATICLINE1"));
    m_buttonOk = new wxButton(this, ID_BTN_OK, texts::Tr(kOk), wxPoint(272, 224), wxDefaultSize, 0,
                              wxDefaultValidator, wxS("ID_BTN_OK"));
    m_textVersion = new wxStaticText(this, ID_STATICTEXT1, texts::Tr(kVersion), wxPoint(16, 16),
                                     wxDefaultSize, 0, wxS("ID_STATICTEXT1"));
    m_textWebsiteCaption =
        new wxStaticText(this, ID_STATICTEXT2, texts::Tr(kWebsiteCaption), wxPoint(16, 40),
                         wxDefaultSize, 0, wxS("ID_STATICTEXT2"));
    m_textWebsite = new wxStaticText(this, ID_WEBSITE, texts::Tr(kPlaceholder), wxPoint(88, 40),
                                     wxDefaultSize, 0, wxS("ID_WEBSITE"));
    m_textWebsite->SetForegroundColour(linkColour);
    m_textMailCaption = new wxStaticText(this, ID_STATICTEXT4, texts::Tr(kMailCaption),
                                         wxPoint(16, 64), wxDefaultSize, 0, wxS("ID_STATICTEXT4"));
    m_textMail = new wxStaticText(this, ID_MAIL, texts::Tr(kPlaceholder), wxPoint(88, 64),
                                  wxDefaultSize, 0, wxS("ID_MAIL"));
    m_textMail->SetForegroundColour(linkColour);
    m_textDescriptionCaption =
        new wxStaticText(this, ID_STATICTEXT3, texts::Tr(kDescriptionCaption), wxPoint(16, 88),
                         wxDefaultSize, 0, wxS("ID_STATICTEXT3"));
    m_textDescription = new wxStaticText(this, ID_STATICTEXT5, texts::Tr(kDescription),
                                         wxPoint(64, 88), wxDefaultSize, 0, wxS("ID_STATICTEXT5"));

    // Children do not take the dialog's font by themselves, and GTK updates
    // a label's requested size only once the new font has been drawn: size
    // the labels by the font's own measure.
    for (wxWindow* child : GetChildren()) {
        child->SetFont(GetFont());
        // dynamic_cast, not wxDynamicCast: that one static_casts to the
        // class before it checks, which is undefined for any other child.
        if (auto* text = dynamic_cast<wxStaticText*>(child)) {
            wxSize size(0, 0);
            for (const wxString& line : wxSplit(text->GetLabelText(), '\n', '\0')) {
                size.x = std::max(size.x, GetTextExtent(line).x);
                size.y += GetCharHeight();
            }
            text->SetSize(size);
        }
    }

    Centre(wxBOTH);

    Connect(ID_BTN_OK, wxEVT_COMMAND_BUTTON_CLICKED, wxCommandEventHandler(About::OnOkClick));
    m_textWebsite->SetLabelText(wxString::FromUTF8(kWebsite));
    m_textMail->SetLabelText(wxString::FromUTF8(kMail));
    // Mouse events do not travel up to the dialog: connect on the labels.
    m_textWebsite->Connect(wxEVT_LEFT_DOWN, wxMouseEventHandler(About::OnWebsiteLeftDown), nullptr,
                           this);
    m_textMail->Connect(wxEVT_LEFT_DOWN, wxMouseEventHandler(About::OnMailLeftDown), nullptr, this);
}

About::~About() = default;

void About::OnOkClick(wxCommandEvent&)
{
    EndModal(wxID_OK);
}

void About::OnWebsiteLeftDown(wxMouseEvent&)
{
    Open(kWebsite);
}

void About::OnMailLeftDown(wxMouseEvent&)
{
    Open(std::string("mailto:") + kMail);
}
