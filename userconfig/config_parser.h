// Reading the text of TARVOSOffsets.cfg: logical lines (with "_" line
// joining), tokens, and the three line grammars (Offset, Dataref, Command).
//
// Works on an in-memory text so that tests and fuzzers need no files. Lines
// that cannot be used are skipped with one StatusLog line naming the line;
// limits are enforced by cutting and are reported the same way. Nothing here
// touches the host.
#ifndef TARVOS_USERCONFIG_CONFIG_PARSER_H_
#define TARVOS_USERCONFIG_CONFIG_PARSER_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "userconfig/user_tables.h"

namespace tarvos {

// Splits a file's text into logical lines: physical lines (at most
// kMaxLineChars characters each, longer ones cut) joined while the text ends
// in "_" (the mark and everything after it dropped, the next line appended
// as it is), the joined line again at most kMaxLineChars characters.
// The text must outlive the reader.
class LogicalLineReader {
 public:
  explicit LogicalLineReader(std::string_view text) : text_(text) {}

  // Reads the next logical line; false at the end of the text.
  bool Next();
  std::string_view line() const { return std::string_view(buf_, len_); }
  // 1-based number of the physical line the logical line starts on.
  int line_number() const { return start_line_; }
  // True when the line (or one it was joined with) was cut to the limit.
  bool cut() const { return cut_; }

 private:
  bool ReadPhysical(std::string_view* out, bool* cut);
  void Append(std::string_view part);

  std::string_view text_;
  size_t pos_ = 0;
  int physical_line_ = 0;
  int start_line_ = 0;
  bool cut_ = false;
  size_t len_ = 0;
  char buf_[kMaxLineChars];
};

// The tokens of one logical line: split at space, tab, line feed and
// carriage return, ended by the first token starting with "#", at most
// kMaxLineTokens tokens of at most kMaxTokenChars characters. The tokens
// point into the line, which must outlive them.
struct LineTokens {
  std::string_view token[kMaxLineTokens];
  int count = 0;
  bool too_many = false;   // tokens beyond the limit were dropped
  bool token_cut = false;  // a token was cut to kMaxTokenChars
};
void TokenizeLine(std::string_view line, LineTokens* out);

// Number readers of the file grammar. Each reads the longest prefix that
// fits and gives 0 when there is none; none of them fails or overflows.
// Hexadecimal offset: optional sign, optional 0x/0X, hex digits; the low 16
// bits of the number written.
uint16_t ParseHexOffset(std::string_view text);
// Decimal integer with optional sign, saturated to the 32-bit range.
int32_t ParseDecimalInt(std::string_view text);

// Parses a whole file text into sorted tables, writing a StatusLog line for
// each skipped or cut line and for each write target that names no Dataref
// line. Handles are left null (see ResolveUserReferences).
UserTables ParseUserOffsetConfig(std::string_view text);

}  // namespace tarvos

#endif  // TARVOS_USERCONFIG_CONFIG_PARSER_H_
