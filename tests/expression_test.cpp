// The postfix evaluator: operators, error results, token classes and "$"
// reads through the stand-in host.
#include "userconfig/expression.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "simhost/host/host.h"
#include "tests/support/plugin_fixture.h"
#include "userconfig/config_loader.h"
#include "userconfig/config_parser.h"

namespace tarvos {
namespace {

double Eval(const std::vector<std::string_view>& texts, double input = 0) {
  TokenList list(texts);
  return EvaluateExpression(list.data(), 0, list.size(), input);
}

struct EvalCase {
  std::vector<std::string_view> tokens;
  double input;
  double expected;
};

// Worked examples and the operator table, with "@" = `input`.
const EvalCase kEvalCases[] = {
    {{"5", "3", "-"}, 0, 2},
    {{"8", "2", "/"}, 0, 4},
    {{"2", "10", "^"}, 0, 1024},
    {{"1", "2", "+"}, 0, 3},
    {{"3", "4", "*"}, 0, 12},
    {{"7", "2", "\\"}, 0, 3.5},
    {{"-1", "1", "\\"}, 0, 18446744073709551615.0},
    {{"7", "3", "%"}, 0, 1},
    {{"6", "3", "&"}, 0, 2},
    {{"6", "3", "|"}, 0, 7},
    {{"-1", "255", "&"}, 0, 255},
    {{"2.9", "3.9", "&"}, 0, 2},
    {{"1", "1", "=="}, 0, 1},
    {{"1", "2", "=="}, 0, 0},
    {{"1", "2", "!="}, 0, 1},
    {{"2", "1", ">"}, 0, 1},
    {{"1", "1", ">"}, 0, 0},
    {{"1", "1", ">="}, 0, 1},
    {{"1", "2", "<"}, 0, 1},
    {{"2", "2", "<="}, 0, 1},
    {{"1", "2", "3", "?"}, 0, 2},
    {{"0", "2", "3", "?"}, 0, 3},
    {{"-2.5", "abs"}, 0, 2.5},
    {{"2.5", "round"}, 0, 3},
    {{"-2.5", "round"}, 0, -3},
    {{"2.4", "round"}, 0, 2},
    {{"3e9", "round"}, 0, -2147483648.0},
    {{"PI", "2", "*"}, 0, 6.283185307179586},
    {{"@", "360", "*", "65536", "/"}, 16384, 90},
    {{"@"}, 250, 250},
    {{"-5"}, 0, -5},
    {{"$"}, 0, 0},
    {{"hello"}, 0, 0},
    {{"pi"}, 0, 0},  // operator words are case-sensitive
    {{"2", "Round"}, 0, 88},
    {{"12abc"}, 0, 12},
    {{"1.5e3x"}, 0, 1500},
    {{".5"}, 0, 0.5},
    {{"+3"}, 0, 3},
    {{"0x10"}, 0, 0},
    {{"inf"}, 0, 0},
    {{"1e999"}, 0, std::numeric_limits<double>::infinity()},
    {{"1e-999"}, 0, 0},
    // Errors: operand shortage, leftovers, empty, zero divisor of "%".
    {{"1", "+"}, 0, 222},
    {{"?"}, 0, 222},
    {{"abs"}, 0, 222},
    {{"1", "2"}, 0, 88},
    {{}, 0, 88},
    {{">x", "1"}, 0, 88},
    {{"7", "0", "%"}, 0, 222},
    {{"7", "0.5", "%"}, 0, 222},
    // Write targets end the read expression; ">" and ">=" are operators.
    {{"1", ">x", "2"}, 0, 1},
    {{"1", ">=x", "2"}, 0, 1},
};

TEST(EvaluateExpressionTest, WorkedExamplesAndOperators) {
  for (const EvalCase& c : kEvalCases) {
    std::string label;
    for (std::string_view t : c.tokens) label += std::string(t) + " ";
    EXPECT_EQ(Eval(c.tokens, c.input), c.expected) << label;
  }
}

// Comparisons with a NaN operand give 0, except "!=" which gives 1; "?"
// takes a NaN condition as true.
TEST(EvaluateExpressionTest, NotANumberOperands) {
  const std::string_view nan_ops[] = {"0", "0", "/"};  // 0/0
  auto with_nan = [&](std::vector<std::string_view> rest) {
    std::vector<std::string_view> t(std::begin(nan_ops), std::end(nan_ops));
    t.insert(t.end(), rest.begin(), rest.end());
    return Eval(t);
  };
  EXPECT_EQ(with_nan({"1", "=="}), 0);
  EXPECT_EQ(with_nan({"1", "!="}), 1);
  EXPECT_EQ(with_nan({"1", ">"}), 0);
  EXPECT_EQ(with_nan({"1", "<="}), 0);
  EXPECT_EQ(with_nan({"5", "6", "?"}), 5);
  EXPECT_EQ(with_nan({"round"}), -2147483648.0);
  EXPECT_TRUE(std::isinf(Eval({"1", "0", "/"})));
  EXPECT_TRUE(std::isinf(Eval({"1", "0", "\\"})));
  // Bit operators on values no 64-bit integer holds do not fault.
  EXPECT_EQ(Eval({"1e30", "1", "&"}), 0);
  EXPECT_EQ(with_nan({"1", "%"}), 0);  // NaN becomes 2^63
}

TEST(EvaluateExpressionTest, StackHoldsAtMost256Values) {
  std::vector<std::string_view> pushes(256, "1");
  for (int i = 0; i < 255; ++i) pushes.push_back("+");
  EXPECT_EQ(Eval(pushes), 256);
  std::vector<std::string_view> too_many(257, "1");
  EXPECT_EQ(Eval(too_many), 99);
}

// Each write expression runs from just after its target to the next one.
TEST(EvaluateExpressionTest, WriteExpressionsSplitAtTargets) {
  TokenList list({"5", ">a", "@", "2", "*", ">b", ">c", "@"});
  EXPECT_EQ(EvaluateExpression(list.data(), 0, list.size(), 7), 5);
  EXPECT_EQ(EvaluateExpression(list.data(), 2, list.size(), 7), 14);
  EXPECT_EQ(EvaluateExpression(list.data(), 6, list.size(), 7), 88);
  EXPECT_EQ(EvaluateExpression(list.data(), 7, list.size(), 7), 7);
  EXPECT_EQ(EvaluateExpression(list.data(), list.size(), list.size(), 7), 88);
}

// "$" tokens read user datarefs of every type through the host.
class DatarefExpressionTest : public testing::PluginFixture {
 protected:
  void SetUp() override {
    PluginFixture::SetUp();
    simhost::Host& h = host();
    h.DefineFloat("test/heading", 90.0f);
    h.DefineInt("test/int", -7);
    h.DefineDouble("test/double", 1.25);
    h.DefineFloatArray("test/floats", {0.5f, 1.5f, 2.5f});
    h.DefineIntArray("test/ints", {10, 20, 30});
    h.DefineBytes("test/bytes", std::string("\x01\xFE\x7F", 3));
    UserTables t = ParseUserOffsetConfig(
        "Dataref hdg test/heading float\n"
        "Dataref i test/int int\n"
        "Dataref d test/double double\n"
        "Dataref fa test/floats[2] floatarray\n"
        "Dataref ia test/ints[1] intarray\n"
        "Dataref b1 test/bytes[1] data\n"
        "Dataref b2 test/bytes[2] data\n"
        "Dataref odd test/heading string\n"
        "Dataref gone test/nowhere float\n"
        "Dataref neg test/floats[-1] floatarray\n");
    ResolveUserReferences(&t);
    InstallUserTables(std::move(t));
  }
  void TearDown() override {
    ReleaseUserOffsetConfig();
    PluginFixture::TearDown();
  }
};

TEST_F(DatarefExpressionTest, ReadsEachDatarefType) {
  const struct {
    std::vector<std::string_view> tokens;
    double expected;
  } cases[] = {
      {{"$hdg"}, 90},
      {{"$hdg", "65536", "*", "360", "/"}, 16384},
      {{"$i"}, -7},
      {{"$d"}, 1.25},
      {{"$fa"}, 2.5},
      {{"$ia"}, 20},
      {{"$b1"}, -2},  // bytes read as signed
      {{"$b2"}, 127},
      {{"$odd"}, 0},    // unknown type reads 0
      {{"$gone"}, 0},   // null handle reads 0
      {{"$neg"}, 0},    // negative index reads 0 without asking the host
      {{"$HDG"}, 111},  // names are case-sensitive
      {{"1", "$nope", "+"}, 111},
      {{"$hdg", "0.5", ">", "16383", "0", "?"}, 16383},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Eval(c.tokens), c.expected) << c.tokens[0];
  }
}

}  // namespace
}  // namespace tarvos
