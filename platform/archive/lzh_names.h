#pragma once
// Member names as archives store them. LHA archives carry no word on how their names are
// encoded; the LHA tools of Windows, where these archives are made and read, write and read
// them in the system's ANSI code page (Shift-JIS on Japanese systems), while lhasa and 7-Zip
// on Linux take the bytes as they are. So names are stored in the ANSI code page of the run
// (windows-1252 unless told otherwise), which Windows tools of that code page show as they
// were; a name with a character that code page cannot hold is stored in UTF-8, whole rather
// than with characters lost. Names read from an archive are taken back the same way.
#include <string>

namespace platform::archive {

inline constexpr const char* kDefaultNameCodePage = "windows-1252";

// The stored bytes of a UTF-8 name ('/' between parts).
std::string StoredName(const std::string& name, const std::string& codePage);

// The UTF-8 name of stored bytes: ASCII or valid UTF-8 as it is, otherwise read in the code
// page. Empty when it is neither.
std::string NameFromStored(const std::string& stored, const std::string& codePage);

// False when iconv does not know the code page.
bool KnownCodePage(const std::string& codePage);

}  // namespace platform::archive
