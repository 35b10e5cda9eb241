#include "capture/ascii85.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace talphex {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::string Encode(const Bytes& bytes) { return Ascii85Encode(bytes.data(), bytes.size()); }

// An output that a failing decode must leave as it was.
const Bytes kEarlierBody = {0x11, 0x22, 0x33};

TEST(Ascii85, DecodesWhatTheEncoderWroteForEveryLength) {
  std::mt19937 random(20240611);
  std::uniform_int_distribution<int> byte(0, 255);
  for (std::size_t length = 1; length <= 600; ++length) {
    Bytes data(length);
    for (auto& b : data) b = static_cast<std::uint8_t>(byte(random));
    // Runs of zeros so that "z" groups occur both inside and at the ends of the text.
    if (length % 7 == 0) std::fill(data.begin(), data.begin() + (length / 2), 0);
    const std::string text = Encode(data);
    // Without "<~" a text whose first digit is "<" would read as a bad opening delimiter.
    std::vector<std::string> bodies = {"<~" + text};
    if (text[0] != '<') bodies.push_back(text);
    for (const std::string& body : bodies) {
      Bytes decoded = kEarlierBody;
      ASSERT_EQ(Ascii85Decode(body, decoded), Ascii85Status::kOk) << "length " << length;
      ASSERT_EQ(decoded, data) << "length " << length << " body " << body;
    }
  }
}

TEST(Ascii85, KnownGroups) {
  struct Case {
    const char* text;
    Bytes bytes;
  };
  const Case kCases[] = {
      {"z~>", {0, 0, 0, 0}},
      {"<~z~>", {0, 0, 0, 0}},
      {"s8W-!~>", {0xFF, 0xFF, 0xFF, 0xFF}},
      {"!!!!!~>", {0, 0, 0, 0}},
      {"87cURD]i,\"Ebo7~>", {'H', 'e', 'l', 'l', 'o', ' ', 'W', 'o', 'r', 'l', 'd'}},
      // Four digits make three bytes; a lone sixth digit is dropped.
      {"87cU~>", {'H', 'e', 'l'}},
      {"87cURD~>", {'H', 'e', 'l', 'l'}},
      {"87cURz~>", {'H', 'e', 'l', 'l', 0, 0, 0, 0}},
      {"z87cURD~>", {0, 0, 0, 0, 'H', 'e', 'l', 'l'}},
      {"zz~>", {0, 0, 0, 0, 0, 0, 0, 0}},
      // Codes 0 to 32 between digits are passed over.
      {" 87\r\n c\tU\x01R\x1F ~>", {'H', 'e', 'l', 'l'}},
      {"<~ 87cU ~>", {'H', 'e', 'l'}},
      // Nothing after the terminator is looked at, not even an invalid character.
      {"87cURD~>\xFF{}~", {'H', 'e', 'l', 'l'}},
      {"z~>~", {0, 0, 0, 0}},
  };
  for (const Case& c : kCases) {
    Bytes out = kEarlierBody;
    EXPECT_EQ(Ascii85Decode(c.text, out), Ascii85Status::kOk) << c.text;
    EXPECT_EQ(out, c.bytes) << c.text;
    Bytes via_text;
    EXPECT_TRUE(Ascii85DecodeText(c.text, via_text)) << c.text;
  }
}

TEST(Ascii85, MalformedBodiesFailWithTheirReason) {
  struct Case {
    std::string text;
    Ascii85Status status;
    bool output_untouched;
  };
  const Case kCases[] = {
      {"", Ascii85Status::kEmpty, true},
      {"<", Ascii85Status::kBadOpening, true},
      {"<87cU~>", Ascii85Status::kBadOpening, true},
      {"87cU", Ascii85Status::kNoTerminator, true},
      {"87cU~", Ascii85Status::kNoTerminator, true},
      {"87cU~x", Ascii85Status::kNoTerminator, true},
      {"87cU>", Ascii85Status::kNoTerminator, true},
      {"<~", Ascii85Status::kNoTerminator, true},
      {"87vU~>", Ascii85Status::kInvalidCharacter, true},
      {"87cU{~>", Ascii85Status::kInvalidCharacter, true},
      {"87cU\x80~>", Ascii85Status::kInvalidCharacter, true},
      {"87cU\xFF~>", Ascii85Status::kInvalidCharacter, true},
      {"8z7cU~>", Ascii85Status::kMisplacedZ, true},
      {"87cURDz~>", Ascii85Status::kMisplacedZ, true},
      {"87cURD8z~>", Ascii85Status::kMisplacedZ, true},
      {"~>", Ascii85Status::kNoDigits, true},
      {"<~~>", Ascii85Status::kNoDigits, true},
      {"  \r\n~>", Ascii85Status::kNoDigits, true},
      // Past the largest group value: the output is already sized when this is found.
      {"s8W-\"~>", Ascii85Status::kGroupOverflow, false},
      {"uuuuu~>", Ascii85Status::kGroupOverflow, false},
      {"!!!!!uuuuu~>", Ascii85Status::kGroupOverflow, false},
      {"uuuu~>", Ascii85Status::kGroupOverflow, false},  // the padded final group overflows too
  };
  for (const Case& c : kCases) {
    Bytes out = kEarlierBody;
    EXPECT_EQ(Ascii85Decode(c.text, out), c.status) << c.text;
    if (c.output_untouched) {
      EXPECT_EQ(out, kEarlierBody) << c.text;
    }
    Bytes via_text = kEarlierBody;
    EXPECT_FALSE(Ascii85DecodeText(c.text, via_text)) << c.text;
    EXPECT_STRNE(Ascii85StatusText(c.status), Ascii85StatusText(Ascii85Status::kOk));
  }
}

TEST(Ascii85, OverflowKeepsTheBytesWrittenBeforeIt) {
  Bytes out = kEarlierBody;
  ASSERT_EQ(Ascii85Decode("87cURuuuuu~>", out), Ascii85Status::kGroupOverflow);
  ASSERT_EQ(out.size(), 8u);
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 4), (Bytes{'H', 'e', 'l', 'l'}));
}

TEST(Ascii85, LoneDigitYieldsNoByte) {
  // A lone digit is still a digit, so the body decodes to nothing rather than failing.
  Bytes out = kEarlierBody;
  EXPECT_EQ(Ascii85Decode("8~>", out), Ascii85Status::kOk);
  EXPECT_TRUE(out.empty());
}

}  // namespace
}  // namespace talphex
