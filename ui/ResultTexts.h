// The words for what the engine reports: failures, their summary for a
// row, what the storage could not promise and the system's errors, all in
// this program's own Chinese whatever the locale.
#ifndef VORN_UI_RESULTTEXTS_H
#define VORN_UI_RESULTTEXTS_H

#include "shred/ShredResult.h"

#include <wx/string.h>

#include <string>

namespace texts {

// Why one entry was not destroyed: "无法改名：操作不被允许".
wxString Reason(const ShredFailure& failure);
// A system error number in words; an unusual one in the system's own
// text with its number.
wxString SystemError(int err);
// One line for a listed path's row: the reason of its only failure (its
// path left out when it is `listed` itself), or how many failed and the first.
wxString Summary(const ShredResult& result, const std::string& listed);
// A row that was shredded on storage that may keep the old content.
wxString Caveat(const ShredCaveat& caveat);
// A row's progress cell after a run: the failure with its summary, the
// first caveat, or done.
wxString Outcome(const ShredResult& result, const std::string& listed);

} // namespace texts

#endif // VORN_UI_RESULTTEXTS_H
