// Tests for typed comparison: literal classification and how event values
// of each type compare with each kind of literal.
#include "formats/xpath/typed_value.h"

#include <gtest/gtest.h>

#include "event_builder.h"

namespace xpath {
namespace {

using evtx::ValueType;
using xpath_test::FileTime;
using xpath_test::Hex64;
using xpath_test::Str;
using xpath_test::Ticks;
using xpath_test::Typed;
using xpath_test::UInt;

TEST(LiteralTest, ClassifiesStringsByWhatTheyRead) {
  using K = Literal::Kind;
  EXPECT_EQ(ClassifyString("2024-01-01T00:00:00.000Z", CompareOp::kGe).kind, K::kTime);
  EXPECT_EQ(ClassifyString("{54849625-5478-4994-A5BA-3E3B0328C30D}", CompareOp::kEq).kind,
            K::kGuid);
  EXPECT_EQ(ClassifyString("54849625-5478-4994-a5ba-3e3b0328c30d", CompareOp::kEq).kind,
            K::kGuid);
  EXPECT_EQ(ClassifyString("S-1-5-18", CompareOp::kEq).kind, K::kSid);
  EXPECT_EQ(ClassifyString("S-1", CompareOp::kEq).kind, K::kString);
  const Literal hex = ClassifyString("0x8020000000000000", CompareOp::kEq);
  EXPECT_EQ(hex.kind, K::kUnsigned);
  EXPECT_EQ(hex.u, 0x8020000000000000u);
  // Decimal text stays text for =/!=, becomes a number for <, <=, >, >=.
  EXPECT_EQ(ClassifyString("4624", CompareOp::kEq).kind, K::kString);
  EXPECT_EQ(ClassifyString("4624", CompareOp::kGt).kind, K::kUnsigned);
  EXPECT_EQ(ClassifyString("2.5", CompareOp::kLt).kind, K::kDouble);
  EXPECT_EQ(ClassifyString("abc", CompareOp::kLt).kind, K::kNever);
  EXPECT_EQ(ClassifyString("abc", CompareOp::kNe).kind, K::kString);
}

TEST(LiteralTest, NumberTokens) {
  EXPECT_EQ(NumberLiteral("4624")->u, 4624u);
  EXPECT_EQ(NumberLiteral("18446744073709551615")->u, UINT64_MAX);
  EXPECT_EQ(NumberLiteral("18446744073709551616")->kind, Literal::Kind::kDouble);
  EXPECT_EQ(NumberLiteral("0x10")->u, 16u);
  EXPECT_DOUBLE_EQ(NumberLiteral("1.5")->d, 1.5);
  EXPECT_DOUBLE_EQ(NumberLiteral(".5")->d, 0.5);
  EXPECT_DOUBLE_EQ(NumberLiteral("5.")->d, 5.0);
  EXPECT_FALSE(NumberLiteral("0x"));
  EXPECT_FALSE(NumberLiteral("0x10000000000000000"));
}

bool Cmp(const evtx::Value& v, CompareOp op, Literal lit) {
  return CompareValue(v, op, lit);
}

TEST(CompareValueTest, NumbersCompareByValueWhateverTheirForm) {
  const Literal n4624 = *NumberLiteral("4624");
  EXPECT_TRUE(Cmp(UInt(ValueType::kUInt16, 4624), CompareOp::kEq, n4624));
  EXPECT_FALSE(Cmp(UInt(ValueType::kUInt16, 4625), CompareOp::kEq, n4624));
  EXPECT_TRUE(Cmp(UInt(ValueType::kUInt16, 4625), CompareOp::kGt, n4624));
  EXPECT_TRUE(Cmp(Str(" 4624 "), CompareOp::kEq, n4624));
  EXPECT_TRUE(Cmp(Str("0x1210"), CompareOp::kEq, n4624));
  EXPECT_TRUE(Cmp(Str("4624.0"), CompareOp::kEq, n4624));
  // Text that is no number never compares true, not even with !=.
  EXPECT_FALSE(Cmp(Str("abc"), CompareOp::kNe, n4624));
  EXPECT_FALSE(Cmp(evtx::Value{}, CompareOp::kNe, n4624));
  EXPECT_FALSE(Cmp(Typed(ValueType::kGuid, "{00000000-0000-0000-0000-000000000000}"),
                   CompareOp::kNe, n4624));
  // Signed values are compared as signed.
  evtx::Value minus_one = UInt(ValueType::kInt32, static_cast<uint64_t>(-1));
  minus_one.text = "-1";
  EXPECT_TRUE(Cmp(minus_one, CompareOp::kLt, *NumberLiteral("0")));
  EXPECT_FALSE(Cmp(minus_one, CompareOp::kGt, *NumberLiteral("0")));
  EXPECT_TRUE(Cmp(minus_one, CompareOp::kLt, *NumberLiteral("0.5")));
  evtx::Value real;
  real.type = ValueType::kReal64;
  real.d = 2.5;
  real.text = "2.5";
  EXPECT_TRUE(Cmp(real, CompareOp::kGt, *NumberLiteral("2")));
  EXPECT_TRUE(Cmp(real, CompareOp::kEq, *NumberLiteral("2.5")));
  // 64-bit values keep full precision against an unsigned literal.
  EXPECT_FALSE(Cmp(Hex64(0x8020000000000001), CompareOp::kEq,
                   ClassifyString("0x8020000000000000", CompareOp::kEq)));
  EXPECT_TRUE(Cmp(Hex64(0x8020000000000000), CompareOp::kEq,
                  *NumberLiteral("9232379236109516800")));
}

TEST(CompareValueTest, StringsCompareCaseInsensitively) {
  const Literal lit = ClassifyString("Microsoft-Windows-Security-Auditing", CompareOp::kEq);
  EXPECT_TRUE(Cmp(Str("microsoft-windows-security-auditing"), CompareOp::kEq, lit));
  EXPECT_FALSE(Cmp(Str("Microsoft-Windows-Security"), CompareOp::kEq, lit));
  EXPECT_TRUE(Cmp(Str("Other"), CompareOp::kNe, lit));
  // A typed value compares by its rendered text against a string literal.
  EXPECT_TRUE(Cmp(UInt(ValueType::kUInt16, 4624), CompareOp::kEq,
                  ClassifyString("4624", CompareOp::kEq)));
  EXPECT_FALSE(Cmp(UInt(ValueType::kUInt16, 4624), CompareOp::kEq,
                   ClassifyString("04624", CompareOp::kEq)));
  EXPECT_TRUE(Cmp(Str(""), CompareOp::kEq, ClassifyString("", CompareOp::kEq)));
  // Relational operators read both sides as numbers.
  EXPECT_TRUE(Cmp(Str("10"), CompareOp::kGt, ClassifyString("9", CompareOp::kGt)));
  EXPECT_FALSE(Cmp(Str("b"), CompareOp::kGt, ClassifyString("a", CompareOp::kGt)));
}

TEST(CompareValueTest, TimesCompareChronologically) {
  const uint64_t t = Ticks(2022, 8, 9, 17, 28, 57) + 1;  // 100 ns past
  const Literal lit = ClassifyString("2022-08-09T17:28:57.000000000Z", CompareOp::kGe);
  EXPECT_TRUE(Cmp(FileTime(t), CompareOp::kGe, lit));
  EXPECT_TRUE(Cmp(FileTime(t), CompareOp::kGt, lit));
  EXPECT_FALSE(Cmp(FileTime(t - 1), CompareOp::kGt, lit));
  EXPECT_TRUE(Cmp(FileTime(t - 1), CompareOp::kEq, lit));
  EXPECT_FALSE(Cmp(FileTime(t - 2), CompareOp::kGe, lit));
  // Event text in the 7-digit form Windows renders converts too.
  EXPECT_TRUE(Cmp(Str("2022-08-09T17:28:57.0000001Z"), CompareOp::kGt, lit));
  EXPECT_FALSE(Cmp(Str("yesterday"), CompareOp::kNe, lit));
  EXPECT_FALSE(Cmp(UInt(ValueType::kUInt64, t), CompareOp::kGe, lit));
}

TEST(CompareValueTest, GuidsAndSids) {
  const Literal guid = ClassifyString("{54849625-5478-4994-A5BA-3E3B0328C30D}", CompareOp::kEq);
  EXPECT_TRUE(Cmp(Typed(ValueType::kGuid, "{54849625-5478-4994-a5ba-3e3b0328c30d}"),
                  CompareOp::kEq, guid));
  EXPECT_TRUE(Cmp(Str("54849625-5478-4994-a5ba-3e3b0328c30d"), CompareOp::kEq, guid));
  EXPECT_FALSE(Cmp(Typed(ValueType::kGuid, "{54849625-5478-4994-a5ba-3e3b0328c30e}"),
                   CompareOp::kEq, guid));
  EXPECT_TRUE(Cmp(Typed(ValueType::kGuid, "{54849625-5478-4994-a5ba-3e3b0328c30e}"),
                  CompareOp::kNe, guid));
  EXPECT_FALSE(Cmp(Str("not a guid"), CompareOp::kNe, guid));
  const Literal sid = ClassifyString("s-1-5-18", CompareOp::kEq);
  EXPECT_TRUE(Cmp(Typed(ValueType::kSid, "S-1-5-18"), CompareOp::kEq, sid));
  EXPECT_FALSE(Cmp(Typed(ValueType::kSid, "S-1-5-19"), CompareOp::kEq, sid));
  EXPECT_FALSE(Cmp(Str("nobody"), CompareOp::kNe, sid));
}

TEST(CompareValueTest, ComputedNumbers) {
  EXPECT_TRUE(CompareSigned(-5, CompareOp::kLe, *NumberLiteral("86400000")));
  EXPECT_FALSE(CompareSigned(-5, CompareOp::kGe, *NumberLiteral("0")));
  EXPECT_TRUE(CompareSigned(86400000, CompareOp::kLe, *NumberLiteral("86400000")));
  EXPECT_FALSE(CompareSigned(86400001, CompareOp::kLe, *NumberLiteral("86400000")));
  EXPECT_TRUE(CompareUnsigned(UINT64_MAX, CompareOp::kEq, *NumberLiteral("0xffffffffffffffff")));
  EXPECT_FALSE(CompareUnsigned(1, CompareOp::kEq, ClassifyString("1", CompareOp::kEq)));
}

TEST(ValueConversionTest, UnsignedAndTimeViews) {
  EXPECT_EQ(ValueAsUnsigned(Hex64(0x20000000000000)), 0x20000000000000u);
  EXPECT_EQ(ValueAsUnsigned(Str("0x10")), 16u);
  EXPECT_EQ(ValueAsUnsigned(Str("12")), 12u);
  EXPECT_FALSE(ValueAsUnsigned(Str("1.5")));
  EXPECT_FALSE(ValueAsUnsigned(Typed(ValueType::kSid, "S-1-5-18")));
  EXPECT_EQ(ValueAsTime(FileTime(42)), 42u);
  EXPECT_EQ(ValueAsTime(Str("1601-01-01T00:00:01Z")), 10'000'000u);
  EXPECT_FALSE(ValueAsTime(UInt(ValueType::kUInt64, 42)));
}

}  // namespace
}  // namespace xpath
