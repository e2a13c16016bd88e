// The tests write their texts and paths as UTF-8 literals. wxWidgets on GTK
// leaves the C locale in force, where a narrow string would convert to an
// empty one, so they are converted explicitly.
#ifndef VORN_TESTS_SUPPORT_UTF8_H
#define VORN_TESTS_SUPPORT_UTF8_H

#include <wx/string.h>

#include <string>

inline wxString W(const std::string& text)
{
    return wxString::FromUTF8(text.c_str());
}

#endif // VORN_TESTS_SUPPORT_UTF8_H
