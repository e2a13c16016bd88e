// Receives files dropped anywhere on the main window and lists them.
#ifndef VORN_UI_DROPDELFILETARGET_H
#define VORN_UI_DROPDELFILETARGET_H

#include <wx/dnd.h>

class mainFrame;

class DropDelFileTarget : public wxFileDropTarget
{
public:
    DropDelFileTarget() = default;

    // Lists each dropped path in the order delivered; refuses the drop only
    // while a deletion run goes on.
    bool OnDropFiles(wxCoord x, wxCoord y, const wxArrayString& filenames) override;

    mainFrame* m_frame = nullptr; // not owned; set by the creator
};

#endif // VORN_UI_DROPDELFILETARGET_H
