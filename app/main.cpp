// Entry point: keeps the raw command line, then hands over to wxWidgets.
#include "app/vornApp.h"

#include <cstdio>
#include <cstdlib>

wxIMPLEMENT_APP_NO_MAIN(vornApp);

int main(int argc, char** argv)
{
    vornApp::SetRawArguments(argc, argv);
    // Every argument is a path: the toolkit gets the program's name alone,
    // or GTK would take a file named "--display" (or any of its options) for
    // itself. It finds the display in the environment.
    int toolkitArgc = 1;
    char* toolkitArgv[] = {argv[0], nullptr};
    const int status = wxEntry(toolkitArgc, toolkitArgv);
    // A later start tells its starter whether the running instance answered.
    switch (vornApp::LaterStartOutcome()) {
    case vornApp::LaterStart::Activated:
        return 0;
    case vornApp::LaterStart::Unreachable:
        return 1;
    case vornApp::LaterStart::NotLater:
        break;
    }
    if (status != 0 && std::getenv("DISPLAY") == nullptr &&
        std::getenv("WAYLAND_DISPLAY") == nullptr) {
        std::fprintf(stderr, "vorn: 没有图形显示，无法启动 (no graphical display: set DISPLAY)\n");
    }
    return status;
}
