#include "settings/ini_file.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "base/file_access.h"
#include "settings/settings_report.h"

namespace tarvos {
namespace {

enum class LineKind { kBlank, kComment, kHeader, kKey };

// Set by tests only (SetIniRenameForTesting); atomic because rewrites run on
// client threads as well as the main thread.
std::atomic<IniRenameFunction> g_rename_for_testing{nullptr};

// Puts the rewritten copy in place of the file.
bool ReplaceIniFile(const std::string& from, const std::string& to) {
  if (IniRenameFunction rename = g_rename_for_testing.load()) {
    return rename(from, to);
  }
  return ReplaceRegularFile(from, to);
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimLeft(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && IsBlank(s[i])) ++i;
  return s.substr(i);
}

std::string_view TrimRight(std::string_view s) {
  size_t n = s.size();
  while (n > 0 && IsBlank(s[n - 1])) --n;
  return s.substr(0, n);
}

std::string_view Trim(std::string_view s) { return TrimRight(TrimLeft(s)); }

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

// The line as parsed: without a trailing carriage return.
std::string_view Content(std::string_view raw) {
  std::string_view s = raw;
  if (!s.empty() && s.back() == '\r') s.remove_suffix(1);
  return s;
}

LineKind Classify(std::string_view line) {
  std::string_view rest = TrimLeft(line);
  if (rest.empty()) return LineKind::kBlank;
  if (rest[0] == '#' || rest[0] == '%' || rest[0] == ';') {
    return LineKind::kComment;
  }
  if (rest[0] == '[') return LineKind::kHeader;
  return LineKind::kKey;
}

bool IsHeaderOf(std::string_view line, std::string_view section) {
  std::string_view rest = TrimLeft(line);
  if (rest.size() != section.size() + 2) return false;
  return rest.front() == '[' && rest.back() == ']' &&
         EqualsNoCase(rest.substr(1, section.size()), section);
}

struct KeyLine {
  std::string_view key;
  std::string_view value;
};

KeyLine SplitKeyLine(std::string_view line) {
  const size_t eq = line.find('=');
  if (eq == std::string_view::npos) return {Trim(line), {}};
  std::string_view value = line.substr(eq + 1);
  size_t i = 0;
  while (i < value.size() && (IsBlank(value[i]) || value[i] == '=')) ++i;
  value.remove_prefix(i);
  const size_t remark = value.rfind(';');
  if (remark != std::string_view::npos &&
      value.find('"', remark) == std::string_view::npos) {
    value = value.substr(0, remark);
  }
  return {Trim(line.substr(0, eq)), TrimRight(value)};
}

std::string_view FirstLine(std::string_view s) {
  const size_t end = s.find_first_of("\r\n");
  return end == std::string_view::npos ? s : s.substr(0, end);
}

// Splits text into lines without their line feeds; a last line without a
// line feed is kept.
std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find('\n', start);
    if (end == std::string_view::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// The whole file; false (reported) when it is not a regular file, cannot
// be opened or a read fails.
bool ReadFile(const std::string& path, std::string& text) {
  const FileResult result = ReadIniText(path, &text);
  return result.ok();
}

void PutLine(std::string& out, std::string_view text) {
  out.append(text);
  out.push_back('\n');
}

void PutKeyLine(std::string& out, std::string_view key,
                std::string_view value) {
  out.append(key);
  out.append(" = ");
  out.append(value);
  out.push_back('\n');
}

}  // namespace

void SetIniRenameForTesting(IniRenameFunction rename) {
  g_rename_for_testing.store(rename);
}

std::string IniTempPath(const std::string& path) {
  const size_t name_start = path.find_last_of("/\\");
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos ||
      (name_start != std::string::npos && dot < name_start)) {
    return path + ".tmp";
  }
  return path.substr(0, dot + 1) + "tmp";
}

std::optional<std::string> FindIniValue(std::string_view text,
                                        std::string_view section,
                                        std::string_view key) {
  std::optional<std::string> found;
  bool in_section = false;
  for (std::string_view raw : SplitLines(text)) {
    const std::string_view line = Content(raw);
    switch (Classify(line)) {
      case LineKind::kHeader:
        in_section = IsHeaderOf(line, section);
        break;
      case LineKind::kKey: {
        if (!in_section) break;
        const KeyLine parsed = SplitKeyLine(line);
        if (!EqualsNoCase(parsed.key, key)) break;
        std::string_view value = parsed.value;
        if (!value.empty() && value.front() == '"') {
          value = value.size() >= 2 ? value.substr(1, value.size() - 2)
                                    : std::string_view();
        }
        found = std::string(value);
        break;
      }
      case LineKind::kBlank:
      case LineKind::kComment:
        break;
    }
  }
  return found;
}

std::string RewriteIniValue(std::string_view text, std::string_view section,
                            std::string_view key, std::string_view value) {
  key = FirstLine(key);
  value = FirstLine(value);
  std::string out;
  out.reserve(text.size() + key.size() + value.size() + section.size() + 8);
  bool in_section = false;
  bool matched = false;
  for (std::string_view raw : SplitLines(text)) {
    const std::string_view line = Content(raw);
    const LineKind kind = Classify(line);
    if (kind == LineKind::kHeader) {
      // Leaving the wanted section without a match: the key goes last in it.
      if (in_section && !matched) {
        PutKeyLine(out, key, value);
        matched = true;
      }
      in_section = IsHeaderOf(line, section);
    } else if (kind == LineKind::kKey && in_section && !matched) {
      const KeyLine parsed = SplitKeyLine(line);
      if (EqualsNoCase(parsed.key, key)) {
        PutKeyLine(out, parsed.key, value);
        matched = true;
        continue;
      }
    }
    PutLine(out, raw);
  }
  if (!matched) {
    if (!in_section) {
      out.push_back('[');
      out.append(section);
      PutLine(out, "]");
    }
    PutKeyLine(out, key, value);
  }
  return out;
}

std::optional<std::string> ReadIniValue(const std::string& path,
                                        std::string_view section,
                                        std::string_view key) {
  std::string text;
  if (!ReadFile(path, text)) return std::nullopt;
  return FindIniValue(text, section, key);
}

FileResult ReadIniText(const std::string& path, std::string* text) {
  const FileResult result = ReadRegularFile(path, text);
  if (!result.ok()) ReportSettingsFileFailure(path, result);
  return result;
}

namespace {

// Puts `text` in the place of the file at `path` in one step: written whole
// into the temporary copy first, which then replaces the file. On any
// failure the file is as it was (or still missing) and no part-written
// copy is left.
bool ReplaceIniText(const std::string& path, const std::string& text) {
  const std::string temp = IniTempPath(path);
  // Never blocks and never writes through anything but a regular file: a
  // FIFO named like the temporary file must not hang a client thread.
  const FileResult written = WriteRegularFile(temp, text);
  if (!written.ok()) {
    ReportSettingsFileFailure(temp, written);
    // A part written is removed; something else of that name is not ours.
    if (written.status != FileStatus::kNotRegular) {
      std::error_code ignored;
      std::filesystem::remove(temp, ignored);
    }
    return false;
  }
  // The temporary copy replaces the file only when it was written whole.
  if (!ReplaceIniFile(temp, path)) {
    std::error_code error;
    std::filesystem::remove(temp, error);
    return false;
  }
  return true;
}

}  // namespace

bool WriteIniValue(const std::string& path, std::string_view section,
                   std::string_view key, std::string_view value) {
  std::string text;
  if (!ReadFile(path, text)) return false;
  return ReplaceIniText(path, RewriteIniValue(text, section, key, value));
}

std::string IniSkeleton(std::string_view preamble,
                        const std::string_view* sections, int section_count) {
  std::string text(preamble);
  for (int i = 0; i < section_count; ++i) {
    text.push_back('[');
    text.append(sections[i]);
    PutLine(text, "]");
  }
  return text;
}

bool CreateIniFile(const std::string& path, const std::string& text) {
  // Straight into the file, which was missing: a part written is removed,
  // so the file appears whole or not at all (the temporary copy may be
  // blocked by something else of its name, and is not needed here).
  const FileResult written = WriteRegularFile(path, text);
  if (written.ok()) return true;
  ReportSettingsFileFailure(path, written);
  if (written.status != FileStatus::kNotRegular) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
  }
  return false;
}

}  // namespace tarvos
