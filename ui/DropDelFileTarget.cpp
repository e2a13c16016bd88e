#include "ui/DropDelFileTarget.h"

#include "ui/mainFrame.h"

bool DropDelFileTarget::OnDropFiles(wxCoord, wxCoord, const wxArrayString& filenames)
{
    // The list must not change under a deletion run: refuse the drop.
    if (m_frame->IsRunning()) {
        return false;
    }
    for (size_t i = 0; i < filenames.GetCount(); ++i) {
        m_frame->AddFile(filenames[i]);
    }
    return true;
}
