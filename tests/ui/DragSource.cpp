// A tiny program that drags the files named on its command line: a press
// and a move inside its window start a real drag and drop of the files, as
// a file manager would. The drag-and-drop test drives it with xdotool.
#include <wx/app.h>
#include <wx/dataobj.h>
#include <wx/dnd.h>
#include <wx/frame.h>
#include <wx/panel.h>

namespace {

class DragPanel : public wxPanel
{
public:
    DragPanel(wxWindow* parent, const wxArrayString& files) : wxPanel(parent), m_files(files)
    {
        Bind(wxEVT_MOTION, &DragPanel::OnMotion, this);
    }

private:
    void OnMotion(wxMouseEvent& event)
    {
        if (!event.Dragging() || m_dragging) {
            return;
        }
        m_dragging = true;
        wxFileDataObject data;
        for (const wxString& file : m_files) {
            data.AddFile(file);
        }
        wxDropSource source(data, this);
        source.DoDragDrop(wxDrag_CopyOnly);
        m_dragging = false;
    }

    wxArrayString m_files;
    bool m_dragging = false;
};

class DragSourceApp : public wxApp
{
public:
    bool OnInit() override
    {
        wxArrayString files;
        for (int i = 1; i < argc; ++i) {
            files.Add(argv[i]);
        }
        auto* frame = new wxFrame(nullptr, wxID_ANY, wxS("vorn-drag-source"), wxPoint(0, 0),
                                  wxSize(200, 150));
        new DragPanel(frame, files);
        frame->Show();
        return true;
    }
};

} // namespace

wxIMPLEMENT_APP(DragSourceApp);
