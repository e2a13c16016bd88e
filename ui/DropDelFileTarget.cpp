#include "ui/DropDelFileTarget.h"

#include "ui/mainFrame.h"

bool DropDelFileTarget::OnDropFiles(wxCoord, wxCoord, const wxArrayString& filenames)
{
    for (size_t i = 0; i < filenames.GetCount(); ++i) {
        m_frame->AddFile(filenames[i]);
    }
    return true;
}
