#include "ui/DeletionProgress.h"

#include "run/DeletionRun.h"
#include "shred/PathEncoding.h"
#include "ui/Texts.h"

#include <wx/button.h>
#include <wx/filename.h>
#include <wx/gauge.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include <algorithm>
#include <chrono>

namespace {

const wxChar* const kListing = wxS("正在列出要删除的文件……已找到 %llu 个");
const wxChar* const kCurrent = wxS("正在删除：%s");
const wxChar* const kCounts = wxS("文件：%llu / %llu　　数据：%s / %s");
const wxChar* const kCancel = wxS("取消");
const wxChar* const kCancelling = wxS("正在取消……");
const wxChar* const kNotAnswering = wxS("存储设备已 %lld 秒没有响应");
const wxChar* const kPathAfter = wxS("：");
const wxChar* const kQuit = wxS("退出(&Q)");
constexpr int kGaugeRange = 1000;
constexpr int kRefreshMs = 100;

wxString Size(std::uint64_t bytes)
{
    return wxFileName::GetHumanReadableSize(wxULongLong(bytes), wxS("0 B"), 1, wxSIZE_CONV_SI);
}

} // namespace

const long DeletionProgress::ID_STATICTEXT_CURRENT = wxNewId();
const long DeletionProgress::ID_STATICTEXT_COUNTS = wxNewId();
const long DeletionProgress::ID_GAUGE = wxNewId();
const long DeletionProgress::ID_BUTTON_CANCEL = wxNewId();
const long DeletionProgress::ID_BUTTON_QUIT = wxNewId();

DeletionProgress::DeletionProgress(wxWindow* parent, DeletionRun& run)
    : wxDialog(parent, wxID_ANY, texts::kToolName, wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX, wxS("id")),
      m_run(run), m_timer(this)
{
    wxBoxSizer* sizer = new wxBoxSizer(wxVERTICAL);
    // Fixed width, no auto-resize: long file names are cut, not the window
    // made to jump.
    m_textCurrent = new wxStaticText(this, ID_STATICTEXT_CURRENT, wxString(), wxDefaultPosition,
                                     wxSize(460, -1), wxST_NO_AUTORESIZE | wxST_ELLIPSIZE_MIDDLE,
                                     wxS("ID_STATICTEXT_CURRENT"));
    sizer->Add(m_textCurrent, 0, wxALL | wxEXPAND, 10);
    m_gauge = new wxGauge(this, ID_GAUGE, kGaugeRange, wxDefaultPosition, wxSize(460, -1),
                          wxGA_HORIZONTAL | wxGA_SMOOTH, wxDefaultValidator, wxS("ID_GAUGE"));
    sizer->Add(m_gauge, 0, wxLEFT | wxRIGHT | wxEXPAND, 10);
    m_textCounts =
        new wxStaticText(this, ID_STATICTEXT_COUNTS, wxString(), wxDefaultPosition, wxSize(460, -1),
                         wxST_NO_AUTORESIZE, wxS("ID_STATICTEXT_COUNTS"));
    sizer->Add(m_textCounts, 0, wxALL | wxEXPAND, 10);
    // Quit appears only while the storage does not answer: cancelling then
    // waits on the storage, ending the program does not.
    wxBoxSizer* buttons = new wxBoxSizer(wxHORIZONTAL);
    m_buttonQuit = new wxButton(this, ID_BUTTON_QUIT, kQuit, wxDefaultPosition, wxDefaultSize, 0,
                                wxDefaultValidator, wxS("ID_BUTTON_QUIT"));
    m_buttonQuit->Hide();
    buttons->Add(m_buttonQuit, 0, wxRIGHT, 10);
    m_buttonCancel = new wxButton(this, ID_BUTTON_CANCEL, kCancel, wxDefaultPosition, wxDefaultSize,
                                  0, wxDefaultValidator, wxS("ID_BUTTON_CANCEL"));
    buttons->Add(m_buttonCancel, 0);
    sizer->Add(buttons, 0, wxALL | wxALIGN_RIGHT, 10);
    SetSizerAndFit(sizer);
    CentreOnParent();
    // Escape presses the cancel button, as in any dialog.
    SetEscapeId(ID_BUTTON_CANCEL);

    Connect(ID_BUTTON_CANCEL, wxEVT_COMMAND_BUTTON_CLICKED,
            wxCommandEventHandler(DeletionProgress::OnCancelClick));
    Connect(ID_BUTTON_QUIT, wxEVT_COMMAND_BUTTON_CLICKED,
            wxCommandEventHandler(DeletionProgress::OnQuitClick));
    Connect(wxEVT_TIMER, wxTimerEventHandler(DeletionProgress::OnTimer));
    Connect(wxEVT_CLOSE_WINDOW, wxCloseEventHandler(DeletionProgress::OnClose));
    ShowStatus();
    m_timer.Start(kRefreshMs);
}

DeletionProgress::~DeletionProgress()
{
    m_timer.Stop();
}

void DeletionProgress::ShowStatus()
{
    const DeletionRun::Status status = m_run.GetStatus();
    const bool notAnswering = status.NotAnswering();
    if (notAnswering) {
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(status.quiet);
        wxString text = wxString::Format(kNotAnswering, static_cast<long long>(seconds.count()));
        if (!status.current.empty()) {
            text += kPathAfter + PathText(status.current);
        }
        m_textCurrent->SetLabelText(text);
    } else if (status.listing) {
        m_textCurrent->SetLabelText(
            wxString::Format(kListing, static_cast<unsigned long long>(status.entriesTotal)));
    } else {
        m_textCurrent->SetLabelText(wxString::Format(kCurrent, PathText(status.current)));
    }
    if (status.listing) {
        m_gauge->Pulse();
    } else {
        const std::uint64_t total = status.bytesTotal > 0 ? status.bytesTotal : 1;
        m_gauge->SetValue(static_cast<int>(status.bytesDone * kGaugeRange / total));
    }
    if (m_buttonQuit->IsShown() != notAnswering) {
        m_buttonQuit->Show(notAnswering);
        Layout();
    }
    const std::uint64_t shown =
        status.listing ? 0 : std::min(status.entriesDone + 1, status.entriesTotal);
    m_textCounts->SetLabelText(
        wxString::Format(kCounts, static_cast<unsigned long long>(shown),
                         static_cast<unsigned long long>(status.entriesTotal),
                         Size(status.bytesDone), Size(status.bytesTotal)));
}

void DeletionProgress::OnTimer(wxTimerEvent&)
{
    if (m_run.IsFinished()) {
        m_timer.Stop();
        EndModal(m_run.IsCancelling() ? wxID_CANCEL : wxID_OK);
        return;
    }
    ShowStatus();
}

void DeletionProgress::RequestCancel()
{
    m_run.Cancel();
    m_buttonCancel->Disable();
    m_buttonCancel->SetLabel(kCancelling);
}

void DeletionProgress::OnCancelClick(wxCommandEvent&)
{
    RequestCancel();
}

void DeletionProgress::OnQuitClick(wxCommandEvent&)
{
    m_timer.Stop();
    EndModal(wxID_EXIT);
}

// The close box cancels too; the window goes once the worker has stopped.
void DeletionProgress::OnClose(wxCloseEvent&)
{
    RequestCancel();
}
