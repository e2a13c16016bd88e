// The words for what the engine reports: failures, their summary for a
// row, and what the storage could not promise.
#ifndef VORN_UI_RESULTTEXTS_H
#define VORN_UI_RESULTTEXTS_H

#include "shred/ShredResult.h"

#include <wx/string.h>

namespace texts {

// Why one entry was not destroyed: "无法改名：Operation not permitted".
wxString Reason(const ShredFailure& failure);
// One line for a listed path's row: the reason of its only failure (its
// path left out when it is `listed` itself), or how many failed and the first.
wxString Summary(const ShredResult& result, const std::string& listed);
// A row that was shredded on storage that may keep the old content.
wxString Caveat(const ShredCaveat& caveat);

} // namespace texts

#endif // VORN_UI_RESULTTEXTS_H
