#include "ui/IconPath.h"

#include <wx/filename.h>
#include <wx/stdpaths.h>

wxString WindowIconPath()
{
    // Decide by where the executable lives, not by which file exists: a
    // build run in place must not pick up an older installed icon, and an
    // installed program must never read from a source tree.
    const wxFileName exe(wxStandardPaths::Get().GetExecutablePath());
    const wxFileName bindir = wxFileName::DirName(wxS(VORN_INSTALLED_BINDIR));
    if (exe.GetPath() == bindir.GetPath()) {
        return wxS(VORN_INSTALLED_ICON);
    }
    return wxS(VORN_SOURCE_ICON);
}
