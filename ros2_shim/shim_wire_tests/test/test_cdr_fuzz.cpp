// Random and mutated samples through validate() and deserialize(): no crash (run it under
// ASan/UBSan: scripts/test --sanitize), and both always give the same verdict. Whatever
// decodes must encode and decode again to the same bytes.
//
// SHIM_WIRE_FUZZ_ITERATIONS sets the number of samples (default 100000); SHIM_WIRE_FUZZ_SEED
// the seed, printed so that a failure can be replayed.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "shim_wire_tests/msg/all_kinds.hpp"
#include "wire_support.hpp"

namespace dds = rclcpp::shim::dds;
using wire::Bytes;

namespace
{

struct Seed
{
  const dds::MessageMembers * mm;
  Bytes bytes;
  bool with_id;
};

std::vector<Seed> seeds()
{
  std::vector<Seed> out;
  for (const auto & s : wire::load_samples()) {
    out.push_back({wire::members_for(s.type), s.bytes, false});
  }
  shim_wire_tests::msg::AllKinds m;
  m.text = "text";
  m.wide_text = u"wide";
  m.flag_seq = {true, false};
  m.i64_seq = {1, 2, 3};
  m.text_seq = {"a", "bc"};
  m.wide_text_seq = {u"x"};
  m.inner_seq.resize(2);
  m.inner_seq[1].label = "inner";
  m.short_texts_bounded = {"ab"};
  m.inner_bounded.resize(1);
  const auto * all = wire::members<shim_wire_tests::msg::AllKinds>();
  out.push_back({all, wire::encode(all, &m), false});
  // Every seed once more in its service form, with a request identity in front.
  const dds::RequestId id{0x0102030405060708ull, 9};
  for (size_t i = 0, n = out.size(); i < n; ++i) {
    wire::AnyMessage msg(out[i].mm);
    dds::deserialize(out[i].mm, out[i].bytes.data(), out[i].bytes.size(), msg.get(), nullptr);
    out.push_back({out[i].mm, wire::encode(out[i].mm, msg.get(), &id), true});
  }
  return out;
}

size_t env_or(const char * name, size_t fallback)
{
  const char * v = std::getenv(name);
  return v != nullptr && *v != '\0' ? std::strtoull(v, nullptr, 10) : fallback;
}

Bytes mutate(const Bytes & seed, std::mt19937_64 & rng)
{
  auto pick = [&rng](size_t n) {return n == 0 ? 0 : static_cast<size_t>(rng() % n);};
  Bytes b = seed;
  const int edits = 1 + static_cast<int>(pick(4));
  for (int e = 0; e < edits; ++e) {
    switch (pick(7)) {
      case 0:  // flip a bit
        if (!b.empty()) {b[pick(b.size())] ^= static_cast<uint8_t>(1u << pick(8));}
        break;
      case 1:  // random byte
        if (!b.empty()) {b[pick(b.size())] = static_cast<uint8_t>(rng());}
        break;
      case 2: {  // a length-like u32 at an aligned offset: small, near the size, or huge
          if (b.size() >= 8) {
            const size_t at = 4 + (pick(b.size() - 7) & ~size_t{3});
            const uint32_t choices[] = {0, 1, 2, static_cast<uint32_t>(b.size()),
              static_cast<uint32_t>(pick(64)), 0x7fffffffu, 0xffffffffu,
              static_cast<uint32_t>(rng())};
            const uint32_t v = choices[pick(8)];
            std::memcpy(b.data() + at, &v, 4);
          }
          break;
        }
      case 3:  // truncate
        b.resize(pick(b.size() + 1));
        break;
      case 4:  // grow with random bytes
        for (size_t n = 1 + pick(16); n > 0; --n) {b.push_back(static_cast<uint8_t>(rng()));}
        break;
      case 5:  // drop a range
        if (!b.empty()) {
          const size_t at = pick(b.size());
          b.erase(b.begin() + static_cast<long>(at),
            b.begin() + static_cast<long>(std::min(b.size(), at + 1 + pick(8))));
        }
        break;
      default:  // switch endianness in the header
        if (b.size() >= 2) {b[1] ^= 1;}
        break;
    }
  }
  return b;
}

TEST(CdrFuzz, validate_and_deserialize_agree_and_never_crash)
{
  const size_t iterations = env_or("SHIM_WIRE_FUZZ_ITERATIONS", 100000);
  const uint64_t seed = env_or(
    "SHIM_WIRE_FUZZ_SEED",
    static_cast<size_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
  std::printf("fuzz seed %llu\n", static_cast<unsigned long long>(seed));
  std::mt19937_64 rng(seed);
  const std::vector<Seed> corpus = seeds();

  size_t accepted = 0;
  size_t rejected = 0;
  for (size_t i = 0; i < iterations; ++i) {
    const Seed & s = corpus[rng() % corpus.size()];
    Bytes input;
    if (rng() % 10 == 0) {
      input.resize(rng() % 96);  // pure noise behind a valid header
      for (auto & byte : input) {byte = static_cast<uint8_t>(rng());}
      if (input.size() >= 4) {input[0] = 0; input[1] = 1;}
    } else {
      input = mutate(s.bytes, rng);
    }
    const bool with_id = rng() % 8 == 0 ? !s.with_id : s.with_id;
    const bool valid = dds::validate(s.mm, input.data(), input.size(), with_id);
    wire::AnyMessage msg(s.mm);
    dds::RequestId id;
    const bool decoded =
      dds::deserialize(s.mm, input.data(), input.size(), msg.get(), with_id ? &id : nullptr);
    ASSERT_EQ(valid, decoded) << "iteration " << i << " seed " << seed;
    if (!decoded) {
      ++rejected;
      continue;
    }
    ++accepted;
    const Bytes again = wire::encode(s.mm, msg.get(), with_id ? &id : nullptr);
    wire::AnyMessage copy(s.mm);
    ASSERT_TRUE(
      dds::deserialize(s.mm, again.data(), again.size(), copy.get(), with_id ? &id : nullptr))
      << "iteration " << i << " seed " << seed;
    ASSERT_EQ(wire::encode(s.mm, copy.get(), with_id ? &id : nullptr), again)
      << "iteration " << i << " seed " << seed;
  }
  std::printf(
    "fuzzed %zu samples: %zu accepted, %zu rejected\n", iterations, accepted, rejected);
  EXPECT_EQ(accepted + rejected, iterations);
  EXPECT_GT(accepted, 0u);
  EXPECT_GT(rejected, 0u);
}

}  // namespace
