#include "ui/mainFrame.h"

#include "run/DeletionRun.h"
#include "shred/ListedPath.h"
#include "shred/PathEncoding.h"
#include "ui/DeletionProgress.h"
#include "ui/DropDelFileTarget.h"
#include "ui/IconPath.h"
#include "ui/MyTaskBarIcon.h"
#include "ui/ResultTexts.h"
#include "ui/Texts.h"
#include "ui/about/About.h"
#include "vorn/Version.h"

#include <wx/app.h>
#include <wx/artprov.h>
#include <wx/bitmap.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/clipbrd.h>
#include <wx/dataobj.h>
#include <wx/filename.h>
#include <wx/icon.h>
#include <wx/iconbndl.h>
#include <wx/image.h>
#include <wx/listctrl.h>
#include <wx/log.h>
#include <wx/panel.h>
#include <wx/sizer.h>

#include <gdk/gdk.h>

#include <climits>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

const wxChar* const kTitle = wxS("Zemfi彻底删除工具 - ") VORN_VERSION;
const wxChar* const kListTip = wxS("从文件夹拖入文件以备彻底删除");
const wxChar* const kQuickLabel = wxS("快速删除");
const wxChar* const kQuickTip = wxS("快速删除只对文件擦写一次，适合不是非常需要保密的文件");
const wxChar* const kDeleteLabel = wxS("彻底删除(&D)");
const wxChar* const kClearLabel = wxS("清空列表(&C)");
const wxChar* const kClearTip = wxS("清空列表内容，不会删除文件");
const wxChar* const kQuitLabel = wxS("退出(&Q)");
const wxChar* const kAboutLabel = wxS("关于...");
const wxChar* const kColumnName = wxS("文件名称");
const wxChar* const kColumnLocation = wxS("文件位置");
const wxChar* const kColumnProgress = wxS("进度");
const wxChar* const kNotFound = wxS("没有发现这个文件");
// A deletion run that lasts longer than this shows its progress.
constexpr int kProgressDelayMs = 500;
// How long ending the program waits for a cancelled run to stop at a block
// boundary: a device that answers finishes its block in far less.
constexpr int kQuitWaitMs = 1000;

// Rows of paths not found, and of paths not destroyed completely: red, in
// numbers, since the colour names are not known before wx starts.
const wxColour kFailedColour(0xFF, 0x00, 0x00);
// Rows shredded where the storage may keep the old content: neither the
// red of failures nor the theme's text colour. Its luminance lies midway,
// so it reads at 4.5:1 against white and against black.
const wxColour kCaveatColour(0xB4, 0x5E, 0x00);

// Closes the connection to the display, which removes every window of the
// program at once, whatever its threads still wait for.
void LetGoOfDisplay()
{
    if (GdkDisplay* display = gdk_display_get_default()) {
        gdk_display_close(display);
    }
}

} // namespace

const long mainFrame::ID_LISTCTRL_FILES = wxNewId();
const long mainFrame::ID_CHECKBOX1 = wxNewId();
const long mainFrame::ID_BUTTON_DEL = wxNewId();
const long mainFrame::ID_BUTTON_CLEAR = wxNewId();
const long mainFrame::ID_BUTTON_QUIT = wxNewId();
const long mainFrame::ID_BUTTON1 = wxNewId();
const long mainFrame::ID_PANEL_MAIN = wxNewId();

// clang-format off
wxBEGIN_EVENT_TABLE(mainFrame, wxFrame)
    EVT_CLOSE(mainFrame::OnClose)
wxEND_EVENT_TABLE()
// clang-format on

