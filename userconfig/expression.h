// The postfix expression evaluator of user offsets.
//
// Threads: keeps no state between calls (the value stack lives in the call)
// and allocates nothing. Reads the live user tables, which do not change
// while the plugin is enabled, and calls the host's dataref getters from the
// calling thread.
#ifndef TARVOS_USERCONFIG_EXPRESSION_H_
#define TARVOS_USERCONFIG_EXPRESSION_H_

#include "userconfig/expression_tokens.h"
#include "userconfig/user_tables.h"

namespace tarvos {

// Fixed error results. They reach callers as ordinary numbers and are stored
// or written like any value; clients depend on them, so they never change.
inline constexpr double kExprErrorStackCount =
    88;                                           // empty, or not 1 value left
inline constexpr double kExprErrorOverflow = 99;  // more than 256 values
inline constexpr double kExprErrorUnknownName = 111;  // "$" names no entry
inline constexpr double kExprErrorUnderflow = 222;    // too few operands, x % 0
// What a write-only user offset reads as.
inline constexpr double kWriteOnlyValue = 77;

// Depth of the value stack.
inline constexpr int kExprStackDepth = 256;

// Evaluates tokens[start] up to, not including, tokens[end], stopping early
// at the first write target. `input` is what "@" pushes. Returns the single
// value left on the stack or one of the error results.
double EvaluateExpression(const ExprToken* tokens, int start, int end,
                          double input);

// The current value of a user dataref as a double: 0 for an unknown type, a
// null handle or a negative array index, without calling the host.
double GetUserDatarefValue(const UserDatarefEntry& entry);

}  // namespace tarvos

#endif  // TARVOS_USERCONFIG_EXPRESSION_H_
