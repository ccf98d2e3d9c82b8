#include "userconfig/expression.h"

#include <cmath>
#include <cstdint>

#include "userconfig/value_conversion.h"

namespace tarvos {
namespace {

constexpr double kPi = 3.141592653589793;

// Operands of the bit operators: truncated to 64 bits, bits read unsigned.
uint64_t ToBits(double v) { return static_cast<uint64_t>(TruncToS64(v)); }

// Operand count of each operator (0 for the tokens that push a value).
int Arity(ExprOp op) {
  switch (op) {
    case ExprOp::kCond:
      return 3;
    case ExprOp::kAbs:
    case ExprOp::kRound:
      return 1;
    case ExprOp::kNumber:
    case ExprOp::kDataref:
    case ExprOp::kWriteTarget:
    case ExprOp::kInput:
    case ExprOp::kPi:
      return 0;
    default:
      return 2;
  }
}

}  // namespace

double GetUserDatarefValue(const UserDatarefEntry& entry) {
  if (entry.handle == nullptr) return 0.0;
  switch (entry.type) {
    case kDatarefInt:
      return XPLMGetDatai(entry.handle);
    case kDatarefFloat:
      return XPLMGetDataf(entry.handle);
    case kDatarefDouble:
      return XPLMGetDatad(entry.handle);
    case kDatarefFloatArray: {
      if (entry.index < 0) return 0.0;
      float v = 0.0f;
      XPLMGetDatavf(entry.handle, &v, entry.index, 1);
      return v;
    }
    case kDatarefIntArray: {
      if (entry.index < 0) return 0.0;
      int v = 0;
      XPLMGetDatavi(entry.handle, &v, entry.index, 1);
      return v;
    }
    case kDatarefData: {
      if (entry.index < 0) return 0.0;
      int8_t v = 0;
      XPLMGetDatab(entry.handle, &v, entry.index, 1);
      return v;
    }
    default:
      return 0.0;
  }
}

double EvaluateExpression(const ExprToken* tokens, int start, int end,
                          double input) {
  if (start < 0 || start >= end) return kExprErrorStackCount;
  double stack[kExprStackDepth];
  int n = 0;  // values on the stack; stack[n - 1] is the top (b)
  for (int i = start; i < end; ++i) {
    const ExprToken& t = tokens[i];
    if (t.op == ExprOp::kWriteTarget) break;
    int arity = Arity(t.op);
    if (n < arity) return kExprErrorUnderflow;
    if (arity == 0) {
      if (n == kExprStackDepth) return kExprErrorOverflow;
      double v = 0.0;
      switch (t.op) {
        case ExprOp::kNumber:
          v = t.number;
          break;
        case ExprOp::kDataref: {
          const UserDatarefEntry* entry = FindUserDataref(t.name);
          if (entry == nullptr) return kExprErrorUnknownName;
          v = GetUserDatarefValue(*entry);
          break;
        }
        case ExprOp::kInput:
          v = input;
          break;
        case ExprOp::kPi:
          v = kPi;
          break;
        default:
          break;
      }
      stack[n++] = v;
      continue;
    }
    if (arity == 1) {
      double& b = stack[n - 1];
      if (t.op == ExprOp::kAbs) {
        b = std::fabs(b);
      } else {
        // Halves away from zero, through a signed 32-bit integer.
        b = TruncToS32(b >= 0.0 ? b + 0.5 : b - 0.5);
      }
      continue;
    }
    if (arity == 3) {
      double k = stack[n - 3], a = stack[n - 2], b = stack[n - 1];
      n -= 2;
      stack[n - 1] = (k != 0.0) ? a : b;
      continue;
    }
    double a = stack[n - 2], b = stack[n - 1];
    double r = 0.0;
    switch (t.op) {
      case ExprOp::kAdd:
        r = a + b;
        break;
      case ExprOp::kSub:
        r = a - b;
        break;
      case ExprOp::kMul:
        r = a * b;
        break;
      case ExprOp::kDiv:
        r = a / b;
        break;
      case ExprOp::kUDiv:
        r = static_cast<double>(ToBits(a)) / static_cast<double>(ToBits(b));
        break;
      case ExprOp::kPow:
        r = std::pow(a, b);
        break;
      case ExprOp::kAnd:
        r = static_cast<double>(ToBits(a) & ToBits(b));
        break;
      case ExprOp::kOr:
        r = static_cast<double>(ToBits(a) | ToBits(b));
        break;
      case ExprOp::kMod: {
        uint64_t divisor = ToBits(b);
        // A zero divisor has no remainder; report it as a failed operation
        // instead of faulting.
        if (divisor == 0) return kExprErrorUnderflow;
        r = static_cast<double>(ToBits(a) % divisor);
        break;
      }
      case ExprOp::kEq:
        r = (a == b) ? 1.0 : 0.0;
        break;
      case ExprOp::kNe:
        r = (a != b) ? 1.0 : 0.0;
        break;
      case ExprOp::kGt:
        r = (a > b) ? 1.0 : 0.0;
        break;
      case ExprOp::kGe:
        r = (a >= b) ? 1.0 : 0.0;
        break;
      case ExprOp::kLt:
        r = (a < b) ? 1.0 : 0.0;
        break;
      case ExprOp::kLe:
        r = (a <= b) ? 1.0 : 0.0;
        break;
      default:
        break;
    }
    --n;
    stack[n - 1] = r;
  }
  return n == 1 ? stack[0] : kExprErrorStackCount;
}

}  // namespace tarvos