mainFrame::mainFrame(wxWindow* parent, wxWindowID id, const wxPoint&, const wxSize&)
{
    Create(parent, id, texts::Tr(kTitle), wxDefaultPosition, wxDefaultSize, wxDEFAULT_FRAME_STYLE,
           wxS("id"));
    SetClientSize(wxSize(523, 314));
    Move(wxDefaultPosition);

    {
        // A missing or unreadable icon must never stop start-up, nor pop up
        // the framework's error box before the window is even shown.
        wxLogNull quiet;
        const wxString iconPath = WindowIconPath();
        wxImage image;
        if (wxFileName::FileExists(iconPath) && image.LoadFile(iconPath, wxBITMAP_TYPE_ANY, -1)) {
            wxIcon icon;
            icon.CopyFromBitmap(wxBitmap(image, -1));
            SetIcon(icon);
        }
    }

    // The layout keeps alignment flags that a box sizer ignores along its
    // own direction; they change nothing on screen, so silence the checks
    // that would otherwise assert on them.
    wxSizerFlags::DisableConsistencyChecks();

    m_panelMain = new wxPanel(this, ID_PANEL_MAIN, wxDefaultPosition, wxSize(500, 208),
                              wxTAB_TRAVERSAL, wxS("ID_PANEL_MAIN"));
    m_sizerTop = new wxBoxSizer(wxHORIZONTAL);
    m_listFiles =
        new wxListCtrl(m_panelMain, ID_LISTCTRL_FILES, wxDefaultPosition, wxSize(416, 198),
                       wxLC_REPORT | wxBORDER_SUNKEN, wxDefaultValidator, wxS("ID_LISTCTRL_FILES"));
    m_listFiles->SetToolTip(texts::Tr(kListTip));
    m_sizerTop->Add(m_listFiles, 1,
                    wxALL | wxEXPAND | wxALIGN_CENTER_HORIZONTAL | wxALIGN_CENTER_VERTICAL, 5);

    wxBoxSizer* sizerRight = new wxBoxSizer(wxVERTICAL);
    m_sizerButtons = new wxBoxSizer(wxVERTICAL);
    m_checkQuick =
        new wxCheckBox(m_panelMain, ID_CHECKBOX1, texts::Tr(kQuickLabel), wxDefaultPosition,
                       wxDefaultSize, 0, wxDefaultValidator, wxS("ID_CHECKBOX1"));
    m_checkQuick->SetValue(false);
    m_checkQuick->SetToolTip(texts::Tr(kQuickTip));
    m_sizerButtons->Add(m_checkQuick, 1,
                        wxALL | wxALIGN_CENTER_HORIZONTAL | wxALIGN_CENTER_VERTICAL, 5);

    const int buttonFlags = wxALL | wxEXPAND | wxALIGN_CENTER_HORIZONTAL | wxALIGN_CENTER_VERTICAL;
    m_buttonDelete =
        new wxButton(m_panelMain, ID_BUTTON_DEL, texts::Tr(kDeleteLabel), wxDefaultPosition,
                     wxDefaultSize, 0, wxDefaultValidator, wxS("ID_BUTTON_DEL"));
    m_sizerButtons->Add(m_buttonDelete, 1, buttonFlags, 5);
    m_buttonClear =
        new wxButton(m_panelMain, ID_BUTTON_CLEAR, texts::Tr(kClearLabel), wxDefaultPosition,
                     wxDefaultSize, 0, wxDefaultValidator, wxS("ID_BUTTON_CLEAR"));
    m_buttonClear->SetToolTip(texts::Tr(kClearTip));
    m_sizerButtons->Add(m_buttonClear, 1, buttonFlags, 5);
    m_buttonQuit =
        new wxButton(m_panelMain, ID_BUTTON_QUIT, texts::Tr(kQuitLabel), wxDefaultPosition,
                     wxDefaultSize, 0, wxDefaultValidator, wxS("ID_BUTTON_QUIT"));
    m_sizerButtons->Add(m_buttonQuit, 1, buttonFlags, 5);
    sizerRight->Add(m_sizerButtons, 0, wxALIGN_CENTER_HORIZONTAL, 4);

    wxBoxSizer* sizerAbout = new wxBoxSizer(wxHORIZONTAL);
    m_buttonAbout = new wxButton(m_panelMain, ID_BUTTON1, texts::Tr(kAboutLabel), wxDefaultPosition,
                                 wxDefaultSize, 0, wxDefaultValidator, wxS("ID_BUTTON1"));
    sizerAbout->Add(m_buttonAbout, 1, wxALL | wxALIGN_BOTTOM | wxALIGN_CENTER_HORIZONTAL, 0);
    sizerRight->Add(sizerAbout, 1, wxALL | wxEXPAND | wxALIGN_BOTTOM | wxALIGN_CENTER_HORIZONTAL,
                    4);
    m_sizerTop->Add(sizerRight, 0, wxEXPAND | wxALIGN_CENTER_HORIZONTAL | wxALIGN_CENTER_VERTICAL,
                    4);

    m_panelMain->SetSizer(m_sizerTop);
    m_sizerTop->SetSizeHints(m_panelMain);
    Centre(wxBOTH);

    Connect(ID_BUTTON_DEL, wxEVT_COMMAND_BUTTON_CLICKED,
            wxCommandEventHandler(mainFrame::OnDeleteClick));
    Connect(ID_BUTTON_CLEAR, wxEVT_COMMAND_BUTTON_CLICKED,
            wxCommandEventHandler(mainFrame::OnClearClick));
    Connect(ID_BUTTON_QUIT, wxEVT_COMMAND_BUTTON_CLICKED,
            wxCommandEventHandler(mainFrame::OnQuitClick));
    Connect(ID_BUTTON1, wxEVT_COMMAND_BUTTON_CLICKED,
            wxCommandEventHandler(mainFrame::OnAboutClick));
    // The rows' own area (the generic list's scroll target) gets the mouse
    // and the keys: its tool tip follows the row under the pointer.
    wxWindow* rows = m_listFiles->GetTargetWindow();
    rows->SetToolTip(texts::Tr(kListTip));
    rows->Connect(wxEVT_MOTION, wxMouseEventHandler(mainFrame::OnRowsMotion), nullptr, this);
    rows->Connect(wxEVT_KEY_DOWN, wxKeyEventHandler(mainFrame::OnRowsKeyDown), nullptr, this);

    InitExtras();
}

