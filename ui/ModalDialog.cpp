#include "ui/ModalDialog.h"

#include <wx/dialog.h>
#include <wx/toplevel.h>

wxDialog* OpenModalDialog()
{
    for (wxWindowList::compatibility_iterator node = wxTopLevelWindows.GetFirst(); node;
         node = node->GetNext()) {
        wxDialog* dialog = wxDynamicCast(node->GetData(), wxDialog);
        if (dialog != nullptr && dialog->IsModal()) {
            return dialog;
        }
    }
    return nullptr;
}
