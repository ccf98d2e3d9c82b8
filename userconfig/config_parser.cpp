#include "userconfig/config_parser.h"

#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "base/status_log.h"

namespace tarvos {
namespace {

// White space for the continuation test (what a C isspace accepts).
bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

// Token delimiters of the file grammar.
bool IsDelimiter(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads an optional run of blanks and a sign; returns the index after them.
size_t SkipBlanksAndSign(std::string_view text, bool* negative) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  *negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    *negative = text[i] == '-';
    ++i;
  }
  return i;
}

enum class LineKind { kNone, kOffset, kDataref, kCommand };

LineKind KindOf(std::string_view first) {
  if (first.starts_with("Offset")) return LineKind::kOffset;
  if (first.starts_with("Dataref")) return LineKind::kDataref;
  if (first.starts_with("Command")) return LineKind::kCommand;
  return LineKind::kNone;
}

// Fewest tokens each line kind needs, keyword included.
int MinTokens(LineKind kind) {
  switch (kind) {
    case LineKind::kOffset:
      return 5;
    case LineKind::kDataref:
      return 4;
    case LineKind::kCommand:
      return 6;
    case LineKind::kNone:
      break;
  }
  return 0;
}

const char* KindName(LineKind kind) {
  switch (kind) {
    case LineKind::kOffset:
      return "Offset";
    case LineKind::kDataref:
      return "Dataref";
    case LineKind::kCommand:
      return "Command";
    case LineKind::kNone:
      break;
  }
  return "";
}

int Len(std::string_view s) { return static_cast<int>(s.size()); }

// Type keyword of an Offset or Command line; logs and fails when unknown
// (a value of no size would never advance a write) or when the value would
// run past the end of the offset space.
bool ParseTypeField(const LineTokens& t, int line, LineKind kind,
                    uint16_t offset, OffsetType* type, uint32_t* size) {
  if (!ParseOffsetType(t.token[2], type)) {
    StatusLine(
        "TARVOS->TARVOSOffsets.cfg line %d: unknown type %.*s, %s "
        "line skipped\n",
        line, Len(t.token[2]), t.token[2].data(), KindName(kind));
    return false;
  }
  *size = OffsetTypeSize(*type);
  if (offset + *size > 0x10000u) {
    StatusLine(
        "TARVOS->TARVOSOffsets.cfg line %d: %s at 0x%04X runs past "
        "the end of the offset space, line skipped\n",
        line, KindName(kind), offset);
    return false;
  }
  return true;
}

bool ParseOffsetLine(const LineTokens& t, int line, UserOffsetEntry* e) {
  e->offset = ParseHexOffset(t.token[1]);
  if (!ParseTypeField(t, line, LineKind::kOffset, e->offset, &e->type,
                      &e->size)) {
    return false;
  }
  e->group = ParseDecimalInt(t.token[3]);
  std::string_view access = t.token[4];
  if (access == "w") {
    e->access = AccessMode::kWrite;
  } else if (access == "rw") {
    e->access = AccessMode::kReadWrite;
  } else {
    e->access = AccessMode::kRead;
  }
  std::vector<std::string_view> expr(t.token + 5, t.token + t.count);
  e->tokens.Assign(expr);
  e->line = line;
  return true;
}

void ParseDatarefLine(const LineTokens& t, int line, UserDatarefEntry* e) {
  e->name = std::string(t.token[1]);
  std::string_view path = t.token[2];
  size_t bracket = path.find('[');
  if (bracket != std::string_view::npos) {
    // The closing "]" is not required.
    e->index = ParseDecimalInt(path.substr(bracket + 1));
    path = path.substr(0, bracket);
  }
  e->path = std::string(path);
  e->type = ParseDatarefType(t.token[3]);
  if (e->type == kDatarefUnknown) {
    StatusLine(
        "TARVOS->TARVOSOffsets.cfg line %d: unknown dataref type "
        "%.*s, %s reads as 0\n",
        line, Len(t.token[3]), t.token[3].data(), e->name.c_str());
  }
}

bool ParseCommandLine(const LineTokens& t, int line, UserCommandEntry* e) {
  e->offset = ParseHexOffset(t.token[1]);
  if (!ParseTypeField(t, line, LineKind::kCommand, e->offset, &e->type,
                      &e->size)) {
    return false;
  }
  int groups = (t.count - 3) / 3;
  if (groups > kMaxCommandBindings) groups = kMaxCommandBindings;
  e->bindings.resize(groups);
  for (int g = 0; g < groups; ++g) {
    CommandBinding& b = e->bindings[g];
    b.mode = ParseDecimalInt(t.token[3 + 3 * g]);
    b.value = ParseDecimalPrefix(t.token[4 + 3 * g]);
    b.command = std::string(t.token[5 + 3 * g]);
  }
  e->line = line;
  return true;
}

// Names that no Dataref line defines are reported once here: a write target
// is then skipped quietly at run time, a "$" read evaluates to 111.
void ReportUnknownNames(const UserTables& tables) {
  for (const UserOffsetEntry& e : tables.offsets) {
    for (int i = 0; i < e.tokens.size(); ++i) {
      const ExprToken& tok = e.tokens[i];
      if (tok.op != ExprOp::kWriteTarget && tok.op != ExprOp::kDataref) {
        continue;
      }
      if (FindUserDatarefIn(tables, tok.name) != nullptr) continue;
      if (tok.op == ExprOp::kWriteTarget) {
        StatusLine(
            "TARVOS->TARVOSOffsets.cfg line %d: write target %.*s "
            "names no Dataref line, ignored\n",
            e.line, Len(tok.text), tok.text.data());
      } else {
        StatusLine(
            "TARVOS->TARVOSOffsets.cfg line %d: %.*s names no Dataref "
            "line, reads as 111\n",
            e.line, Len(tok.text), tok.text.data());
      }
    }
  }
}

}  // namespace

