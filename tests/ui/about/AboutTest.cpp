// The About dialog: its fixed layout and texts, and its two links, pressed
// with the real mouse while the dialog runs modally.
#include "ui/about/About.h"
#include "ui/ColourContrast.h"
#include "ui/mainFrame.h"

#include "tests/support/GuiTest.h"
#include "tests/support/TempDir.h"
#include "tests/support/Utf8.h"
#include "vorn/Version.h"

#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/control.h>
#include <wx/settings.h>
#include <wx/statline.h>
#include <wx/stattext.h>
#include <wx/uiaction.h>
#include <wx/utils.h>

#include <sys/stat.h>

namespace {

class AboutTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_frame = new mainFrame(nullptr, wxID_ANY, wxDefaultPosition, wxDefaultSize);
        m_frame->Show(true);
        WaitFor([&] { return m_frame->IsShownOnScreen(); });
    }
    void TearDown() override
    {
        m_frame->Destroy();
        Settle(50);
    }

    mainFrame* m_frame = nullptr;
};

} // namespace

TEST_F(AboutTest, FixedLayoutAndTexts)
{
    About about(m_frame, wxID_ANY);
    EXPECT_EQ(W("关于 Zemfi彻底删除工具"), about.GetTitle());
    EXPECT_EQ(wxS("id"), about.GetName());
    EXPECT_EQ(wxSize(366, 272), about.GetClientSize());
    EXPECT_EQ(0, about.GetWindowStyleFlag() & (wxRESIZE_BORDER | wxMAXIMIZE_BOX | wxMINIMIZE_BOX));

    struct Expected
    {
        const char* name;
        wxPoint position;
        const char* label;
    };
    const char* description = "本软件可以通过防止文件删除后被恢复，从而保护您的\n"
                              "隐私信息。软件对要彻底删除的文件使用不同方式进行\n"
                              "多次擦写，并且修改要删除的文件名称，然后进行删除\n"
                              "。这样即使通过恢复工具进行恢复，也无法得到文件的\n"
                              "原始内容。\n"
                              "\n"
                              "不包含隐私内容的文件，不需要使用本工具进行删除。";
    const wxString website = W(About::kWebsite);
    const wxString mail = W(About::kMail);
    const Expected controls[] = {
        {"ID_STATICLINE1", wxPoint(8, 208), ""},
        {"ID_BTN_OK", wxPoint(272, 224), "确定"},
        {"ID_STATICTEXT1", wxPoint(16, 16), "Zemfi彻底删除工具 " VORN_VERSION " 版本"},
        {"ID_STATICTEXT2", wxPoint(16, 40), "官方网址："},
        {"ID_WEBSITE", wxPoint(88, 40), About::kWebsite},
        {"ID_STATICTEXT4", wxPoint(16, 64), "作者邮件："},
        {"ID_MAIL", wxPoint(88, 64), About::kMail},
        {"ID_STATICTEXT3", wxPoint(16, 88), "说明："},
        {"ID_STATICTEXT5", wxPoint(64, 88), description},
    };
    for (const Expected& e : controls) {
        SCOPED_TRACE(e.name);
        wxWindow* control = FindChild(&about, e.name);
        ASSERT_NE(nullptr, control);
        EXPECT_EQ(e.position, control->GetPosition());
        if (*e.label != '\0') {
            EXPECT_EQ(W(e.label), wxControl::RemoveMnemonics(control->GetLabel()));
        }
        // Every control lies inside the fixed client area.
        EXPECT_LE(control->GetRect().GetRight(), 366);
        EXPECT_LE(control->GetRect().GetBottom(), 272);
    }
    EXPECT_EQ(wxSize(344, 2), FindChild(&about, wxS("ID_STATICLINE1"))->GetSize());
    EXPECT_TRUE(website.StartsWith(wxS("https://")));
    EXPECT_TRUE(website.Contains(wxS("example.com")));
    EXPECT_TRUE(mail.EndsWith(wxS("@example.com")));

    // The active caption's colour where it reads on the dialog, else a link colour that does.
    const wxColour caption = wxSystemSettings::GetColour(wxSYS_COLOUR_ACTIVECAPTION);
    const wxColour background = about.GetBackgroundColour();
    const wxColour link = FindChild(&about, wxS("ID_WEBSITE"))->GetForegroundColour();
    EXPECT_EQ(link, FindChild(&about, wxS("ID_MAIL"))->GetForegroundColour());
    EXPECT_GE(ContrastRatio(link, background), 4.5);
    if (ContrastRatio(caption, background) >= 4.5) {
        EXPECT_EQ(caption, link);
    }
    EXPECT_NE(link, FindChild(&about, wxS("ID_STATICTEXT2"))->GetForegroundColour());
    struct Case
    {
        wxColour preferred, background;
        bool kept;
    };
    for (const Case& c : {Case{wxColour(0x33, 0x55, 0x99), *wxWHITE, true},
                          Case{wxColour(0xC0, 0xC0, 0xC0), wxColour(0xE8, 0xE8, 0xE8), false},
                          Case{wxColour(0x30, 0x30, 0x30), wxColour(0x20, 0x20, 0x20), false}}) {
        const wxColour chosen = ReadableLinkColour(c.preferred, c.background);
        EXPECT_EQ(c.kept, chosen == c.preferred) << c.preferred.GetAsString();
        EXPECT_GE(ContrastRatio(chosen, c.background), 4.5) << c.preferred.GetAsString();
    }

    // Centred over the main window.
    const wxPoint dialogCentre = about.GetRect().GetPosition() + about.GetSize() / 2;
    const wxPoint frameCentre = m_frame->GetRect().GetPosition() + m_frame->GetSize() / 2;
    EXPECT_NEAR(frameCentre.x, dialogCentre.x, 2);
    EXPECT_NEAR(frameCentre.y, dialogCentre.y, 30); // title bars differ in height
}

