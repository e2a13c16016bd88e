#include "ui/ModalDialog.h"

#include <wx/dialog.h>
#include <wx/toplevel.h>

wxDialog* FindOpenModalDialog()
{
    for (wxWindowList::compatibility_iterator node = wxTopLevelWindows.GetFirst(); node;
         node = node->GetNext()) {
        wxDialog* dialog = dynamic_cast<wxDialog*>(node->GetData());
        if (dialog != nullptr && dialog->IsModal()) {
            return dialog;
        }
    }
    return nullptr;
}