bool LogicalLineReader::ReadPhysical(std::string_view* out, bool* cut) {
  if (pos_ >= text_.size()) return false;
  size_t end = text_.find('\n', pos_);
  end = (end == std::string_view::npos) ? text_.size() : end + 1;
  std::string_view whole = text_.substr(pos_, end - pos_);
  pos_ = end;
  ++physical_line_;
  *cut = whole.size() > static_cast<size_t>(kMaxLineChars);
  *out = *cut ? whole.substr(0, kMaxLineChars) : whole;
  return true;
}

void LogicalLineReader::Append(std::string_view part) {
  size_t room = sizeof buf_ - len_;
  if (part.size() > room) {
    part = part.substr(0, room);
    cut_ = true;
  }
  if (!part.empty()) std::memcpy(buf_ + len_, part.data(), part.size());
  len_ += part.size();
}

bool LogicalLineReader::Next() {
  std::string_view part;
  bool cut = false;
  if (!ReadPhysical(&part, &cut)) return false;
  start_line_ = physical_line_;
  len_ = 0;
  cut_ = cut;
  Append(part);
  for (;;) {
    size_t last = len_;
    while (last > 0 && IsBlank(buf_[last - 1])) --last;
    if (last == 0 || buf_[last - 1] != '_') break;
    // A continuation mark: drop it and what follows, join the next line.
    len_ = last - 1;
    if (!ReadPhysical(&part, &cut)) break;
    cut_ = cut_ || cut;
    Append(part);
  }
  return true;
}

void TokenizeLine(std::string_view line, LineTokens* out) {
  out->count = 0;
  out->too_many = false;
  out->token_cut = false;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && IsDelimiter(line[i])) ++i;
    if (i >= line.size()) break;
    size_t start = i;
    while (i < line.size() && !IsDelimiter(line[i])) ++i;
    std::string_view token = line.substr(start, i - start);
    if (token[0] == '#') break;
    if (out->count == kMaxLineTokens) {
      out->too_many = true;
      break;
    }
    if (token.size() > static_cast<size_t>(kMaxTokenChars)) {
      token = token.substr(0, kMaxTokenChars);
      out->token_cut = true;
    }
    out->token[out->count++] = token;
  }
}