TEST_F(AboutTest, LinksOpenTheirAddressesAndTheDialogStaysOpen)
{
    // A stand-in for xdg-open that records what it was asked to open; the
    // desktop's own handlers must not win, so they are hidden too.
    TempDir dir;
    MakeDir(dir / "bin");
    MakeDir(dir / "data");
    MakeDir(dir / "config");
    const std::string log = dir / "opened";
    WriteFile(dir / "bin/xdg-open",
              "#!/bin/sh\nprintf '%s|' \"$@\" >> '" + log + "'\necho >> '" + log + "'\n");
    ::chmod((dir / "bin/xdg-open").c_str(), 0755);
    wxString path;
    wxGetEnv(wxS("PATH"), &path);
    wxSetEnv(wxS("PATH"), wxString::FromUTF8((dir / "bin").c_str()) + wxS(":") + path);
    wxSetEnv(wxS("XDG_DATA_HOME"), wxString::FromUTF8((dir / "data").c_str()));
    wxSetEnv(wxS("XDG_CONFIG_HOME"), wxString::FromUTF8((dir / "config").c_str()));

    auto lines = [&] {
        const std::string text = Exists(log) ? ReadFile(log) : std::string();
        return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
    };
    About about(m_frame, wxID_ANY);
    bool stayedOpen = false;
    std::string opened;
    about.CallAfter([&] {
        wxUIActionSimulator sim;
        auto press = [&](const char* name) {
            wxWindow* label = FindChild(&about, name);
            sim.MouseMove(label->GetScreenRect().GetLeftTop() + wxPoint(4, 4));
            Settle(100);
            sim.MouseClick();
            Settle(100);
        };
        ASSERT_TRUE(WaitFor([&] { return about.IsShownOnScreen(); }));
        Settle(200);
        press("ID_WEBSITE");
        WaitFor([&] { return lines() == 1; });
        press("ID_MAIL");
        WaitFor([&] { return lines() == 2; });
        for (const char* other : {"ID_STATICTEXT1", "ID_STATICTEXT2", "ID_STATICTEXT4",
                                  "ID_STATICTEXT3", "ID_STATICTEXT5"}) {
            press(other);
        }
        // A right-button press on a link does nothing either.
        sim.MouseMove(FindChild(&about, wxS("ID_WEBSITE"))->GetScreenPosition() + wxPoint(4, 4));
        sim.MouseClick(wxMOUSE_BTN_RIGHT);
        Settle(500);
        stayedOpen = about.IsModal() && about.IsShown();
        opened = Exists(log) ? ReadFile(log) : std::string();
        // OK through the real button.
        sim.MouseMove(FindChild(&about, wxS("ID_BTN_OK"))->GetScreenRect().GetPosition() +
                      wxPoint(10, 10));
        Settle(100);
        sim.MouseClick();
    });
    const int result = about.ShowModal();
    wxSetEnv(wxS("PATH"), path);
    EXPECT_EQ(wxID_OK, result);
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ("https://example.com/vorn?lang=zh&v=1|\nmailto:author@example.com|\n", opened);
}
