#include "userconfig/expression_tokens.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace tarvos {
namespace {

// Operator words in matching order. Each row stands for one operator.
struct OpWord {
  std::string_view word;
  ExprOp op;
};
constexpr OpWord kOpWords[] = {
    {"+", ExprOp::kAdd},   {"-", ExprOp::kSub},   {"*", ExprOp::kMul},
    {"/", ExprOp::kDiv},   {"\\", ExprOp::kUDiv}, {"^", ExprOp::kPow},
    {"&", ExprOp::kAnd},   {"|", ExprOp::kOr},    {"%", ExprOp::kMod},
    {"==", ExprOp::kEq},   {"!=", ExprOp::kNe},   {">", ExprOp::kGt},
    {">=", ExprOp::kGe},   {"<", ExprOp::kLt},    {"<=", ExprOp::kLe},
    {"?", ExprOp::kCond},  {"abs", ExprOp::kAbs}, {"round", ExprOp::kRound},
    {"@", ExprOp::kInput}, {"PI", ExprOp::kPi},
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The white space a C number reader skips before the number.
bool IsLeadingSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

}  // namespace

double ParseDecimalPrefix(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsLeadingSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  // Only a digit, or a point followed by a digit, starts a number; this also
  // keeps from_chars from reading "inf", "nan" or a second sign.
  const char* first = text.data() + i;
  const char* last = text.data() + text.size();
  bool starts_number =
      i < text.size() &&
      (IsDigit(text[i]) ||
       (text[i] == '.' && i + 1 < text.size() && IsDigit(text[i + 1])));
  if (!starts_number) return 0.0;
  double value = 0.0;
  std::from_chars_result r =
      std::from_chars(first, last, value, std::chars_format::general);
  if (r.ec == std::errc::result_out_of_range) {
    // Too large gives an infinity, too small a zero, as a C reader does.
    const char* p = first;
    while (p < r.ptr && *p != 'e' && *p != 'E') ++p;
    bool tiny = p + 1 < r.ptr && p[1] == '-';
    value = tiny ? 0.0 : std::numeric_limits<double>::infinity();
  } else if (r.ec != std::errc()) {
    value = 0.0;
  }
  return negative ? -value : value;
}

ExprToken ClassifyToken(std::string_view text) {
  ExprToken token;
  token.text = text;
  if (text.size() >= 2 && text[0] == '>' && text != ">=") {
    token.op = ExprOp::kWriteTarget;
    token.name = text.substr(1);
    return token;
  }
  if (text.size() >= 2 && text[0] == '$') {
    token.op = ExprOp::kDataref;
    token.name = text.substr(1);
    return token;
  }
  for (const OpWord& w : kOpWords) {
    if (text == w.word) {
      token.op = w.op;
      return token;
    }
  }
  token.op = ExprOp::kNumber;
  token.number = ParseDecimalPrefix(text);
  return token;
}

void TokenList::Assign(const std::vector<std::string_view>& texts) {
  size_t total = 0;
  for (std::string_view t : texts) total += t.size();
  text_ = std::make_unique<char[]>(total == 0 ? 1 : total);
  tokens_ = std::make_unique<ExprToken[]>(texts.empty() ? 1 : texts.size());
  count_ = static_cast<int>(texts.size());
  size_t pos = 0;
  for (size_t i = 0; i < texts.size(); ++i) {
    if (!texts[i].empty()) {
      std::memcpy(text_.get() + pos, texts[i].data(), texts[i].size());
    }
    tokens_[i] =
        ClassifyToken(std::string_view(text_.get() + pos, texts[i].size()));
    pos += texts[i].size();
  }
}

}  // namespace tarvos
