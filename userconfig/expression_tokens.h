// Expression tokens of a user offset, classified once when the file is read
// so that the per-frame evaluation compares no text and parses no numbers.
//
// A token's class depends on its text alone, so classifying early gives the
// same results as looking at the text on every evaluation.
#ifndef TARVOS_USERCONFIG_EXPRESSION_TOKENS_H_
#define TARVOS_USERCONFIG_EXPRESSION_TOKENS_H_

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace tarvos {

enum class ExprOp : uint8_t {
  kNumber,       // pushes `number`
  kDataref,      // "$name": pushes the value of the user dataref `name`
  kWriteTarget,  // ">name": ends the expression before it
  kAdd,          // "+"  a + b
  kSub,          // "-"  a - b
  kMul,          // "*"  a * b
  kDiv,          // "/"  a / b
  kUDiv,         // "\"  unsigned 64-bit a / b, quotient not truncated
  kPow,          // "^"  a to the power b
  kAnd,          // "&"  64-bit a AND b
  kOr,           // "|"  64-bit a OR b
  kMod,          // "%"  unsigned 64-bit a mod b
  kEq,           // "=="
  kNe,           // "!="
  kGt,           // ">"
  kGe,           // ">="
  kLt,           // "<"
  kLe,           // "<="
  kCond,         // "?"  k ? a : b
  kAbs,          // "abs"
  kRound,        // "round"
  kInput,        // "@"  the input value
  kPi,           // "PI"
};

struct ExprToken {
  ExprOp op = ExprOp::kNumber;
  double number = 0;      // kNumber only
  std::string_view name;  // kDataref and kWriteTarget: the name after $ or >
  std::string_view text;  // the whole token
};

// Classifies one token. Write targets are tokens of two or more characters
// beginning with ">" other than ">="; "$" tokens need two or more characters;
// operator words match exactly; anything else is read as a number.
ExprToken ClassifyToken(std::string_view text);

// Reads the decimal number that the leading characters of `text` spell
// (optional white space, sign, digits, fraction, exponent); 0 when they spell
// none. Independent of the process locale. Hexadecimal and words such as
// "inf" are not numbers.
double ParseDecimalPrefix(std::string_view text);

// An owned, classified list of tokens. The token texts live in one heap
// block, so moving the list keeps every view valid.
class TokenList {
 public:
  TokenList() = default;
  explicit TokenList(const std::vector<std::string_view>& texts) {
    Assign(texts);
  }
  TokenList(TokenList&&) = default;
  TokenList& operator=(TokenList&&) = default;

  void Assign(const std::vector<std::string_view>& texts);

  const ExprToken* data() const { return tokens_.get(); }
  int size() const { return count_; }
  const ExprToken& operator[](int i) const { return tokens_[i]; }

 private:
  std::unique_ptr<char[]> text_;
  std::unique_ptr<ExprToken[]> tokens_;
  int count_ = 0;
};

}  // namespace tarvos

#endif  // TARVOS_USERCONFIG_EXPRESSION_TOKENS_H_
