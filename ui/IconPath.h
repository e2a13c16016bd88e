// Where the window icon file lives.
#ifndef VORN_UI_ICONPATH_H
#define VORN_UI_ICONPATH_H

#include <wx/string.h>

// Absolute path of the window icon: the installed copy when the running
// program is the installed one, the source tree's copy for a build run in
// place. Either path is compiled in.
wxString WindowIconPath();
// The icon theme folder a StatusNotifierItem names for the icon "vorn": the
// build's own for a build run in place, empty (the system's themes) for the
// installed program.
wxString StatusIconThemePath();

#endif // VORN_UI_ICONPATH_H
