// How well one colour reads on another, as WCAG measures it.
#ifndef VORN_UI_COLOURCONTRAST_H
#define VORN_UI_COLOURCONTRAST_H

#include <wx/colour.h>

// The contrast ratio of two colours, from 1 (none) to 21 (black on white);
// text needs at least 4.5.
double ContrastRatio(const wxColour& a, const wxColour& b);

// The colour of a link on `background`: `preferred` where it reads (4.5:1),
// else the theme's link colour where that reads, else a blue that does.
wxColour ReadableLinkColour(const wxColour& preferred, const wxColour& background);

#endif // VORN_UI_COLOURCONTRAST_H
