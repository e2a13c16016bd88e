#include "shred/PathEncoding.h"

#include <wx/strconv.h>

namespace {

// Invalid bytes in a name are shown as octal escapes rather than lost.
wxMBConvUTF8& LosslessUtf8()
{
    static wxMBConvUTF8 conv(wxMBConvUTF8::MAP_INVALID_UTF8_TO_OCTAL);
    return conv;
}

} // namespace

std::string PathBytes(const wxString& path)
{
    wxCharBuffer bytes = path.mb_str(*wxConvFileName);
    if (bytes.length() == 0 && !path.empty()) {
        bytes = path.mb_str(LosslessUtf8());
    }
    return std::string(bytes.data(), bytes.length());
}

wxString PathText(const std::string& bytes)
{
    wxString text(bytes.c_str(), *wxConvFileName);
    if (text.empty() && !bytes.empty()) {
        text = wxString(bytes.c_str(), LosslessUtf8());
    }
    return text;
}
