#include "platform/wince/argument_words.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr char16_t kPath[] = u"\\Windows\\Kestrum.exe";

// Pointer-aligned storage of exactly the bytes asked for.
std::vector<uint64_t> BlockOf(uint32_t bytes) {
  return std::vector<uint64_t>((bytes + sizeof(uint64_t) - 1) / sizeof(uint64_t));
}

TEST(ArgumentWords, PathFirstThenWordsThenNull) {
  const char16_t* line = u"  \"\\My Documents\\leave.wav\"  extra ";
  const uint32_t bytes = ArgumentBlockBytes(line);
  auto block = BlockOf(bytes);
  const ArgumentWords args = LayOutArgumentWords(block.data(), bytes, kPath, line);
  ASSERT_EQ(args.count, 3);
  EXPECT_EQ(args.words[0], kPath);
  EXPECT_EQ(std::u16string(args.words[1]), u"\\My Documents\\leave.wav");
  EXPECT_EQ(std::u16string(args.words[2]), u"extra");
  EXPECT_EQ(args.words[3], nullptr);
}

TEST(ArgumentWords, EmptyOrNullLineGivesOnlyThePath) {
  for (const char16_t* line : {static_cast<const char16_t*>(nullptr), u"", u" \t "}) {
    const uint32_t bytes = ArgumentBlockBytes(line);
    EXPECT_EQ(bytes, 2 * sizeof(const char16_t*));
    auto block = BlockOf(bytes);
    const ArgumentWords args = LayOutArgumentWords(block.data(), bytes, kPath, line);
    ASSERT_EQ(args.count, 1);
    EXPECT_EQ(args.words[0], kPath);
    EXPECT_EQ(args.words[1], nullptr);
  }
}

TEST(ArgumentWords, BlockHoldsTheTextAfterThePointers) {
  const char16_t* line = u"ab \"\" c";
  const uint32_t bytes = ArgumentBlockBytes(line);
  EXPECT_EQ(bytes, 5 * sizeof(const char16_t*) + 6 * sizeof(char16_t));
  auto block = BlockOf(bytes);
  const ArgumentWords args = LayOutArgumentWords(block.data(), bytes, kPath, line);
  ASSERT_EQ(args.count, 4);
  const auto* begin = reinterpret_cast<const char*>(block.data());
  for (int i = 1; i < args.count; ++i) {
    const auto* word = reinterpret_cast<const char*>(args.words[i]);
    EXPECT_GE(word, begin + 5 * sizeof(const char16_t*));
    EXPECT_LT(word, begin + bytes);
  }
  EXPECT_EQ(std::u16string(args.words[2]), u"");
}

TEST(ArgumentWords, RefusesAMissingOrShortBlock) {
  const char16_t* line = u"a b";
  const uint32_t bytes = ArgumentBlockBytes(line);
  auto block = BlockOf(bytes);
  EXPECT_EQ(LayOutArgumentWords(nullptr, bytes, kPath, line).words, nullptr);
  const ArgumentWords short_block = LayOutArgumentWords(block.data(), bytes - 1, kPath, line);
  EXPECT_EQ(short_block.words, nullptr);
  EXPECT_EQ(short_block.count, 0);
}

}  // namespace
