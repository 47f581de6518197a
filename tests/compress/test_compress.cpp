// Block compression of configuration images: hand-written containers the controller's decoder
// reads, edge cases of the format, round trips of every mode, and corrupt input.
#include "project/compress.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>
#include <atomic>
#include <cstdlib>
#include <new>

// The largest single allocation since the last reset, to see what a hostile length costs.
static std::atomic<std::size_t> g_largestAllocation{0};

[[gnu::noinline]] static void* Allocate(std::size_t n) {
  std::size_t seen = g_largestAllocation.load();
  while (n > seen && !g_largestAllocation.compare_exchange_weak(seen, n)) {
  }
  return std::malloc(n ? n : 1);
}
[[gnu::noinline]] static void Release(void* p) { std::free(p); }

void* operator new(std::size_t n) {
  if (void* p = Allocate(n)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }

namespace t32 {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Head(std::int32_t l) {
  const auto u = static_cast<std::uint32_t>(l);
  return {static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 8), static_cast<std::uint8_t>(u >> 16),
          static_cast<std::uint8_t>(u >> 24)};
}

Bytes Str(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Builds a bit stream the way the format lays it out: values least significant bit first,
// Huffman codes first bit (most significant) first.
class Bits {
 public:
  explicit Bits(std::int32_t l) : out_(Head(l)) {}
  Bits& Value(std::uint32_t v, int n) {
    for (int i = 0; i < n; ++i) Bit((v >> i) & 1);
    return *this;
  }
  Bits& Code(std::uint32_t c, int n) {
    for (int i = n - 1; i >= 0; --i) Bit((c >> i) & 1);
    return *this;
  }
  Bits& StaticHeader() { return Value(0, 1).Value(1, 1); }
  Bits& StoredHeader(int k) { return Value(0, 1).Value(0, 1).Value(static_cast<std::uint32_t>(k), 8); }
  // Static literal codes of the bytes used here: 8-bit codes from 50 for symbols 1 to 142.
  Bits& StaticLiteral(std::uint8_t b) {
    EXPECT_TRUE(b >= 1 && b <= 142);
    return Code(50u + b - 1, 8);
  }
  const Bytes& Done() const { return out_; }

 private:
  void Bit(std::uint32_t b) {
    if (nbits_ % 8 == 0) out_.push_back(0);
    out_.back() |= static_cast<std::uint8_t>(b << (nbits_ % 8));
    ++nbits_;
  }
  Bytes out_;
  std::size_t nbits_ = 0;
};

struct Decoded {
  bool ok;
  Bytes data;
  std::string error;
};

Decoded Decode(const Bytes& c, std::size_t maxOut = kMaxImageSize) {
  Decoded d;
  d.ok = Inflate(c.data(), c.size(), d.data, maxOut, &d.error);
  return d;
}

// ---------------------------------------------------------------------------------------------
// Containers written out by hand

TEST(InflateGolden, HandWrittenContainers) {
  struct Case {
    const char* what;
    Bytes container;
    std::string expected;
  };
  const Case cases[] = {
      {"empty: L = 0", {0x00, 0x00, 0x00, 0x00}, ""},
      {"stored container, L = -5", {0xFB, 0xFF, 0xFF, 0xFF, 'h', 'e', 'l', 'l', 'o'}, "hello"},
      // Static block: 'a' 'b' 'c' (8-bit codes 146-148), symbol 259 (match of 6, 7-bit code 4),
      // distance code 2 as six plain bits.
      {"static block", {0x09, 0x00, 0x00, 0x00, 0x26, 0x25, 0xA7, 0x40, 0x04}, "abcabcabc"},
      // Dynamic block: code-length code {0, 1, 2, 19} all 2 bits (19 of the 20 lengths sent),
      // 264 literal/length lengths: 'a' 1, 'b' 2, symbol 263 (length 10) 2, zero runs through
      // symbol 19; two distance codes of one bit; then a, b, 263, distance code 1 (= 2).
      {"dynamic block",
       {0x0C, 0x00, 0x00, 0x00, 0x1D, 0x00, 0x00, 0x01, 0x00, 0x00, 0x40, 0x12, 0xE2, 0xA7, 0xF1, 0x7F, 0x41,
        0x81, 0xEA},
       "abababababab"},
      // Symbol 286 (8-bit code 199) with the single byte 0x80: a match of 145 at distance 1.
      {"long match of 145", {0x92, 0x00, 0x00, 0x00, 0x56, 0x8E, 0x03, 0x02}, std::string(146, 'x')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Decoded d = Decode(c.container);
    ASSERT_TRUE(d.ok) << d.error;
    EXPECT_EQ(d.data, Str(c.expected));
    // The fixed-buffer form gives the same bytes and the size.
    Bytes buf(c.expected.size() + 1, 0xAA);
    std::size_t produced = 99;
    ASSERT_TRUE(InflateInto(c.container.data(), c.container.size(), buf.data(), buf.size(), &produced, nullptr));
    EXPECT_EQ(produced, c.expected.size());
    EXPECT_EQ(Bytes(buf.begin(), buf.begin() + static_cast<long>(produced)), Str(c.expected));
    EXPECT_EQ(buf.back(), 0xAA) << "wrote past the decoded length";
  }
}

// ---------------------------------------------------------------------------------------------
// Block boundaries

TEST(InflateBlocks, RunOf20000CrossesTheSymbolLimitOfABlock) {
  // Block 1 (static): 8192 literal 'z' symbols; the block ends there without any end code.
  // Block 2 (static): 'z' and symbol 286 with bytes 0x0F, 0xDB: 15 | (0x5B << 7) = 11663,
  // a match of 11808 at distance 1 -> 8192 + 11808 = 20000.
  Bits b(20000);
  b.StaticHeader();
  for (int i = 0; i < 8192; ++i) b.StaticLiteral('z');
  b.StaticHeader().Code(199, 8).Value(0x0F, 8).Value(0xDB, 8).Value(0, 6);
  const Decoded d = Decode(b.Done());
  ASSERT_TRUE(d.ok) << d.error;
  EXPECT_EQ(d.data, Bytes(20000, 'z'));

  // Without the second block header the stream reads as garbage: a decoder that let a block
  // run on past 8192 symbols would decode this one differently.
  Bits c(20000);
  c.StaticHeader();
  for (int i = 0; i < 8192; ++i) c.StaticLiteral('z');
  c.Code(199, 8).Value(0x0F, 8).Value(0xDB, 8).Value(0, 6);
  const Decoded e = Decode(c.Done());
  EXPECT_FALSE(e.ok && e.data == Bytes(20000, 'z'));
}

TEST(InflateBlocks, LargestStoredBlockThenAnUnalignedStaticBlock) {
  // Stored block k = 255: 8447 bytes, each 8 bits but not byte-aligned (the block header took
  // 10 bits); a static block with three literals follows.
  Bytes plain(8447);
  for (std::size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<std::uint8_t>(i * 7 + 1);
  Bits b(8450);
  b.StoredHeader(255);
  for (std::uint8_t x : plain) b.Value(x, 8);
  b.StaticHeader().StaticLiteral('A').StaticLiteral('B').StaticLiteral('C');
  const Decoded d = Decode(b.Done());
  ASSERT_TRUE(d.ok) << d.error;
  plain.insert(plain.end(), {'A', 'B', 'C'});
  EXPECT_EQ(d.data, plain);
}

TEST(InflateBlocks, StoredBlockStopsAtTheAnnouncedLength) {
  // k = 0 announces 8192 bytes, but only 3 remain of L: the container ends after them.
  Bits b(3);
  b.StoredHeader(0).Value('x', 8).Value('y', 8).Value('z', 8);
  const Decoded d = Decode(b.Done());
  ASSERT_TRUE(d.ok) << d.error;
  EXPECT_EQ(d.data, Str("xyz"));
}

TEST(InflateBlocks, MatchReachingPastTheLengthEndsTheData) {
  // 'x' then a match of 145 at distance 1, but L = 10: decoding stops at 10 bytes.
  Bits b(10);
  b.StaticHeader().StaticLiteral('x').Code(199, 8).Value(0x80, 8).Value(0, 6);
  const Decoded d = Decode(b.Done());
  ASSERT_TRUE(d.ok) << d.error;
  EXPECT_EQ(d.data, Bytes(10, 'x'));
}

// ---------------------------------------------------------------------------------------------
// Corrupt input

TEST(InflateCorrupt, EveryKindFailsWithItsText) {
  struct Case {
    const char* what;
    Bytes container;
    const char* error;
  };
  // Static block: 'a' then symbol 256 (match of 3) at distance code 1 (= 2): only 1 byte exists.
  const Bytes farBack = Bits(4).StaticHeader().StaticLiteral('a').Code(1, 7).Value(1, 6).Done();
  // Dynamic block whose code-length code gives 20 symbols 1 bit each: over-subscribed.
  Bits over(4);
  over.Value(1, 1).Value(15, 4);
  for (int i = 0; i < 20; ++i) over.Value(1, 3);
  // Dynamic block whose code-length code is the single 1-bit code of symbol 0 (seventh in the
  // order, so c = 2 sends seven lengths): bit pattern 1 is no code.
  Bits unused(4);
  unused.Value(1, 1).Value(2, 4);
  for (int i = 0; i < 7; ++i) unused.Value(i == 6 ? 1 : 0, 3);
  unused.Value(0, 5).Code(1, 1).Value(0, 30);
  const Case cases[] = {
      {"head shorter than 4 bytes", {0x05, 0x00, 0x00}, kInflateErrorPastEnd},
      {"stored container shorter than -L", {0xFB, 0xFF, 0xFF, 0xFF, 'a', 'b'}, kInflateErrorPastEnd},
      {"stored container, L = INT32_MIN", {0x00, 0x00, 0x00, 0x80, 1, 2, 3}, kInflateErrorTooLarge},
      {"stream missing", {0x10, 0x00, 0x00, 0x00}, kInflateErrorPastEnd},
      {"L beyond the image limit", {0x01, 0x00, 0x40, 0x06, 0xFF}, kInflateErrorTooLarge},
      {"distance before the start", farBack, kInflateErrorBadDistance},
      {"over-subscribed code lengths", over.Done(), kInflateErrorBadTable},
      {"bit pattern that is no code", unused.Done(), kInflateErrorBadCode},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Decoded d = Decode(c.container);
    EXPECT_FALSE(d.ok);
    EXPECT_EQ(d.error, c.error);
    EXPECT_TRUE(d.data.empty());
  }
}

TEST(InflateCorrupt, NullSourceAndTooSmallDestination) {
  Bytes out;
  std::string err;
  EXPECT_FALSE(Inflate(nullptr, 10, out, kMaxImageSize, &err));
  EXPECT_EQ(err, "Параметр \"SourceBytes\", передаваемый в функцию \"G_Inflate\", не может быть равен nil.");

  // A destination smaller than L is refused before anything is written.
  const Bytes c = {0x09, 0x00, 0x00, 0x00, 0x26, 0x25, 0xA7, 0x40, 0x04};
  Bytes dst(8, 0xAA);
  std::size_t produced = 0;
  EXPECT_FALSE(InflateInto(c.data(), c.size(), dst.data(), dst.size(), &produced, &err));
  EXPECT_EQ(err, kInflateErrorTooLarge);
  EXPECT_EQ(dst, Bytes(8, 0xAA));
}

TEST(InflateCorrupt, HostileLengthCostsNoMemoryUpFront) {
  // L = 100 MiB announced by a 9-byte stream: 'q' and one long match of 16,400 bytes, then the
  // input ends. The decoder must fail without having sized anything to L.
  Bits b(static_cast<std::int32_t>(kMaxImageSize));
  b.StaticHeader().StaticLiteral('q').Code(199, 8).Value(0x7F, 8).Value(0xFF, 8).Value(0, 6);
  g_largestAllocation = 0;
  const Decoded d = Decode(b.Done());
  EXPECT_FALSE(d.ok);
  EXPECT_EQ(d.error, kInflateErrorPastEnd);
  EXPECT_LT(g_largestAllocation.load(), std::size_t{4} << 20);
}

Bytes Compress(const Bytes& in, int mode) {
  Bytes out;
  std::string err;
  EXPECT_TRUE(Deflate(in.data(), in.size(), mode, out, &err)) << err;
  return out;
}

Bytes ImageLike(std::size_t records, std::uint32_t seed);

TEST(InflateCorrupt, EveryTruncationFailsAndFlipsNeverCrash) {
  const Bytes plain = ImageLike(60, 7);
  const Bytes c = Compress(plain, 4);
  ASSERT_GT(c.size(), 8u);
  ASSERT_GT(std::int32_t(c[0] | c[1] << 8 | c[2] << 16 | c[3] << 24), 0) << "expected a compressed container";
  for (std::size_t n = 1; n < c.size(); ++n) {
    const Decoded d = Decode(Bytes(c.begin(), c.begin() + static_cast<long>(n)));
    ASSERT_FALSE(d.ok) << "prefix of " << n << " bytes decoded";
    EXPECT_EQ(d.error, kInflateErrorPastEnd) << n;
  }
  std::mt19937 rng(1);
  for (int i = 0; i < 3000; ++i) {
    Bytes bad = c;
    bad[4 + rng() % (bad.size() - 4)] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
    const Decoded d = Decode(bad);
    if (d.ok) {
      EXPECT_EQ(d.data.size(), plain.size());
    } else {
      EXPECT_FALSE(d.error.empty());
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Round trips

Bytes RandomBytes(std::size_t n, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& x : b) x = static_cast<std::uint8_t>(rng());
  return b;
}

Bytes Text(std::size_t n) {
  static const char* words[] = {"Порт ", "опроса ", "MODBUS ", "устройство ", "сигнал ", "ТС ",  "ТИ ",
                                "Плата ", "DI32 ",   "канал ",  "связь_",      "\r\n",    "1234 ", "0x1F "};
  std::mt19937 rng(3);
  std::string s;
  while (s.size() < n) s += words[rng() % 14];
  s.resize(n);
  return Str(s);
}

// Records as an image holds them: F1 FF section heads, F2 FF entries with keys, 65-byte name
// fields in cp1251, floats and small integers.
Bytes ImageLike(std::size_t records, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b;
  auto put16 = [&](std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
  };
  auto put32 = [&](std::uint32_t v) {
    put16(v & 0xFFFF);
    put16(v >> 16);
  };
  for (std::size_t r = 0; r < records; ++r) {
    put16(0xFFF1);
    put16(60 + r % 7);
    put32(400);
    put16(0xFFF2);
    put16(48);
    put32(9);
    b.push_back(1);
    for (int e = 0; e < 4; ++e) {
      put16(0xFFF2);
      put16(static_cast<std::uint32_t>(1 + e));
      put32(8 + 65);
      // "3_DI32.Пр17" in cp1251, then the unused rest of the 65-byte field.
      const std::string name = std::to_string(r % 9) + "_DI32.\xCF\xF0" + std::to_string(rng() % 64);
      b.push_back(static_cast<std::uint8_t>(name.size()));
      b.insert(b.end(), name.begin(), name.end());
      b.insert(b.end(), 64 - name.size(), 0);
      put16(0xFFF2);
      put16(static_cast<std::uint32_t>(20 + e));
      put32(12);
      float f = static_cast<float>(rng() % 1000) / 10.0f;
      std::uint32_t u;
      std::memcpy(&u, &f, 4);
      put32(u);
    }
  }
  return b;
}

// Runs of one byte of every length to past the longest match searched at once, each ended by a
// random byte, twice over (the second time they copy the first), the input ending inside a run.
Bytes Runs() {
  std::mt19937 rng(5);
  Bytes b;
  for (int pass = 0; pass < 2; ++pass) {
    for (int len = 1; len <= 300; ++len) {
      b.insert(b.end(), static_cast<std::size_t>(len), static_cast<std::uint8_t>(len % 3 ? 0 : 0xFF));
      b.push_back(static_cast<std::uint8_t>(1 + rng() % 4));
    }
  }
  b.insert(b.end(), 37, 0);
  return b;
}

TEST(DeflateRoundTrip, EveryModeOnVariedData) {
  struct Data {
    const char* what;
    Bytes bytes;
  };
  Bytes pattern;  // a 40 KB block repeated 300 KB on: reachable only with the large window
  {
    const Bytes unit = RandomBytes(40000, 11);
    for (int i = 0; i < 8; ++i) pattern.insert(pattern.end(), unit.begin(), unit.end());
  }
  Bytes far = RandomBytes(200000, 12);  // repeats after 200 KB: only modes 3 and 4 see it
  far.insert(far.end(), far.begin(), far.begin() + 50000);
  Bytes mixed = ImageLike(300, 5);
  const Bytes rnd = RandomBytes(20000, 6);
  mixed.insert(mixed.end(), rnd.begin(), rnd.end());
  const Bytes txt = Text(30000);
  mixed.insert(mixed.end(), txt.begin(), txt.end());
  const Data data[] = {
      {"empty", {}},
      {"one byte", {0x42}},
      {"three bytes", {1, 2, 3}},
      {"four bytes", {1, 1, 1, 1}},
      {"random 100 KB", RandomBytes(100000, 1)},
      {"text", Text(100000)},
      {"zeros 3 MB (long matches split)", Bytes(3 * 1024 * 1024, 0)},
      {"image-like records", ImageLike(2000, 2)},
      {"block of 8192", RandomBytes(8192, 3)},
      {"block of 8193", Bytes(8193, 'a')},
      {"repeated 40 KB unit", pattern},
      {"repeat 200 KB back", far},
      {"mixed", mixed},
      {"runs of every length", Runs()},
  };
  for (const Data& d : data) {
    for (int mode = 0; mode <= kStrongestMode; ++mode) {
      SCOPED_TRACE(std::string(d.what) + ", mode " + std::to_string(mode));
      const Bytes c = Compress(d.bytes, mode);
      EXPECT_LE(c.size(), DeflateBound(d.bytes.size()));
      const Decoded back = Decode(c);
      ASSERT_TRUE(back.ok) << back.error;
      EXPECT_TRUE(back.data == d.bytes);
    }
  }
}

TEST(DeflateRoundTrip, ContainerKindFollowsInputAndMode) {
  auto l = [](const Bytes& c) { return std::int32_t(c[0] | c[1] << 8 | c[2] << 16 | c[3] << 24); };
  EXPECT_EQ(Compress({}, 4), Bytes(4, 0));
  EXPECT_EQ(Compress({7, 8, 9}, 4), (Bytes{0xFD, 0xFF, 0xFF, 0xFF, 7, 8, 9}));  // shorter than 4: stored
  const Bytes img = ImageLike(500, 9);
  EXPECT_EQ(l(Compress(img, 0)), -static_cast<std::int32_t>(img.size()));
  const Bytes rnd = RandomBytes(50000, 4);
  EXPECT_EQ(l(Compress(rnd, 4)), -50000) << "incompressible data is stored";
  for (int mode = 1; mode <= kStrongestMode; ++mode)
    EXPECT_EQ(l(Compress(img, mode)), static_cast<std::int32_t>(img.size()));
  // Harder modes never do worse on records, and the hardest shrinks them well.
  std::size_t prev = SIZE_MAX;
  for (int mode = 1; mode <= kStrongestMode; ++mode) {
    const std::size_t s = Compress(img, mode).size();
    EXPECT_LE(s, prev) << mode;
    prev = s;
  }
  EXPECT_LT(prev * 5, img.size());
}

TEST(DeflateStrongest, ReachesTheLargestDistanceWithOneLongMatch) {
  // Random bytes repeated at exactly the largest distance: the copy is worth one symbol 286
  // with a three-byte length, so the container is the random part and a few bytes more. One
  // byte further back the copy is out of reach and the whole input is incompressible.
  constexpr std::size_t kFar = 262144;
  for (const std::size_t gap : {std::size_t{0}, std::size_t{1}}) {
    SCOPED_TRACE(gap);
    Bytes in = RandomBytes(kFar + gap, 21);
    in.insert(in.end(), in.begin(), in.begin() + static_cast<long>(kFar));
    const Bytes c = Compress(in, kStrongestMode);
    const Decoded back = Decode(c);
    ASSERT_TRUE(back.ok) << back.error;
    EXPECT_TRUE(back.data == in);
    if (gap == 0) EXPECT_LT(c.size(), kFar + 200);
    else EXPECT_GT(c.size(), 2 * kFar);
  }
}

TEST(DeflateStrongest, TailNearOneBlockOfSymbols) {
  // Text, then bytes from a 16-letter alphabet, about one block of symbols long. Priced with the
  // text's code (dear literals) the tail parses into short matches and fits one block; priced
  // again with its own code it turns into literals, needs more than 8192 symbols, and the
  // encoder must go on with another block instead of ending the stream.
  const Bytes head = Text(30000);
  for (std::size_t tail = 7000; tail <= 14000; tail += 250) {
    SCOPED_TRACE(tail);
    Bytes in = head;
    std::mt19937 rng(static_cast<std::uint32_t>(tail));
    for (std::size_t i = 0; i < tail; ++i) in.push_back(static_cast<std::uint8_t>('a' + rng() % 16));
    const Decoded back = Decode(Compress(in, kStrongestMode));
    ASSERT_TRUE(back.ok) << back.error;
    EXPECT_TRUE(back.data == in);
  }
}

TEST(DeflateStrongest, BlockSpanningMoreThanTheLookAhead) {
  // Copies of 200 bytes from up to 60 KB back, each followed by one random byte: 8192 symbols
  // cover some 800 KB, more positions than the parser looks at once, so a block is parsed in
  // several stretches.
  std::mt19937 rng(200);
  Bytes in = RandomBytes(65536, 9);
  while (in.size() < (1u << 20)) {
    const std::size_t d = 1000 + rng() % 60000;
    for (int i = 0; i < 200; ++i) in.push_back(in[in.size() - d]);
    in.push_back(static_cast<std::uint8_t>(rng()));
  }
  const Bytes c = Compress(in, kStrongestMode);
  const Decoded back = Decode(c);
  ASSERT_TRUE(back.ok) << back.error;
  EXPECT_TRUE(back.data == in);
  EXPECT_LT(c.size(), 65536 + in.size() / 50);
}

TEST(DeflateStrongest, SmallerThanTheLazyParseOnRecordsAndText) {
  // The cheapest parse never loses to mode 4's one-step lazy matching by more than block
  // noise, and on records it wins clearly.
  const Bytes img = ImageLike(3000, 31);
  EXPECT_LT(Compress(img, kStrongestMode).size() * 100, Compress(img, 4).size() * 97);
  const Bytes txt = Text(200000);
  EXPECT_LE(Compress(txt, kStrongestMode).size(), Compress(txt, 4).size());
  const Bytes runs = Runs();
  EXPECT_LE(Compress(runs, kStrongestMode).size(), Compress(runs, 4).size());
}

TEST(DeflateStrongest, SecondThreadWritesTheSameBytes) {
  // Above 256 KiB the tree walks run ahead in a thread of their own, a stretch of 32 KiB
  // positions at a time. Their results must reach the parse complete and in order: records
  // (many short nodes), a long run (forced nodes that skip whole stretches), random bytes where
  // the encoder gives up, stores, and has to stop the walker's thread, and a block repeated
  // whole, one forced match over several stretches whose positions still enter the trees.
  Bytes mixed = ImageLike(3000, 41);
  mixed.insert(mixed.end(), 300000, 0x20);
  const Bytes tail = Text(120000);
  mixed.insert(mixed.end(), tail.begin(), tail.end());
  Bytes repeated = RandomBytes(100000, 12);
  for (int copy = 0; copy < 2; ++copy) repeated.insert(repeated.end(), repeated.begin(), repeated.begin() + 100000);
  repeated.insert(repeated.end(), tail.begin(), tail.end());
  repeated.insert(repeated.end(), repeated.begin() + 150000, repeated.begin() + 250000);
  for (const Bytes& in : {mixed, RandomBytes(700000, 8), repeated}) {
    SCOPED_TRACE(in.size());
    ASSERT_GE(in.size(), 256u << 10);
    Bytes threaded, inline_;
    std::string err;
    ASSERT_TRUE(DeflateStrongest(in.data(), in.size(), true, threaded, &err)) << err;
    ASSERT_TRUE(DeflateStrongest(in.data(), in.size(), false, inline_, &err)) << err;
    EXPECT_TRUE(threaded == inline_);
    EXPECT_TRUE(threaded == Compress(in, kStrongestMode));
    const Decoded back = Decode(threaded);
    ASSERT_TRUE(back.ok) << back.error;
    EXPECT_TRUE(back.data == in);
  }
}

TEST(DeflateRoundTrip, BadArgumentsAndFixedDestination) {
  Bytes out;
  std::string err;
  const Bytes in = Text(1000);
  EXPECT_FALSE(Deflate(in.data(), in.size(), kStrongestMode + 1, out, &err));
  EXPECT_EQ(err, kDeflateErrorBadMode);
  EXPECT_FALSE(Deflate(in.data(), in.size(), -1, out, &err));

  const Bytes c = Compress(in, 4);
  Bytes dst(c.size(), 0);
  std::size_t written = 0;
  ASSERT_TRUE(DeflateInto(in.data(), in.size(), 4, dst.data(), dst.size(), &written, &err)) << err;
  EXPECT_EQ(written, c.size());
  EXPECT_EQ(dst, c);
  Bytes small(c.size() - 1, 0x55);
  EXPECT_FALSE(DeflateInto(in.data(), in.size(), 4, small.data(), small.size(), &written, &err));
  EXPECT_EQ(err, kDeflateErrorNoRoom);
  EXPECT_EQ(small, Bytes(c.size() - 1, 0x55));
}

TEST(InflateThreads, ConcurrentCallsDoNotInterfere) {
  std::vector<Bytes> plain, packed;
  for (int t = 0; t < 4; ++t) {
    Bytes p = ImageLike(400, static_cast<std::uint32_t>(20 + t));
    const Bytes r = RandomBytes(5000, static_cast<std::uint32_t>(t));
    p.insert(p.end(), r.begin(), r.end());
    packed.push_back(Compress(p, 1 + t));
    plain.push_back(std::move(p));
  }
  std::vector<int> good(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 20; ++i) {
        Bytes out;
        Bytes re;
        if (Inflate(packed[t].data(), packed[t].size(), out, kMaxImageSize, nullptr) && out == plain[t] &&
            Deflate(plain[t].data(), plain[t].size(), 1 + t, re, nullptr) && re == packed[t])
          ++good[t];
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(good, std::vector<int>(4, 20));
}

}  // namespace
}  // namespace t32
