#include "ui/ColourContrast.h"

#include <wx/settings.h>

#include <cmath>

namespace {

constexpr double kReadable = 4.5;

// WCAG's relative luminance.
double Luminance(const wxColour& colour)
{
    const auto channel = [](unsigned char value) {
        const double c = value / 255.0;
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(colour.Red()) + 0.7152 * channel(colour.Green()) +
           0.0722 * channel(colour.Blue());
}

} // namespace

double ContrastRatio(const wxColour& a, const wxColour& b)
{
    const double la = Luminance(a) + 0.05;
    const double lb = Luminance(b) + 0.05;
    return la > lb ? la / lb : lb / la;
}

wxColour ReadableLinkColour(const wxColour& preferred, const wxColour& background)
{
    if (ContrastRatio(preferred, background) >= kReadable) {
        return preferred;
    }
    const wxColour link = wxSystemSettings::GetColour(wxSYS_COLOUR_HOTLIGHT);
    if (link.IsOk() && ContrastRatio(link, background) >= kReadable) {
        return link;
    }
    // A dark blue on light backgrounds, a light blue on dark ones.
    return Luminance(background) > 0.18 ? wxColour(0x1A, 0x4F, 0x9C) : wxColour(0x8C, 0xB8, 0xF2);
}
