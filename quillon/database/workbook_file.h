#pragma once
// A workbook is written under a partial name from its template and only a complete one, on
// disk, takes its real name (replacing an older one of that name) and turns read-only.
#include <filesystem>

namespace quillon {

// Copies the template (it must exist; DbError otherwise) to `partial`, writable.
void StartWorkbookFromTemplate(const std::filesystem::path& templateFile, const std::filesystem::path& partial);

// Flushes the closed `partial` to disk, renames it to `target` (replacing an older one, a
// read-only one too) and makes it read-only. Throws std::runtime_error or
// std::filesystem::filesystem_error when any of that fails.
void PublishWorkbook(const std::filesystem::path& partial, const std::filesystem::path& target);

}  // namespace quillon