mainFrame::~mainFrame()
{
    RemoveTrayIcon();
}

// The icon goes with the frame: its handlers must never reach a dead window,
// and while it lives the program would not end.
void mainFrame::RemoveTrayIcon()
{
    if (m_trayIcon != nullptr) {
        m_trayIcon->RemoveIcon();
        m_trayIcon->Destroy();
        m_trayIcon = nullptr;
    }
}

void mainFrame::InitExtras()
{
    m_listFiles->InsertColumn(0, kColumnName, wxLIST_FORMAT_LEFT, wxLIST_AUTOSIZE);
    m_listFiles->InsertColumn(1, kColumnLocation, wxLIST_FORMAT_LEFT, wxLIST_AUTOSIZE);
    m_listFiles->InsertColumn(2, kColumnProgress, wxLIST_FORMAT_LEFT, wxLIST_AUTOSIZE);

    DropDelFileTarget* target = new DropDelFileTarget;
    target->m_frame = this;
    SetDropTarget(target);

    Centre(wxBOTH);

    m_trayIcon = new MyTaskBarIcon(this);
    // The frame's own icon, whatever its size (GetIcon asks for the system
    // size only); without the icon file the tray still needs something.
    const wxIconBundle& icons = GetIcons();
    const wxIcon icon =
        icons.GetIconCount() > 0 ? icons.GetIconByIndex(0) : wxArtProvider::GetIcon(wxART_DELETE);
    m_trayIcon->SetIcon(icon, texts::kToolName);
}

void mainFrame::AddFile(const wxString& path)
{
    wxFileName name;
    name.Assign(path, wxPATH_NATIVE);
    const long row = m_listFiles->InsertItem(INT_MAX, name.GetFullName());
    const std::string bytes = PathBytes(path);
    if (IsListable(bytes)) {
        m_listFiles->SetItem(row, 1, PathText(AbsolutePath(bytes)), -1);
        m_listFiles->SetItemPtrData(row, ROW_WAITING);
    } else {
        m_listFiles->SetItemTextColour(row, kFailedColour);
        m_listFiles->SetItem(row, 1, kNotFound, -1);
        m_listFiles->SetItemPtrData(row, ROW_NOT_FOUND);
    }
}

void mainFrame::FitColumns()
{
    m_listFiles->SetColumnWidth(0, m_listFiles->GetItemCount() > 0 ? wxLIST_AUTOSIZE
                                                                   : wxLIST_AUTOSIZE_USEHEADER);
    m_listFiles->SetColumnWidth(1, 180);
    m_listFiles->SetColumnWidth(2, 60);
}

void mainFrame::OnClose(wxCloseEvent& event)
{
    if (event.CanVeto()) {
        // Hidden only while a notification area can bring it back; else
        // minimised, so that the task bar or dock still offers it.
        if (m_trayArea != MyTaskBarIcon::Area::None) {
            Show(false);
        } else {
            Iconize(true);
        }
        event.Veto();
        return;
    }
    RemoveTrayIcon();
    Destroy();
}

void mainFrame::TrayAreaChanged(MyTaskBarIcon::Area area)
{
    m_trayArea = area;
    // The area that could bring the hidden window back is gone.
    if (area == MyTaskBarIcon::Area::None && !IsShown()) {
        Show(true);
    }
}

