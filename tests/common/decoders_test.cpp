// The one-pass decoders against their step-by-step forms on texts dense with
// escapes, overlapping ones and escapes that a decoded byte completes.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "common/address_text.h"
#include "common/local_path.h"
#include "tests/common/reference_decoders.h"

namespace orv {
namespace {

using namespace std::string_literals;

std::string RandomText(std::mt19937& gen) {
  static const std::vector<std::string> pieces = {
      "%", ",8,,x2", ",8,,x", ",", "8", "x", "2", "5", "4", "1", "0", "e", "E", "F", "f", "z",
      "3", "A", "/", "\xC6", "\0"s, "%25", "%2", ",8,,x22", "%20"};
  std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1), len(0, 16);
  std::string s;
  for (std::size_t k = len(gen); k > 0; --k) s += pieces[pick(gen)];
  return s;
}

TEST(Decoders, AgreeWithTheStepByStepRules) {
  std::mt19937 gen(2024);
  for (int i = 0; i < 30000; ++i) {
    const std::string s = RandomText(gen);
    ASSERT_EQ(LinkPercentDecode(s), reference::LinkPercentDecode(s)) << s;
    ASSERT_EQ(NameEscapeDecode(s), reference::NameEscapeDecode(s)) << s;
    std::string u = s;
    NameUnescape(u);
    ASSERT_EQ(u, reference::NameUnescape(s)) << s;
    std::string m = s;
    PercentDecodeHighAndControl(m);
    ASSERT_EQ(m, reference::PercentDecodeHighAndControl(s)) << s;
  }
}

TEST(Decoders, ChainsThroughDecodedBytes) {
  // Each decoded "%" or "2" completes the escape before it, level after level.
  EXPECT_EQ(LinkPercentDecode("%2525252541"), "A");
  EXPECT_EQ(NameEscapeDecode(",8,,x,8,,x,8,,x2323241"), "A");
  // An escape left encoded (32 or below) stays even when later text is decoded.
  EXPECT_EQ(LinkPercentDecode("%20%2541"), "%20A");
  EXPECT_EQ(NameEscapeDecode(",8,,x220,8,,x23A"), ",8,,x220:");
}

}  // namespace
}  // namespace orv
