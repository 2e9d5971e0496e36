// Every field kind through the codec: values survive a round trip, and the kinds with a
// layout of their own (wstring, bool sequences, empty sequences, bounds) look as rmw writes them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>

#include "shim_wire_tests/msg/all_kinds.hpp"
#include "wire_support.hpp"

namespace dds = rclcpp::shim::dds;
using shim_wire_tests::msg::AllKinds;
using shim_wire_tests::msg::Inner;
using wire::Bytes;

namespace
{

Inner inner(const std::string & label, int16_t a, int16_t b)
{
  Inner i;
  i.label = label;
  i.pair = {a, b};
  return i;
}

AllKinds everything()
{
  AllKinds m;
  m.flag = true;
  m.byte_value = 0xAB;
  m.letter = 'z';
  m.i8 = -8;
  m.u8 = 200;
  m.i16 = -1600;
  m.u16 = 65000;
  m.i32 = -320000;
  m.u32 = 4000000000u;
  m.i64 = std::numeric_limits<int64_t>::min() + 3;
  m.u64 = std::numeric_limits<uint64_t>::max() - 5;
  m.f32 = 1.5f;
  m.f64 = -2.25e300;
  m.wide_letter = u'\u00e9';
  m.extended = -1.25L;
  m.wchar_seq = {u'a', u'\u4e16'};
  m.text = std::string("with\0nul", 8);
  m.short_text = "eight ch";
  m.wide_text = u"h\u00e9llo \u4e16";
  m.short_wide_text = u"abcd";
  m.flags = {true, false, true};
  m.octets_fixed = {1, 2};
  m.doubles_fixed = {0.125, -0.0};
  m.texts_fixed = {"", "second"};
  m.inners_fixed = {inner("a", 1, -1), inner("", 32767, -32768)};
  m.flag_seq = {true, true, false, true, false};
  m.i8_seq = {-1, 0, 1};
  m.u16_seq = {1, 65535};
  m.i64_seq = {-7, 7};
  m.f32_seq = {0.5f};
  m.text_seq = {"x", "", "longer text"};
  m.wide_text_seq = {u"", u"\u00fc"};
  m.inner_seq = {inner("in", 3, 4)};
  m.u32_bounded = {1, 2, 3};
  m.flag_bounded = {false, true};
  m.short_texts_bounded = {"abc", "d"};
  m.inner_bounded = {inner("b", 5, 6), inner("c", 7, 8)};
  m.tail = 0x5A;
  return m;
}

const dds::MessageMembers * all_kinds() {return wire::members<AllKinds>();}

AllKinds round_trip(const AllKinds & in)
{
  const Bytes bytes = wire::encode(all_kinds(), &in);
  EXPECT_EQ(bytes.size() % 4, 0u);
  EXPECT_TRUE(dds::validate(all_kinds(), bytes.data(), bytes.size(), false));
  AllKinds out;
  EXPECT_TRUE(dds::deserialize(all_kinds(), bytes.data(), bytes.size(), &out, nullptr));
  return out;
}

TEST(CdrKinds, every_kind_survives_a_round_trip)
{
  const AllKinds in = everything();
  EXPECT_EQ(round_trip(in), in);
  EXPECT_EQ(round_trip(AllKinds()), AllKinds());

  // Decoding into a used message replaces everything, sequences included.
  AllKinds reused = in;
  const AllKinds empty;
  const Bytes bytes = wire::encode(all_kinds(), &empty);
  ASSERT_TRUE(dds::deserialize(all_kinds(), bytes.data(), bytes.size(), &reused, nullptr));
  EXPECT_EQ(reused, empty);
}

TEST(CdrKinds, request_identity_round_trips_with_any_message)
{
  const AllKinds in = everything();
  const dds::RequestId id{0xfedcba9876543210ull, -42};
  const Bytes bytes = wire::encode(all_kinds(), &in, &id);
  EXPECT_EQ(bytes.size(), wire::encode(all_kinds(), &in).size() + 16);
  AllKinds out;
  dds::RequestId got;
  ASSERT_TRUE(dds::deserialize(all_kinds(), bytes.data(), bytes.size(), &out, &got));
  EXPECT_EQ(out, in);
  EXPECT_EQ(got.client_id, id.client_id);
  EXPECT_EQ(got.sequence, id.sequence);
}

// The bytes are found by pattern, so the test does not hand-count offsets.
TEST(CdrKinds, layout_of_the_kinds_rmw_writes_its_own_way)
{
  AllKinds m;
  m.wide_text = u"h\u00e9";
  m.flag_seq = {true, false, true};
  const Bytes b = wire::encode(all_kinds(), &m);
  // wstring: a u32 character count, then 4 bytes per character, no terminator.
  const uint8_t wide[] = {2, 0, 0, 0, 'h', 0, 0, 0, 0xe9, 0, 0, 0};
  EXPECT_NE(std::search(b.begin(), b.end(), std::begin(wide), std::end(wide)), b.end());
  // A bool sequence is a count and one byte per element.
  const uint8_t bools[] = {3, 0, 0, 0, 1, 0, 1};
  EXPECT_NE(std::search(b.begin(), b.end(), std::begin(bools), std::end(bools)), b.end());
}

TEST(CdrKinds, empty_sequences_add_no_element_alignment)
{
  // ParameterValue: uint8 type, bool, int64, double, string, then five sequences. With all
  // sequences empty nothing is padded after the counts; rmw's own bytes show the same.
  rcl_interfaces::msg::ParameterValue v;
  const Bytes b = wire::encode(wire::members<rcl_interfaces::msg::ParameterValue>(), &v);
  EXPECT_EQ(b.size(), 4u + 24u + 5u + 3u + 20u);
}

TEST(CdrKinds, bounds_and_bool_bytes_on_input)
{
  AllKinds m = everything();
  const Bytes good = wire::encode(all_kinds(), &m);

  auto rejected = [](const Bytes & bad) {
      AllKinds out;
      return !dds::validate(all_kinds(), bad.data(), bad.size(), false) &&
             !dds::deserialize(all_kinds(), bad.data(), bad.size(), &out, nullptr);
    };
  // Strings past their bound: std::string does not stop the writer, the reader refuses them.
  AllKinds over = m;
  over.short_text = "nine char";
  EXPECT_TRUE(rejected(wire::encode(all_kinds(), &over)));
  over = m;
  over.short_wide_text = u"abcde";
  EXPECT_TRUE(rejected(wire::encode(all_kinds(), &over)));
  over = m;
  over.short_texts_bounded = {"abcd"};
  EXPECT_TRUE(rejected(wire::encode(all_kinds(), &over)));
  // Bounded sequences cannot grow past the bound in C++; forge the count on the wire.
  const uint8_t u32s[] = {3, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0};
  const uint8_t texts[] = {2, 0, 0, 0, 4, 0, 0, 0, 'a', 'b', 'c', 0};
  for (const auto & pattern : {Bytes(std::begin(u32s), std::end(u32s)),
      Bytes(std::begin(texts), std::end(texts))})
  {
    Bytes bad = good;
    auto at = std::search(bad.begin(), bad.end(), pattern.begin(), pattern.end());
    ASSERT_NE(at, bad.end());
    ++*at;
    EXPECT_TRUE(rejected(bad));
  }

  // A bool byte other than 0/1 reads as true, as rmw reads it, and never lands in a bool raw.
  Bytes odd = good;
  ASSERT_EQ(odd[4], 1);
  odd[4] = 0x7f;
  AllKinds out;
  ASSERT_TRUE(dds::deserialize(all_kinds(), odd.data(), odd.size(), &out, nullptr));
  EXPECT_TRUE(out.flag);
  EXPECT_EQ(out, m);
}

TEST(CdrKinds, wide_characters_beyond_utf16_units_are_malformed)
{
  AllKinds m;
  m.wide_text = u"ab";
  Bytes b = wire::encode(all_kinds(), &m);
  const uint8_t wide[] = {2, 0, 0, 0, 'a', 0, 0, 0, 'b', 0, 0, 0};
  auto at = std::search(b.begin(), b.end(), std::begin(wide), std::end(wide));
  ASSERT_NE(at, b.end());
  at[6] = 0x01;  // 'a' becomes U+1_0061
  EXPECT_FALSE(dds::validate(all_kinds(), b.data(), b.size(), false));
}

}  // namespace
