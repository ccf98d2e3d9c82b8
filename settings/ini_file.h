// The sectioned text format of the settings file, read and rewritten one key
// at a time.
//
// Format, line by line:
//   blank line      nothing but blanks
//   comment line    first character after leading blanks is '#', '%' or ';'
//   section header  first character after leading blanks is '['; it is the
//                   header of section N only when the text after the blanks
//                   is exactly "[N]" (letter case aside)
//   key line        any other line inside a section: "key = value"; the key
//                   is trimmed, the value loses leading blanks and '=' signs,
//                   a remark from the last ';' on (unless a '"' follows that
//                   ';') and trailing blanks
// Lines before the first header are kept on rewrites and otherwise ignored.
// Section names and keys compare without regard to letter case. A trailing
// carriage return is ignored, so files edited on Windows read the same.
//
// Threads: no state of its own; callers serialise rewrites of one file.
#ifndef TARVOS_SETTINGS_INI_FILE_H_
#define TARVOS_SETTINGS_INI_FILE_H_

#include <optional>
#include <string>
#include <string_view>

#include "base/file_access.h"

namespace tarvos {

// The same two operations on the file's text, without touching any file.
std::optional<std::string> FindIniValue(std::string_view text,
                                        std::string_view section,
                                        std::string_view key);
std::string RewriteIniValue(std::string_view text, std::string_view section,
                            std::string_view key, std::string_view value);

// The whole settings file at `path`, read only when it is a regular file and
// without blocking (a FIFO or device of that name is refused, not opened for
// a blocking read). A failure is reported as "Can't open <path>: <reason>"
// on the standard error stream and to the StatusLog (settings_report.h).
FileResult ReadIniText(const std::string& path, std::string* text);

// The value of `key` in `section`, or nothing when absent. The last matching
// line wins; a value that starts with '"' loses its first and last
// character. A file that cannot be read gives nothing and is reported as
// for ReadIniText.
std::optional<std::string> ReadIniValue(const std::string& path,
                                        std::string_view section,
                                        std::string_view key);

// Sets `key` in `section` to `value` through a temporary copy of the file
// that replaces it only when every read and write succeeded. The first
// matching key line gets the new value (keeping its key text); a missing key
// is added as the last line of its section, a missing section is appended
// with it. Line breaks in key or value are cut off there, so a value can
// never add lines to the file. Returns false, leaving the file as it was,
// on any failure (which is reported as for ReadIniValue).
bool WriteIniValue(const std::string& path, std::string_view section,
                   std::string_view key, std::string_view value);

// The text of a new file: `preamble` followed by one header line per
// section name.
std::string IniSkeleton(std::string_view preamble,
                        const std::string_view* sections, int section_count);

// Creates the missing file with `text` in one write; a part written (a
// full disk) is removed again, so the file appears whole or not at all.
// Returns false when it cannot be written (reported as for ReadIniValue).
bool CreateIniFile(const std::string& path, const std::string& text);

// Test seam: replaces the rename that puts a rewritten copy in place of the
// file (false = the rename failed); null restores the file system's own.
// Lets a test make that one step fail, which the file system offers no
// dependable way to do.
using IniRenameFunction = bool (*)(const std::string& from,
                                   const std::string& to);
void SetIniRenameForTesting(IniRenameFunction rename);

// The temporary file a rewrite of `path` goes through: the same name with
// its extension replaced by "tmp" (or ".tmp" appended when it has none).
std::string IniTempPath(const std::string& path);

}  // namespace tarvos

#endif  // TARVOS_SETTINGS_INI_FILE_H_