void mainFrame::OnDeleteClick(wxCommandEvent&)
{
    if (m_running) {
        return;
    }
    const bool quick = m_checkQuick->IsChecked();
    std::vector<long> rows;
    std::vector<std::string> paths;
    for (long i = 0; i < m_listFiles->GetItemCount(); ++i) {
        if (m_listFiles->GetItemData(i) == ROW_WAITING) {
            rows.push_back(i);
            paths.push_back(PathBytes(m_listFiles->GetItemText(i, 1)));
        }
    }
    if (rows.empty()) {
        return;
    }

    // The engine works in a thread of its own. A short run ends within the
    // wait and shows nothing; a longer one shows its progress in a modal
    // window, which keeps this window painted and every other control,
    // drops included, refused until the run ends.
    m_running = true;
    auto run = std::make_unique<DeletionRun>(std::move(paths), quick);
    run->Start();
    bool quit = false;
    if (!run->WaitFinished(kProgressDelayMs)) {
        DeletionProgress progress(this, *run);
        quit = progress.ShowModal() == wxID_EXIT;
        // Also ended from outside (the tray's exit): stop at a block boundary.
        if (!run->IsFinished()) {
            run->Cancel();
        }
    }
    // Storage that stopped answering holds the worker inside a system call
    // for as long as it hangs: a program that ends does not wait for it. The
    // entry being written keeps its name, since a cancelled entry is never
    // renamed; the rows no longer matter.
    if ((quit || m_quitting) && !run->IsFinished() &&
        (run->GetStatus().NotAnswering() || !run->WaitFinished(kQuitWaitMs))) {
        run.release()->Abandon();
        // That worker keeps the ended process, and with it the connection to
        // the display, alive for as long as the storage hangs: the windows
        // would stay on the screen. The connection goes on the way out.
        std::atexit(LetGoOfDisplay);
        m_running = false;
        if (quit) {
            Quit();
        }
        return;
    }
    const std::vector<ShredResult>& results = run->Results();
    m_running = false;

    // Rows the run did not reach (cancelled) stay waiting, untouched.
    for (size_t k = 0; k < results.size(); ++k) {
        ShowOutcome(rows[k], results[k]);
    }
    for (long i = m_listFiles->GetItemCount() - 1; i >= 0; --i) {
        if (m_listFiles->GetItemData(i) == ROW_SHREDDED) {
            m_listFiles->DeleteItem(i);
        }
    }
    if (quit) {
        Quit();
    }
}

void mainFrame::ShowOutcome(long row, const ShredResult& result)
{
    const std::string listed = PathBytes(m_listFiles->GetItemText(row, 1));
    m_listFiles->SetItem(row, 2, texts::Outcome(result, listed), -1);
    if (!result.Complete()) {
        // The row stays waiting, so the next run tries it again.
        m_listFiles->SetItemTextColour(row, kFailedColour);
    } else if (!result.caveats.empty()) {
        // Done, but not a success to hide: the row stays and says why.
        m_listFiles->SetItemTextColour(row, kCaveatColour);
        m_listFiles->SetItemPtrData(row, ROW_SHREDDED_CAVEAT);
    } else {
        m_listFiles->SetItemPtrData(row, ROW_SHREDDED);
    }
}

wxString mainFrame::RowText(long row) const
{
    const wxString outcome = m_listFiles->GetItemText(row, 2);
    const wxString location = m_listFiles->GetItemText(row, 1);
    return outcome.empty() ? location : location + wxS("\n") + outcome;
}

void mainFrame::OnRowsMotion(wxMouseEvent& event)
{
    // A reason does not fit its 60-pixel column: the row under the pointer
    // shows it whole, with its path; elsewhere the list's own tip.
    int flags = 0;
    const long row = m_listFiles->HitTest(event.GetPosition(), flags);
    const wxString tip =
        row >= 0 && !m_listFiles->GetItemText(row, 2).empty() ? RowText(row) : texts::Tr(kListTip);
    wxWindow* rows = m_listFiles->GetTargetWindow();
    if (rows->GetToolTipText() != tip) {
        rows->SetToolTip(tip);
    }
    event.Skip();
}

void mainFrame::OnRowsKeyDown(wxKeyEvent& event)
{
    // Ctrl+C: the selected rows' full texts, for keyboard users and for
    // pasting a reason elsewhere.
    if (event.GetModifiers() != wxMOD_CONTROL || event.GetKeyCode() != 'C') {
        event.Skip();
        return;
    }
    wxString text;
    for (long row = m_listFiles->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED); row >= 0;
         row = m_listFiles->GetNextItem(row, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED)) {
        text += RowText(row) + wxS("\n");
    }
    if (!text.empty() && wxTheClipboard->Open()) {
        wxTheClipboard->SetData(new wxTextDataObject(text));
        wxTheClipboard->Close();
    }
}

void mainFrame::OnClearClick(wxCommandEvent&)
{
    if (m_running) {
        return;
    }
    for (long i = m_listFiles->GetItemCount() - 1; i >= 0; --i) {
        m_listFiles->DeleteItem(i);
    }
}

void mainFrame::OnQuitClick(wxCommandEvent&)
{
    if (m_running) {
        return; // the progress window's cancel ends a run
    }
    Quit();
}

void mainFrame::Quit()
{
    m_quitting = true;
    if (m_trayIcon != nullptr) {
        m_trayIcon->RemoveIcon();
    }
    MyTaskBarIcon::ExitProgram();
}

void mainFrame::BringBack()
{
    // On GTK, Restore does not show a window hidden by its close box:
    // without Show the user would see nothing at all.
    Show(true);
    Restore();
    Raise();
}

void mainFrame::OnAboutClick(wxCommandEvent&)
{
    About dialog(this, wxID_ANY);
    dialog.ShowModal();
}
