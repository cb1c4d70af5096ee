// Value types and the typed views over their data.
#include "formats/regf/value.h"

#include <gtest/gtest.h>

#include "formats/regf/hive.h"
#include "regf_test_util.h"

namespace regf {
namespace {

using testing::Utf16Le;

class ValueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto tree = testing::SampleTree();
    WriterKey& odd = tree->AddKey("Odd");
    odd.SetValue("NoNul", kRegSz, Utf16Le(u"abc"));
    odd.SetValue("EmbeddedNul", kRegSz, Utf16Le(std::u16string(u"ab\0cd\0", 6)));
    odd.SetValue("OddLength", kRegSz, {'h', 0, 'i', 0, 'x'});
    odd.SetValue("MultiNoEnd", kRegMultiSz, Utf16Le(std::u16string(u"a\0b", 3)));
    odd.SetValue("MultiEmpty", kRegMultiSz, Utf16Le(std::u16string(u"\0", 1)));
    odd.SetValue("ShortDword", kRegDword, {1, 2});
    odd.SetValue("LongQword", kRegQword, std::vector<uint8_t>(9, 1));
    odd.SetValue("NonLatin", kRegSz, Utf16Le(std::u16string(u"\u4e2d\U0001F600\0", 4)));
    bytes_ = WriteHive(*tree);
    hive_ = std::make_unique<Hive>(bytes_.data(), bytes_.size());
    types_ = *hive_->OpenKey("Types");
    odd_ = *hive_->OpenKey("Odd");
  }
  Value Get(const Key& key, const char* name) { return *key.FindValue(name); }

  std::vector<uint8_t> bytes_;
  std::unique_ptr<Hive> hive_;
  std::optional<Key> types_;
  std::optional<Key> odd_;
};

TEST_F(ValueTest, TypesAreReported) {
  EXPECT_EQ(Get(*types_, "Sz").Type(), kRegSz);
  EXPECT_EQ(Get(*types_, "Expand").Type(), kRegExpandSz);
  EXPECT_EQ(Get(*types_, "Multi").Type(), kRegMultiSz);
  EXPECT_EQ(Get(*types_, "Dword").Type(), kRegDword);
  EXPECT_EQ(Get(*types_, "DwordBE").Type(), kRegDwordBigEndian);
  EXPECT_EQ(Get(*types_, "Qword").Type(), kRegQword);
  EXPECT_EQ(Get(*types_, "Binary").Type(), kRegBinary);
  EXPECT_EQ(Get(*types_, "None").Type(), kRegNone);
  EXPECT_EQ(Get(*types_, "Link").Type(), kRegLink);
  EXPECT_EQ(Get(*types_, "Rid").Type(), 0x3E9u);  // unknown numbers pass through
}

TEST_F(ValueTest, RawBytesAreExact) {
  EXPECT_EQ(Get(*types_, "Sz").Data(), Utf16Le(std::u16string(u"text\0", 5)));
  EXPECT_EQ(Get(*types_, "Binary").Data(), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(Get(*types_, "Dword").Data(), (std::vector<uint8_t>{0xEF, 0xBE, 0xAD, 0xDE}));
  EXPECT_EQ(Get(*types_, "None").Data(), std::vector<uint8_t>());
  EXPECT_EQ(Get(*types_, "None").DeclaredSize(), 0u);
  EXPECT_EQ(Get(*types_, "Rid").Data(), std::vector<uint8_t>{0xAA});
}

TEST_F(ValueTest, StringsStopAtFirstNul) {
  EXPECT_EQ(Get(*types_, "Sz").AsString(), "text");
  EXPECT_EQ(Get(*types_, "Expand").AsString(), "%windir%");  // never expanded
  EXPECT_EQ(Get(*types_, "Link").AsString(), "\\Registry\\Machine\\X");
  EXPECT_EQ(Get(*odd_, "NoNul").AsString(), "abc");
  EXPECT_EQ(Get(*odd_, "EmbeddedNul").AsString(), "ab");
  EXPECT_EQ(Get(*odd_, "OddLength").AsString(), "hi");
  EXPECT_EQ(Get(*odd_, "NonLatin").AsString(), "\xe4\xb8\xad\xf0\x9f\x98\x80");
  EXPECT_FALSE(Get(*types_, "Dword").AsString());
  EXPECT_FALSE(Get(*types_, "Binary").AsString());
}

TEST_F(ValueTest, Utf16UnitsKeepEveryNul) {
  // What RegQueryValueExA converts: all stored units, so the ANSI size counts
  // the NULs that were stored and no others.
  EXPECT_EQ(Get(*types_, "Sz").DataUtf16(), std::u16string(u"text\0", 5));
  EXPECT_EQ(Get(*odd_, "NoNul").DataUtf16(), u"abc");
  EXPECT_EQ(Get(*odd_, "EmbeddedNul").DataUtf16(), std::u16string(u"ab\0cd\0", 6));
  EXPECT_EQ(Get(*odd_, "OddLength").DataUtf16(), u"hi");
}

TEST_F(ValueTest, MultiStrings) {
  EXPECT_EQ(Get(*types_, "Multi").AsMultiString(), (std::vector<std::string>{"one", "two", "three"}));
  EXPECT_EQ(Get(*odd_, "MultiNoEnd").AsMultiString(), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(Get(*odd_, "MultiEmpty").AsMultiString(), std::vector<std::string>());
  EXPECT_FALSE(Get(*types_, "Sz").AsMultiString());
}

TEST_F(ValueTest, Integers) {
  EXPECT_EQ(Get(*types_, "Dword").AsDword(), 0xDEADBEEFu);
  EXPECT_EQ(Get(*types_, "DwordBE").AsDword(), 0x12345678u);
  EXPECT_EQ(Get(*types_, "Qword").AsQword(), 0x0102030405060708u);
  EXPECT_FALSE(Get(*odd_, "ShortDword").AsDword());
  EXPECT_FALSE(Get(*odd_, "LongQword").AsQword());
  EXPECT_FALSE(Get(*types_, "Qword").AsDword());
  EXPECT_FALSE(Get(*types_, "Dword").AsQword());
}

}  // namespace
}  // namespace regf
