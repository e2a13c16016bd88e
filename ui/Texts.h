// Texts shared by several windows. Every Chinese text is a wide literal
// (wxS): wxWidgets on GTK leaves the C locale in force, where a narrow
// literal would convert to an empty string.
#ifndef VORN_UI_TEXTS_H
#define VORN_UI_TEXTS_H

#include <wx/chartype.h>
#include <wx/string.h>
#include <wx/translation.h>

namespace texts {

// The product's short name: message-box caption, tray tool tip and menu item.
inline constexpr const wxChar* kToolName = wxS("彻底删除工具");

// Window titles, labels and tool tips pass through the message catalogue;
// with none installed the text comes back unchanged.
inline wxString Tr(const wxChar* text)
{
    return wxGetTranslation(text);
}

} // namespace texts

#endif // VORN_UI_TEXTS_H