uint16_t ParseHexOffset(std::string_view text) {
  bool negative = false;
  size_t i = SkipBlanksAndSign(text, &negative);
  if (i + 2 < text.size() && text[i] == '0' &&
      (text[i + 1] == 'x' || text[i + 1] == 'X') &&
      HexDigit(text[i + 2]) >= 0) {
    i += 2;
  }
  // Only the low 16 bits count, so the sum may wrap freely.
  uint32_t value = 0;
  for (; i < text.size() && HexDigit(text[i]) >= 0; ++i) {
    value = (value << 4) | static_cast<uint32_t>(HexDigit(text[i]));
    value &= 0xFFFFu;
  }
  if (negative) value = 0u - value;
  return static_cast<uint16_t>(value);
}

int32_t ParseDecimalInt(std::string_view text) {
  bool negative = false;
  size_t i = SkipBlanksAndSign(text, &negative);
  int64_t value = 0;
  constexpr int64_t kLimit = 2147483648LL;  // |INT32_MIN|
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > kLimit) value = kLimit;
  }
  if (negative) return static_cast<int32_t>(-value);
  return static_cast<int32_t>(value > kLimit - 1 ? kLimit - 1 : value);
}

UserTables ParseUserOffsetConfig(std::string_view text) {
  // Counting pass, with the same reader as the parse pass, so the two
  // passes always agree on what a line is.
  size_t counted[4] = {0, 0, 0, 0};
  {
    auto reader = std::make_unique<LogicalLineReader>(text);
    auto tokens = std::make_unique<LineTokens>();
    while (reader->Next()) {
      TokenizeLine(reader->line(), tokens.get());
      if (tokens->count == 0) continue;
      ++counted[static_cast<int>(KindOf(tokens->token[0]))];
    }
  }

  const size_t offset_room = counted[static_cast<int>(LineKind::kOffset)];
  const size_t dataref_room = counted[static_cast<int>(LineKind::kDataref)];
  const size_t command_room = counted[static_cast<int>(LineKind::kCommand)];
  UserTables tables;
  tables.offsets.reserve(offset_room);
  tables.datarefs.reserve(dataref_room);
  tables.commands.reserve(command_room);

  auto reader = std::make_unique<LogicalLineReader>(text);
  auto tokens = std::make_unique<LineTokens>();
  while (reader->Next()) {
    const int line = reader->line_number();
    LineTokens& t = *tokens;
    TokenizeLine(reader->line(), &t);
    if (t.count == 0) continue;
    LineKind kind = KindOf(t.token[0]);
    if (kind == LineKind::kNone) continue;
    if (reader->cut()) {
      StatusLine(
          "TARVOS->TARVOSOffsets.cfg line %d: line longer than %d "
          "characters, cut\n",
          line, kMaxLineChars);
    }
    if (t.too_many) {
      StatusLine(
          "TARVOS->TARVOSOffsets.cfg line %d: more than %d tokens, "
          "the rest ignored\n",
          line, kMaxLineTokens);
    }
    if (t.token_cut) {
      StatusLine(
          "TARVOS->TARVOSOffsets.cfg line %d: token longer than %d "
          "characters, cut\n",
          line, kMaxTokenChars);
    }
    if (t.count < MinTokens(kind)) {
      StatusLine(
          "TARVOS->TARVOSOffsets.cfg line %d: %s line needs at least "
          "%d fields, skipped\n",
          line, KindName(kind), MinTokens(kind));
      continue;
    }
    switch (kind) {
      case LineKind::kOffset: {
        if (tables.offsets.size() >= offset_room) break;
        UserOffsetEntry e;
        if (ParseOffsetLine(t, line, &e))
          tables.offsets.push_back(std::move(e));
        break;
      }
      case LineKind::kDataref: {
        if (tables.datarefs.size() >= dataref_room) break;
        UserDatarefEntry e;
        ParseDatarefLine(t, line, &e);
        tables.datarefs.push_back(std::move(e));
        break;
      }
      case LineKind::kCommand: {
        if (tables.commands.size() >= command_room) break;
        UserCommandEntry e;
        if (ParseCommandLine(t, line, &e)) {
          tables.commands.push_back(std::move(e));
        }
        break;
      }
      case LineKind::kNone:
        break;
    }
  }
  SortUserTables(&tables);
  ReportUnknownNames(tables);
  return tables;
}

}  // namespace tarvos
