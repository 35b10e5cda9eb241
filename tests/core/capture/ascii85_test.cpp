// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/capture/ascii85.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace talphex {
namespace {

using Bytes = std::vector<std::uint8_t>;

// An output that a failing decode must leave as it was.
const Bytes kEarlierBody = {0x11, 0x22, 0x33};

TEST(Ascii85, DecodesWhatTheEncoderWroteForEveryLength) {
  std::mt19937 random(20240611);
  for (std::size_t length = 1; length <= 600; ++length) {
    Bytes data(length);
    for (auto& b : data) b = static_cast<std::uint8_t>(random());
    // Runs of zeros so that "z" groups occur both inside and at the ends of the text.
    if (length % 7 == 0) std::fill(data.begin(), data.begin() + (length / 2), 0);
    const std::string text = Ascii85Encode(data.data(), data.size());
    // Without "<~" a text whose first digit is "<" would read as a bad opening delimiter.
    for (const std::string& body : {"<~" + text, text[0] == '<' ? "<~" + text : text}) {
      Bytes decoded = kEarlierBody;
      ASSERT_EQ(Ascii85Decode(body, decoded), Ascii85Status::kOk) << body;
      ASSERT_EQ(decoded, data) << body;
    }
  }
}

TEST(Ascii85, DecodesOrFailsWithItsReason) {
  using enum Ascii85Status;
  const Bytes hell = {'H', 'e', 'l', 'l'};
  // Body text, status, and the whole output; for an overflow only its start. The other ways a body
  // can be malformed go through the loader in the bad-input suite, the opening "<~" through the
  // round trip above, and Ascii85DecodeText's agreement through the fuzz target's corpus.
  const std::tuple<std::string, Ascii85Status, Bytes> kCases[] = {
      {"z~>", kOk, {0, 0, 0, 0}},
      {"s8W-!~>", kOk, {0xFF, 0xFF, 0xFF, 0xFF}},
      {"87cU~>", kOk, {'H', 'e', 'l'}},         // four digits make three bytes
      {"87cURD~>", kOk, hell},                  // a lone sixth digit is dropped
      {"8~>", kOk, {}},                         // a lone digit is still a digit
      {" 87\r\n c\tU\x01R\x1F ~>", kOk, hell},  // codes 0 to 32 between digits are passed over
      {"87cURD~>\xFF{}~", kOk, hell},           // nothing after the terminator is looked at
      {"87cU\x80~>", kInvalidCharacter, kEarlierBody},
      // Past the largest group value: the output is already sized, earlier groups are kept.
      {"s8W-\"~>", kGroupOverflow, {}},
      {"87cURuuuuu~>", kGroupOverflow, hell},
      {"uuuu~>", kGroupOverflow, {}},  // the padded final group overflows too
  };
  for (const auto& [text, status, bytes] : kCases) {
    Bytes out = kEarlierBody;
    EXPECT_EQ(Ascii85Decode(text, out), status) << text;
    if (status == kGroupOverflow) out.resize(std::min(out.size(), bytes.size()));
    EXPECT_EQ(out, bytes) << text;
  }
}

// Whole groups are decoded several characters at a time; a character that breaks a group must be
// seen wherever it falls, at every offset of a long text and right before the terminator.
TEST(Ascii85, BreaksInARunOfDigitsAreSeenAtEveryOffset) {
  using enum Ascii85Status;
  Bytes data(48);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(0x31 + 7 * i);
  const std::string text = Ascii85Encode(data.data(), data.size());
  ASSERT_EQ(text.size(), 62U);  // 60 digits and "~>", no "z"
  for (std::size_t at = 0; at <= 60; ++at) {
    // Codes up to 32 are passed over; everything else out of place is refused.
    for (const char gap : {' ', '\n', '\x01'}) {
      Bytes out;
      ASSERT_EQ(Ascii85Decode(text.substr(0, at) + gap + text.substr(at), out), kOk) << at;
      ASSERT_EQ(out, data) << at;
    }
    for (const char bad : {'v', '{', '\x7F', '\x80', '\xFF'}) {
      Bytes out = kEarlierBody;
      ASSERT_EQ(Ascii85Decode(text.substr(0, at) + bad + text.substr(at), out), kInvalidCharacter)
          << at << " " << static_cast<int>(static_cast<unsigned char>(bad));
      ASSERT_EQ(out, kEarlierBody) << at;
    }
    // A "z" is a group of its own between groups and refused inside one.
    Bytes out;
    const Ascii85Status z = Ascii85Decode(text.substr(0, at) + 'z' + text.substr(at), out);
    ASSERT_EQ(z, at % 5 == 0 ? kOk : kMisplacedZ) << at;
  }
  // A group above 4294967295 at any place keeps the bytes of the groups before it.
  for (std::size_t group = 0; group < 12; ++group) {
    std::string over = text;
    over.replace(5 * group, 5, "uuuuu");
    Bytes out;
    ASSERT_EQ(Ascii85Decode(over, out), kGroupOverflow) << group;
    ASSERT_EQ(Bytes(out.begin(), out.begin() + 4 * group),
              Bytes(data.begin(), data.begin() + 4 * group))
        << group;
  }
}

}  // namespace
}  // namespace talphex
