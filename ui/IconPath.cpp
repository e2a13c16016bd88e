#include "ui/IconPath.h"

#include <wx/filename.h>
#include <wx/stdpaths.h>

namespace {

// Decide by where the executable lives, not by which file exists: a build
// run in place must not pick up an older installed icon, and an installed
// program must never read from a source or build tree.
bool Installed()
{
    const wxFileName exe(wxStandardPaths::Get().GetExecutablePath());
    const wxFileName bindir = wxFileName::DirName(wxS(VORN_INSTALLED_BINDIR));
    return exe.GetPath() == bindir.GetPath();
}

} // namespace

wxString WindowIconPath()
{
    return Installed() ? wxS(VORN_INSTALLED_ICON) : wxS(VORN_SOURCE_ICON);
}

wxString StatusIconThemePath()
{
    return Installed() ? wxString() : wxS(VORN_BUILD_ICON_THEME);
}
