#pragma once
// The differences of two saves for the terminal (a table per section, changed lines only,
// the summary first), for scripts (one JSON object) and as HTML (a page of its own, or a
// section of the report).
#include <string>

#include "quillon/view/save_diff.h"

namespace quillon::view {

std::string DiffText(const SaveDiff& diff);
// {"oldSave", "newSave", "summary", "identity": [{"key", "old", "new", "name"?, "unit"?,
// "change"?}], "settings", "banks", "troubleRecords", "eventCounts", "eventLog", "notes"}
std::string DiffJson(const SaveDiff& diff);
// A <section> with the elements a report already styles.
std::string DiffHtmlSection(const SaveDiff& diff);
// One self-contained page.
std::string DiffHtmlPage(const SaveDiff& diff);

}  // namespace quillon::view
