// Block compression of configuration images (see compress.h for the container).
//
// Bit stream: least significant bit first; Huffman codes are canonical and sent first bit
// first (stored bit-reversed), as in DEFLATE. Unlike DEFLATE there is no end-of-block symbol:
// a static or dynamic block carries exactly 8192 symbols (the last one fewer, decoding stops as
// soon as L bytes exist), a stored block 8192 + k bytes. Symbol 256 is a match of length 3 and
// symbol 286 a long match whose length follows in 1 to 3 bytes.
#include "project/compress.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <condition_variable>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace t32 {
namespace {

constexpr int kBlockSymbols = 8192;   // symbols in a static or dynamic block
constexpr int kStoredBase = 8192;     // bytes in a stored block: kStoredBase + k, k < 256
constexpr int kLitLenSymbols = 287;   // 0-255 literals, 256-285 lengths, 286 long match
constexpr int kDistCodes = 64;
constexpr int kCodeLenSymbols = 20;
constexpr int kMaxCodeLen = 14;       // code lengths 0-14 are all a dynamic header can say
constexpr int kMaxCodeLenCodeLen = 7; // 3-bit lengths of the code-length code
constexpr int kMinMatch = 3;
constexpr int kLongMatchBase = 145;
constexpr std::uint32_t kMaxMatch = kLongMatchBase + 0x1FFFFF;  // 286 with three length bytes
constexpr std::uint32_t kMaxDistance = 262144;

constexpr std::uint8_t kCodeLenOrder[kCodeLenSymbols] = {9,  10, 8, 15, 7,  11, 0,  6, 16, 5,
                                                         12, 4,  17, 13, 3, 18, 19, 2, 1,  14};

// Length symbols 270-285: extra bits and base length.
constexpr std::uint8_t kLenExtra[16] = {1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 4, 6};
constexpr std::uint16_t kLenBase[16] = {17, 19, 21, 23, 25, 27, 29, 31,
                                        33, 37, 41, 45, 49, 57, 65, 81};

struct DistTable {
  std::uint32_t base[kDistCodes];
  std::uint8_t extra[kDistCodes];
};

constexpr DistTable MakeDistTable() {
  DistTable t{};
  for (int c = 0; c < 8; ++c) {
    t.base[c] = static_cast<std::uint32_t>(c + 1);
    t.extra[c] = 0;
  }
  // Four codes per doubling from 9 to 65536, then two per doubling up to 262144.
  std::uint32_t base = 9;
  for (int c = 8; c < 60; ++c) {
    const int extra = (c - 8) / 4 + 1;
    t.base[c] = base;
    t.extra[c] = static_cast<std::uint8_t>(extra);
    base += 1u << extra;
  }
  for (int c = 60; c < 64; ++c) {
    const int extra = c < 62 ? 15 : 16;
    t.base[c] = base;
    t.extra[c] = static_cast<std::uint8_t>(extra);
    base += 1u << extra;
  }
  return t;
}
constexpr DistTable kDist = MakeDistTable();
static_assert(kDist.base[63] + (1u << kDist.extra[63]) - 1 == kMaxDistance);
static_assert(kDist.base[48] == 8193 && kDist.base[60] == 65537 && kDist.base[62] == 131073);

// Code lengths of the static literal/length code.
constexpr std::array<std::uint8_t, kLitLenSymbols> MakeStaticLengths() {
  std::array<std::uint8_t, kLitLenSymbols> l{};
  for (int s = 0; s < kLitLenSymbols; ++s) {
    if (s == 0) l[s] = 7;
    else if (s <= 142) l[s] = 8;
    else if (s <= 254) l[s] = 9;
    else if (s == 255) l[s] = 8;
    else if (s <= 279) l[s] = 7;
    else l[s] = 8;
  }
  return l;
}
constexpr std::array<std::uint8_t, kLitLenSymbols> kStaticLengths = MakeStaticLengths();

constexpr std::uint32_t Reverse(std::uint32_t code, int len) {
  std::uint32_t r = 0;
  for (int i = 0; i < len; ++i) {
    r = (r << 1) | (code & 1);
    code >>= 1;
  }
  return r;
}

// Canonical codes (already bit-reversed for the LSB-first stream) from code lengths.
void CanonicalCodes(const std::uint8_t* lens, int n, std::uint16_t* codes) {
  int count[kMaxCodeLen + 2] = {};
  for (int s = 0; s < n; ++s) ++count[lens[s]];
  count[0] = 0;
  std::uint32_t next[kMaxCodeLen + 2] = {};
  std::uint32_t code = 0;
  for (int len = 1; len <= kMaxCodeLen + 1; ++len) {
    code = (code + static_cast<std::uint32_t>(count[len - 1])) << 1;
    next[len] = code;
  }
  for (int s = 0; s < n; ++s) {
    const int len = lens[s];
    codes[s] = len ? static_cast<std::uint16_t>(Reverse(next[len]++, len)) : 0;
  }
}

// ---------------------------------------------------------------------------------------------
// Decoder

inline std::uint64_t LoadLe64(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
  return v;
}

// LSB-first bit reader. `count` may go negative when a code ran past the end of the input
// (the missing bits read as zero); every refill and the end of decoding check for that.
struct BitReader {
  const std::uint8_t* p;
  const std::uint8_t* end;
  std::uint64_t buf = 0;
  int count = 0;

  // Afterwards at least 56 bits are buffered unless the input is nearly exhausted.
  bool Refill() {
    if (count < 0) return false;
    if (end - p >= 8) {
      buf |= LoadLe64(p) << count;
      p += (63 - count) >> 3;
      count |= 56;
    } else {
      while (count <= 56 && p < end) {
        buf |= static_cast<std::uint64_t>(*p++) << count;
        count += 8;
      }
    }
    return true;
  }
  std::uint32_t Peek(int n) const { return static_cast<std::uint32_t>(buf & ((1ull << n) - 1)); }
  void Drop(int n) {
    buf >>= n;
    count -= n;
  }
  std::uint32_t Get(int n) {
    const std::uint32_t v = Peek(n);
    Drop(n);
    return v;
  }
};

// Canonical Huffman decoder: codes up to kBits long are resolved by one table look-up, longer
// ones by walking the canonical code length by length.
template <int kBits, int kSyms>
struct HuffDecoder {
  static constexpr std::uint16_t kLong = 0xF000;  // table entry: a code longer than kBits
  std::uint16_t fast[1 << kBits];                 // (length << 12) | symbol; 0 = no code
  std::uint16_t count[kMaxCodeLen + 1];
  std::uint16_t sorted[kSyms];

  // False for over-subscribed lengths (two codes for one bit pattern). Incomplete codes are
  // accepted; their unused patterns are rejected when met.
  bool Build(const std::uint8_t* lens, int n) {
    std::memset(count, 0, sizeof count);
    for (int s = 0; s < n; ++s) ++count[lens[s]];
    count[0] = 0;
    int left = 1;
    for (int len = 1; len <= kMaxCodeLen; ++len) {
      left = (left << 1) - count[len];
      if (left < 0) return false;
    }
    std::uint16_t offs[kMaxCodeLen + 2];
    offs[1] = 0;
    for (int len = 1; len <= kMaxCodeLen; ++len)
      offs[len + 1] = static_cast<std::uint16_t>(offs[len] + count[len]);
    std::uint32_t next[kMaxCodeLen + 1];
    std::uint32_t code = 0;
    next[0] = 0;
    for (int len = 1; len <= kMaxCodeLen; ++len) {
      code = (code + count[len - 1]) << 1;
      next[len] = code;
    }
    std::memset(fast, 0, sizeof fast);
    for (int s = 0; s < n; ++s) {
      const int len = lens[s];
      if (!len) continue;
      sorted[offs[len]++] = static_cast<std::uint16_t>(s);
      const std::uint32_t rev = Reverse(next[len]++, len);
      if (len <= kBits) {
        const std::uint16_t e = static_cast<std::uint16_t>((len << 12) | s);
        for (std::uint32_t i = rev; i < (1u << kBits); i += 1u << len) fast[i] = e;
      } else {
        fast[rev & ((1u << kBits) - 1)] = kLong;
      }
    }
    return true;
  }

  // The next symbol, or -1 for a bit pattern that is no code.
  int Decode(BitReader& br) const {
    const std::uint16_t e = fast[br.Peek(kBits)];
    if (e != kLong) {
      if (e == 0) return -1;
      br.Drop(e >> 12);
      return e & 0xFFF;
    }
    std::uint64_t bits = br.buf;
    int code = 0, first = 0, index = 0;
    for (int len = 1; len <= kMaxCodeLen; ++len) {
      code |= static_cast<int>(bits & 1);
      bits >>= 1;
      const int c = count[len];
      if (code - first < c) {
        br.Drop(len);
        return sorted[index + code - first];
      }
      index += c;
      first = (first + c) << 1;
      code <<= 1;
    }
    return -1;
  }
};

using LitLenDecoder = HuffDecoder<10, kLitLenSymbols>;
using DistDecoder = HuffDecoder<9, kDistCodes>;
using CodeLenDecoder = HuffDecoder<7, kCodeLenSymbols>;

const LitLenDecoder& StaticLitLenDecoder() {
  static const LitLenDecoder d = [] {
    LitLenDecoder t{};
    t.Build(kStaticLengths.data(), kLitLenSymbols);
    return t;
  }();
  return d;
}

enum class Status { Ok, PastEnd, BadCode, BadTable, BadDistance, TooLarge };

const char* StatusText(Status s) {
  switch (s) {
    case Status::Ok: return "";
    case Status::PastEnd: return kInflateErrorPastEnd;
    case Status::BadCode: return kInflateErrorBadCode;
    case Status::BadTable: return kInflateErrorBadTable;
    case Status::BadDistance: return kInflateErrorBadDistance;
    case Status::TooLarge: return kInflateErrorTooLarge;
  }
  return "";
}

// Decodes one bit stream of `total` bytes. The destination is either a fixed buffer of at
// least `total` bytes or a vector grown as output appears.
class Decoder {
 public:
  Decoder(const std::uint8_t* src, std::size_t srcLen, std::size_t total)
      : total_(total) {
    br_.p = src;
    br_.end = src + srcLen;
  }

  void SetFixed(std::uint8_t* dst) {
    dst_ = dst;
    cap_ = total_;
  }
  void SetGrowable(std::vector<std::uint8_t>* v, std::size_t initial) {
    vec_ = v;
    v->resize(std::min(initial, total_));
    dst_ = v->data();
    cap_ = v->size();
  }

  Status Run() {
    const Status s = RunBlocks();
    // Bits past the end read as zeros, which may look like a bad code or distance first; the
    // real fault is then the missing input.
    if (s != Status::Ok && br_.count < 0) return Status::PastEnd;
    return s;
  }

 private:
  Status RunBlocks() {
    std::size_t pos = 0;
    while (pos < total_) {
      if (!br_.Refill()) return Status::PastEnd;
      if (br_.Get(1)) {
        const Status s = ReadDynamicTables();
        if (s != Status::Ok) return s;
        const Status r = DecodeBlock<false>(lit_, pos);
        if (r != Status::Ok) return r;
      } else if (br_.Get(1)) {
        const Status r = DecodeBlock<true>(StaticLitLenDecoder(), pos);
        if (r != Status::Ok) return r;
      } else {
        const Status r = CopyStored(pos);
        if (r != Status::Ok) return r;
      }
    }
    // The last code must have been complete within the input.
    return br_.count < 0 ? Status::PastEnd : Status::Ok;
  }

  // Makes dst_[0, need) writable; need never exceeds total_.
  bool Room(std::size_t need) {
    if (need <= cap_) return true;
    if (!vec_) return false;
    const std::size_t grown = std::min(total_, std::max(need, cap_ * 2));
    vec_->resize(grown);
    dst_ = vec_->data();
    cap_ = grown;
    return true;
  }

  Status ReadCodeLengths(const CodeLenDecoder& cl, std::uint8_t* lens, int n) {
    int prev = 7;
    int i = 0;
    while (i < n) {
      if (!br_.Refill()) return Status::PastEnd;
      const int sym = cl.Decode(br_);
      if (sym < 0) return Status::BadCode;
      int repeat;
      if (sym <= 14) {
        prev = sym;
        repeat = 1;
      } else if (sym == 15) {
        repeat = 2;
      } else if (sym == 16) {
        repeat = 3 + static_cast<int>(br_.Get(1));
      } else if (sym == 17) {
        repeat = 5 + static_cast<int>(br_.Get(2));
      } else if (sym == 18) {
        repeat = 9 + static_cast<int>(br_.Get(3));
      } else {
        repeat = 17 + static_cast<int>(br_.Get(7));
      }
      // A repeat running past the last symbol of this list is cut off there.
      repeat = std::min(repeat, n - i);
      std::memset(lens + i, prev, static_cast<std::size_t>(repeat));
      i += repeat;
    }
    return Status::Ok;
  }

  Status ReadDynamicTables() {
    std::uint8_t clLens[kCodeLenSymbols] = {};
    if (!br_.Refill()) return Status::PastEnd;
    const int ncl = 5 + static_cast<int>(br_.Get(4));
    for (int i = 0; i < ncl; ++i) {
      if (i % 16 == 0 && !br_.Refill()) return Status::PastEnd;
      clLens[kCodeLenOrder[i]] = static_cast<std::uint8_t>(br_.Get(3));
    }
    if (!cl_.Build(clLens, kCodeLenSymbols)) return Status::BadTable;

    std::uint8_t lens[kLitLenSymbols] = {};
    if (!br_.Refill()) return Status::PastEnd;
    const int nlit = 256 + static_cast<int>(br_.Get(5));
    Status s = ReadCodeLengths(cl_, lens, nlit);
    if (s != Status::Ok) return s;
    if (!lit_.Build(lens, kLitLenSymbols)) return Status::BadTable;

    std::uint8_t dlens[kDistCodes] = {};
    if (!br_.Refill()) return Status::PastEnd;
    const int ndist = 1 + static_cast<int>(br_.Get(6));
    s = ReadCodeLengths(cl_, dlens, ndist);
    if (s != Status::Ok) return s;
    if (!dist_.Build(dlens, kDistCodes)) return Status::BadTable;
    return Status::Ok;
  }

  Status CopyStored(std::size_t& pos) {
    if (!br_.Refill()) return Status::PastEnd;
    const std::size_t k = br_.Get(8);
    const std::size_t n = std::min<std::size_t>(kStoredBase + k, total_ - pos);
    if (!Room(pos + n)) return Status::TooLarge;
    std::size_t done = 0;
    while (done < n) {
      if (!br_.Refill()) return Status::PastEnd;
      std::size_t avail = static_cast<std::size_t>(br_.count) / 8;
      if (avail == 0) return Status::PastEnd;  // the input ends inside this block
      avail = std::min(avail, n - done);
      for (std::size_t i = 0; i < avail; ++i) dst_[pos + done + i] = static_cast<std::uint8_t>(br_.Get(8));
      done += avail;
    }
    pos += n;
    return Status::Ok;
  }

  template <bool kStatic>
  Status DecodeBlock(const LitLenDecoder& lit, std::size_t& pos) {
    const std::size_t total = total_;
    for (int symbols = 0; symbols < kBlockSymbols && pos < total; ++symbols) {
      if (!br_.Refill()) return Status::PastEnd;
      const int sym = lit.Decode(br_);
      if (sym < 0) return Status::BadCode;
      if (sym < 256) {
        if (pos >= cap_ && !Room(pos + 1)) return Status::TooLarge;
        dst_[pos++] = static_cast<std::uint8_t>(sym);
        continue;
      }
      std::size_t len;
      if (sym < 270) {
        len = static_cast<std::size_t>(sym - 253);
      } else if (sym < 286) {
        len = kLenBase[sym - 270] + br_.Get(kLenExtra[sym - 270]);
      } else {
        const std::uint32_t v = br_.Get(8);
        std::uint32_t value;
        if (v & 0x80) {
          value = v & 0x7F;
        } else {
          const std::uint32_t w = br_.Get(8);
          value = (v & 0x7F) | ((w << 7) & 0x3FFF);
          if (!(w & 0x80)) value += br_.Get(7) << 14;
        }
        len = kLongMatchBase + value;
      }
      if (!br_.Refill()) return Status::PastEnd;
      int dcode;
      if constexpr (kStatic) {
        dcode = static_cast<int>(br_.Get(6));
      } else {
        dcode = dist_.Decode(br_);
        if (dcode < 0) return Status::BadCode;
      }
      const std::size_t dist = kDist.base[dcode] + br_.Get(kDist.extra[dcode]);
      if (dist > pos) return Status::BadDistance;
      // A match reaching past the announced length ends the data there.
      len = std::min(len, total - pos);
      if (!Room(pos + len)) return Status::TooLarge;
      CopyMatch(pos, dist, len);
      pos += len;
    }
    return Status::Ok;
  }

  void CopyMatch(std::size_t pos, std::size_t dist, std::size_t len) {
    std::uint8_t* out = dst_ + pos;
    const std::uint8_t* from = out - dist;
    if (dist >= 8 && pos + len + 8 <= cap_) {
      // 8-byte steps are safe: each step reads bytes at least 8 behind what it writes.
      std::uint8_t* const stop = out + len;
      do {
        std::memcpy(out, from, 8);
        out += 8;
        from += 8;
      } while (out < stop);
    } else if (dist == 1) {
      std::memset(out, *from, len);
    } else {
      for (std::size_t i = 0; i < len; ++i) out[i] = from[i];
    }
  }

  BitReader br_{};
  std::size_t total_;
  std::uint8_t* dst_ = nullptr;
  std::size_t cap_ = 0;
  std::vector<std::uint8_t>* vec_ = nullptr;
  CodeLenDecoder cl_;
  LitLenDecoder lit_;
  DistDecoder dist_;
};


// ---------------------------------------------------------------------------------------------
// Encoder

struct ModeParams {
  std::uint32_t window;  // largest distance searched
  int hashBits;          // hash table of 2^hashBits heads
  int chain;             // candidates followed per search
  bool lazy;             // try one position later before taking a match
  std::uint32_t nice;    // a match this long ends the search
  std::uint32_t good;    // with a previous match this long, search a quarter of the chain
};

constexpr ModeParams kModes[5] = {
    {0, 0, 0, false, 0, 0},
    {4096, 13, 2, false, 32, 32},
    {32768, 16, 8, true, 128, 32},
    {262144, 18, 32, true, 258, 64},
    {262144, 18, 64, true, 1024, 128},
};

inline std::uint32_t Load32(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

// Length symbols 17-144 by length.
struct LenSymTable {
  std::uint8_t index[145];  // 270-symbol offset for lengths 17..144
};
constexpr LenSymTable MakeLenSymTable() {
  LenSymTable t{};
  for (int i = 0; i < 16; ++i)
    for (int len = kLenBase[i]; len < kLenBase[i] + (1 << kLenExtra[i]) && len <= 144; ++len)
      t.index[len] = static_cast<std::uint8_t>(i);
  return t;
}
constexpr LenSymTable kLenSym = MakeLenSymTable();

inline int DistCode(std::uint32_t d) {
  if (d <= 8) return static_cast<int>(d - 1);
  const std::uint32_t v = d - 1;
  const int b = std::bit_width(v) - 1;  // 3..17
  if (b < 16) return 8 + (b - 3) * 4 + static_cast<int>((v >> (b - 2)) & 3);
  return (b == 16 ? 60 : 62) + static_cast<int>((v >> (b - 1)) & 1);
}

// One coded length: its symbol, the extra bits and their count.
struct LenCode {
  int sym;
  std::uint32_t extra;
  int extraBits;
};
inline LenCode EncodeLength(std::uint32_t len) {
  if (len <= 16) return {static_cast<int>(253 + len), 0, 0};
  if (len < kLongMatchBase) {
    const int i = kLenSym.index[len];
    return {270 + i, len - kLenBase[i], kLenExtra[i]};
  }
  // Long match: bit 7 of the first byte set ends the value; bit 7 of the second byte clear
  // announces a third piece of 7 bits.
  const std::uint32_t v = len - kLongMatchBase;
  if (v < 0x80) return {286, v | 0x80, 8};
  if (v < 0x4000) return {286, (v & 0x7F) | (((v >> 7) | 0x80) << 8), 16};
  return {286, (v & 0x7F) | (((v >> 7) & 0x7F) << 8) | ((v >> 14) << 16), 23};
}

// Minimum-redundancy code lengths for keys sorted ascending (in-place method of Moffat and
// Katajainen): on return a[i] is the code length of the i-th key. Needs n >= 2.
void MinimumRedundancy(std::uint32_t* a, int n) {
  a[0] += a[1];
  int root = 0, leaf = 2;
  for (int next = 1; next < n - 1; ++next) {
    if (leaf >= n || a[root] < a[leaf]) {
      a[next] = a[root];
      a[root++] = static_cast<std::uint32_t>(next);
    } else {
      a[next] = a[leaf++];
    }
    if (leaf >= n || (root < next && a[root] < a[leaf])) {
      a[next] += a[root];
      a[root++] = static_cast<std::uint32_t>(next);
    } else {
      a[next] += a[leaf++];
    }
  }
  a[n - 2] = 0;
  for (int next = n - 3; next >= 0; --next) a[next] = a[a[next]] + 1;
  int avail = 1, used = 0, depth = 0;
  root = n - 2;
  int next = n - 1;
  while (avail > 0) {
    while (root >= 0 && static_cast<int>(a[root]) == depth) {
      ++used;
      --root;
    }
    while (avail > used) {
      a[next--] = static_cast<std::uint32_t>(depth);
      --avail;
    }
    avail = 2 * used;
    ++depth;
    used = 0;
  }
}

// Length-limited Huffman code lengths. Always yields a complete code of at least two symbols
// (a lone symbol gets a partner), so the decoder never meets an unused bit pattern.
void BuildLengths(const std::uint32_t* freq, int n, int maxLen, std::uint8_t* lens) {
  struct Sym {
    std::uint32_t key;
    std::uint16_t sym;
  };
  Sym syms[kLitLenSymbols];
  int m = 0;
  for (int s = 0; s < n; ++s)
    if (freq[s]) syms[m++] = {freq[s], static_cast<std::uint16_t>(s)};
  for (int s = 0; m < 2 && s < n; ++s)
    if (!freq[s]) syms[m++] = {1, static_cast<std::uint16_t>(s)};
  std::memset(lens, 0, static_cast<std::size_t>(n));
  std::sort(syms, syms + m, [](const Sym& x, const Sym& y) {
    return x.key != y.key ? x.key < y.key : x.sym < y.sym;
  });
  std::uint32_t depth[kLitLenSymbols] = {};
  for (int i = 0; i < m; ++i) depth[i] = syms[i].key;
  MinimumRedundancy(depth, m);
  int num[kMaxCodeLen + 1] = {};
  for (int i = 0; i < m; ++i) ++num[std::min<std::uint32_t>(depth[i], static_cast<std::uint32_t>(maxLen))];
  // Pull over-long codes up to maxLen, then restore the Kraft sum by lengthening codes.
  std::uint32_t total = 0;
  for (int len = maxLen; len > 0; --len) total += static_cast<std::uint32_t>(num[len]) << (maxLen - len);
  while (total != (1u << maxLen)) {
    --num[maxLen];
    for (int len = maxLen - 1; len > 0; --len) {
      if (num[len]) {
        --num[len];
        num[len + 1] += 2;
        break;
      }
    }
    --total;
  }
  int j = m;
  for (int len = 1; len <= maxLen; ++len)
    for (int c = num[len]; c > 0; --c) lens[syms[--j].sym] = static_cast<std::uint8_t>(len);
}

class BitWriter {
 public:
  // Writes from out[start] on; out's earlier bytes are kept.
  BitWriter(std::vector<std::uint8_t>& out, std::size_t start) : out_(out), len_(start) {}
  // Makes room for `bytes` more bytes.
  void Reserve(std::size_t bytes) {
    if (len_ + bytes + 8 > out_.size()) out_.resize(std::max(out_.size() * 2, len_ + bytes + 8));
  }
  void Put(std::uint32_t bits, int count) {
    acc_ |= static_cast<std::uint64_t>(bits) << n_;
    n_ += count;
    if (n_ >= 32) {
      const std::uint32_t w = static_cast<std::uint32_t>(acc_);
      out_[len_] = static_cast<std::uint8_t>(w);
      out_[len_ + 1] = static_cast<std::uint8_t>(w >> 8);
      out_[len_ + 2] = static_cast<std::uint8_t>(w >> 16);
      out_[len_ + 3] = static_cast<std::uint8_t>(w >> 24);
      len_ += 4;
      acc_ >>= 32;
      n_ -= 32;
    }
  }
  void Finish() {
    while (n_ > 0) {
      out_[len_++] = static_cast<std::uint8_t>(acc_);
      acc_ >>= 8;
      n_ -= 8;
    }
    out_.resize(len_);
  }
  std::size_t Bytes() const { return len_ + static_cast<std::size_t>(n_ + 7) / 8; }

 private:
  std::vector<std::uint8_t>& out_;
  std::size_t len_;
  std::uint64_t acc_ = 0;
  int n_ = 0;
};

// Number of equal bytes at a and b, at most max.
inline std::uint32_t MatchLength(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t max) {
  std::uint32_t len = 0;
  while (len + 8 <= max) {
    const std::uint64_t x = LoadLe64(a + len) ^ LoadLe64(b + len);
    if (x) return len + static_cast<std::uint32_t>(std::countr_zero(x) >> 3);
    len += 8;
  }
  while (len < max && a[len] == b[len]) ++len;
  return len;
}

// Collects the symbols of one block and writes the block in the cheapest of the three kinds.
// A static or dynamic block holds exactly kBlockSymbols symbols (the last one fewer).
class BlockCoder {
 protected:
  BlockCoder(const std::uint8_t* src, std::size_t n) : src_(src), n_(n) { tokens_.reserve(kBlockSymbols); }

  // Writes the bit stream of the blocks parse() collects into out from out[start] on; false as
  // soon as out would grow past `giveUpAt` bytes.
  template <class ParseFn>
  bool Write(std::vector<std::uint8_t>& out, std::size_t start, std::size_t giveUpAt, ParseFn parse) {
    BitWriter bw(out, start);
    bw_ = &bw;
    giveUpAt_ = giveUpAt;
    if (!parse()) return false;
    bw.Finish();
    return bw.Bytes() <= giveUpAt;
  }

  struct Token {
    std::uint32_t value;  // literal byte, or match length
    std::uint32_t dist;   // 0 for a literal
  };

  // Code lengths of one list run-length coded with code-length symbols 0-19.
  struct ClItem {
    std::uint8_t sym;
    std::uint8_t extra;
  };
  static void RunLengths(const std::uint8_t* lens, int n, std::vector<ClItem>& items) {
    int prev = 7;
    int i = 0;
    while (i < n) {
      const int v = lens[i];
      int run = 1;
      while (i + run < n && lens[i + run] == v) ++run;
      i += run;
      if (v != prev) {
        items.push_back({static_cast<std::uint8_t>(v), 0});
        prev = v;
        --run;
      }
      while (run > 0) {
        int r;
        if (run >= 17) {
          r = std::min(run, 144);
          items.push_back({19, static_cast<std::uint8_t>(r - 17)});
        } else if (run >= 9) {
          r = std::min(run, 16);
          items.push_back({18, static_cast<std::uint8_t>(r - 9)});
        } else if (run >= 5) {
          r = std::min(run, 8);
          items.push_back({17, static_cast<std::uint8_t>(r - 5)});
        } else if (run >= 3) {
          r = std::min(run, 4);
          items.push_back({16, static_cast<std::uint8_t>(r - 3)});
        } else if (run == 2) {
          r = 2;
          items.push_back({15, 0});
        } else {
          r = 1;
          items.push_back({static_cast<std::uint8_t>(v), 0});
        }
        run -= r;
      }
    }
  }
  static constexpr int kClExtraBits[kCodeLenSymbols] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                        0, 0, 0, 0, 0, 0, 1, 2, 3, 7};

  bool FlushBlock() {
    const std::size_t start = blockStart_;
    const std::size_t bytes = blockBytes_;
    blockStart_ += bytes;
    blockBytes_ = 0;
    const bool last = blockStart_ == n_;

    std::uint32_t lf[kLitLenSymbols] = {};
    std::uint32_t df[kDistCodes] = {};
    std::uint64_t extraBits = 0;
    std::uint64_t matches = 0;
    for (const Token& t : tokens_) {
      if (!t.dist) {
        ++lf[t.value];
        continue;
      }
      const LenCode lc = EncodeLength(t.value);
      ++lf[lc.sym];
      const int dc = DistCode(t.dist);
      ++df[dc];
      extraBits += static_cast<std::uint64_t>(lc.extraBits) + kDist.extra[dc];
      ++matches;
    }

    // Dynamic code and its header.
    std::uint8_t ll[kLitLenSymbols], dl[kDistCodes], cll[kCodeLenSymbols];
    BuildLengths(lf, kLitLenSymbols, kMaxCodeLen, ll);
    BuildLengths(df, kDistCodes, kMaxCodeLen, dl);
    int nlit = kLitLenSymbols;
    while (nlit > 256 && !ll[nlit - 1]) --nlit;
    int ndist = kDistCodes;
    while (ndist > 1 && !dl[ndist - 1]) --ndist;
    std::vector<ClItem>& litItems = litItems_;
    std::vector<ClItem>& distItems = distItems_;
    litItems.clear();
    distItems.clear();
    RunLengths(ll, nlit, litItems);
    RunLengths(dl, ndist, distItems);
    std::uint32_t cf[kCodeLenSymbols] = {};
    for (const ClItem& c : litItems) ++cf[c.sym];
    for (const ClItem& c : distItems) ++cf[c.sym];
    BuildLengths(cf, kCodeLenSymbols, kMaxCodeLenCodeLen, cll);
    int ncl = kCodeLenSymbols;
    while (ncl > 5 && !cll[kCodeLenOrder[ncl - 1]]) --ncl;

    std::uint64_t dynBits = 1 + 4 + 3 * static_cast<std::uint64_t>(ncl) + 5 + 6 + extraBits;
    for (int s = 0; s < kCodeLenSymbols; ++s)
      dynBits += static_cast<std::uint64_t>(cf[s]) * (cll[s] + kClExtraBits[s]);
    std::uint64_t statBits = 2 + extraBits + 6 * matches;
    for (int s = 0; s < kLitLenSymbols; ++s) {
      dynBits += static_cast<std::uint64_t>(lf[s]) * ll[s];
      statBits += static_cast<std::uint64_t>(lf[s]) * kStaticLengths[s];
    }
    for (int c = 0; c < kDistCodes; ++c) dynBits += static_cast<std::uint64_t>(df[c]) * dl[c];
    // A stored block holds 8192 + k bytes, or whatever remains when it is the last one.
    const bool storable = bytes <= kStoredBase + 255u && (bytes >= kStoredBase || last);
    const std::uint64_t storedBits = 2 + 8 + 8 * static_cast<std::uint64_t>(bytes);

    BitWriter& bw = *bw_;
    bw.Reserve(static_cast<std::size_t>(std::min(dynBits, statBits) / 8) + 64);
    if (storable && storedBits <= std::min(dynBits, statBits)) {
      bw.Put(0, 2);
      bw.Put(bytes >= kStoredBase ? static_cast<std::uint32_t>(bytes - kStoredBase) : 0, 8);
      for (std::size_t i = 0; i < bytes; ++i) bw.Put(src_[start + i], 8);
    } else if (statBits <= dynBits) {
      bw.Put(2, 2);  // bit 0 = 0: not dynamic; bit 1 = 1: static
      std::uint16_t codes[kLitLenSymbols];
      CanonicalCodes(kStaticLengths.data(), kLitLenSymbols, codes);
      WriteSymbols(codes, kStaticLengths.data(), nullptr, nullptr);
    } else {
      bw.Put(1, 1);
      bw.Put(static_cast<std::uint32_t>(ncl - 5), 4);
      for (int i = 0; i < ncl; ++i) bw.Put(cll[kCodeLenOrder[i]], 3);
      std::uint16_t clCodes[kCodeLenSymbols];
      CanonicalCodes(cll, kCodeLenSymbols, clCodes);
      bw.Put(static_cast<std::uint32_t>(nlit - 256), 5);
      for (const ClItem& c : litItems) {
        bw.Put(clCodes[c.sym], cll[c.sym]);
        if (kClExtraBits[c.sym]) bw.Put(c.extra, kClExtraBits[c.sym]);
      }
      bw.Put(static_cast<std::uint32_t>(ndist - 1), 6);
      for (const ClItem& c : distItems) {
        bw.Put(clCodes[c.sym], cll[c.sym]);
        if (kClExtraBits[c.sym]) bw.Put(c.extra, kClExtraBits[c.sym]);
      }
      std::uint16_t codes[kLitLenSymbols], dcodes[kDistCodes];
      CanonicalCodes(ll, kLitLenSymbols, codes);
      CanonicalCodes(dl, kDistCodes, dcodes);
      WriteSymbols(codes, ll, dcodes, dl);
    }
    tokens_.clear();
    return bw.Bytes() <= giveUpAt_;
  }

  // Distance codes: Huffman (dcodes/dlens) or, when dcodes is null, 6 plain bits.
  void WriteSymbols(const std::uint16_t* codes, const std::uint8_t* lens, const std::uint16_t* dcodes,
                    const std::uint8_t* dlens) {
    BitWriter& bw = *bw_;
    for (const Token& t : tokens_) {
      if (!t.dist) {
        bw.Put(codes[t.value], lens[t.value]);
        continue;
      }
      const LenCode lc = EncodeLength(t.value);
      bw.Put(codes[lc.sym], lens[lc.sym]);
      if (lc.extraBits) bw.Put(lc.extra, lc.extraBits);
      const int dc = DistCode(t.dist);
      if (dcodes) bw.Put(dcodes[dc], dlens[dc]);
      else bw.Put(static_cast<std::uint32_t>(dc), 6);
      if (kDist.extra[dc]) bw.Put(t.dist - kDist.base[dc], kDist.extra[dc]);
    }
  }

  const std::uint8_t* src_;
  std::size_t n_;
  std::vector<Token> tokens_;
  std::vector<ClItem> litItems_, distItems_;
  std::size_t blockStart_ = 0;
  std::size_t blockBytes_ = 0;
  BitWriter* bw_ = nullptr;
  std::size_t giveUpAt_ = 0;
};

class Encoder : BlockCoder {
 public:
  Encoder(const std::uint8_t* src, std::size_t n, const ModeParams& m) : BlockCoder(src, n), m_(m) {
    // Small inputs get small tables: the results are the same, the set-up is cheaper.
    const int needBits = std::bit_width(n) + 1;
    hashBits_ = std::min(m.hashBits, std::max(10, needBits));
    std::size_t prevSize = std::min<std::size_t>(m.window, std::bit_ceil(std::max<std::size_t>(n, 1)));
    prevMask_ = static_cast<std::uint32_t>(prevSize - 1);
    head_.assign(std::size_t{1} << hashBits_, kNone);
    prev_.resize(prevSize);
  }

  // Writes the bit stream into out from out[start] on; false as soon as out would grow past
  // `giveUpAt` bytes.
  bool Run(std::vector<std::uint8_t>& out, std::size_t start, std::size_t giveUpAt) {
    return Write(out, start, giveUpAt, [this] { return Parse(); });
  }

 private:
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

  std::uint32_t Hash(std::size_t i) const {
    return (Load32(src_ + i) * 2654435761u) >> (32 - hashBits_);
  }
  void InsertUpTo(std::size_t end) {
    const std::size_t last = n_ >= 4 ? std::min(end, n_ - 3) : 0;
    for (; inserted_ < last; ++inserted_) {
      const std::uint32_t h = Hash(inserted_);
      prev_[inserted_ & prevMask_] = head_[h];
      head_[h] = static_cast<std::uint32_t>(inserted_);
    }
    if (inserted_ < end) inserted_ = end;
  }


  // Rough worth of a match in quarter literals: each byte saves a literal, each doubling of the
  // distance costs an extra bit.
  static int Gain(std::uint32_t len, std::uint32_t dist) {
    return 4 * static_cast<int>(len) - std::bit_width(dist);
  }
  static constexpr int kGainFloor = 0;
  static constexpr int kLazyMargin = 0;

  // Longest match at i longer than `atLeast` within the mode's limits; 0 when none.
  std::uint32_t FindMatch(std::size_t i, std::uint32_t atLeast, std::uint32_t* dist) const {
    if (i + 4 > n_) return 0;
    const std::uint32_t maxLen = static_cast<std::uint32_t>(std::min<std::size_t>(n_ - i, kMaxMatch));
    std::uint32_t best = std::max<std::uint32_t>(atLeast, kMinMatch - 1);
    if (best >= maxLen) return 0;
    int chain = m_.chain;
    if (atLeast >= m_.good) chain >>= 2;
    const std::uint8_t* s = src_ + i;
    const std::uint32_t s4 = Load32(s);
    const std::size_t limit = i > m_.window ? i - m_.window : 0;
    std::uint32_t cand = head_[Hash(i)];
    std::uint32_t found = 0;
    while (cand != kNone && cand >= limit && cand < i && chain-- > 0) {
      const std::uint8_t* c = src_ + cand;
      if (c[best] == s[best] && Load32(c) == s4) {
        const std::uint32_t len = MatchLength(c, s, maxLen);
        const std::uint32_t d = static_cast<std::uint32_t>(i - cand);
        if (len > best && (found || Gain(len, d) >= kGainFloor)) {
          best = len;
          found = d;
          if (len >= m_.nice || len >= maxLen) break;
        }
      }
      const std::uint32_t next = prev_[cand & prevMask_];
      if (next >= cand) break;  // the slot was reused: older candidates are out of reach
      cand = next;
    }
    if (!found) return 0;
    *dist = found;
    return best;
  }

  bool Literal(std::uint8_t b) {
    tokens_.push_back({b, 0});
    ++blockBytes_;
    return tokens_.size() < kBlockSymbols || FlushBlock();
  }
  bool Match(std::uint32_t len, std::uint32_t dist) {
    tokens_.push_back({len, dist});
    blockBytes_ += len;
    return tokens_.size() < kBlockSymbols || FlushBlock();
  }

  bool Parse() {
    std::size_t i = 0;
    std::uint32_t len = 0, dist = 0;
    bool pending = false;  // (len, dist) is the match already found at i
    while (i < n_) {
      if (!pending) {
        len = FindMatch(i, 0, &dist);
        InsertUpTo(i + 1);
      }
      pending = false;
      if (len < kMinMatch) {
        if (!Literal(src_[i])) return false;
        ++i;
        continue;
      }
      if (m_.lazy && len < m_.nice) {
        std::uint32_t dist2 = 0;
        const std::uint32_t len2 = FindMatch(i + 1, len, &dist2);
        InsertUpTo(i + 2);
        if (len2 > len && Gain(len2, dist2) > Gain(len, dist) + kLazyMargin) {
          if (!Literal(src_[i])) return false;
          ++i;
          len = len2;
          dist = dist2;
          pending = true;
          continue;
        }
      }
      if (!Match(len, dist)) return false;
      i += len;
      InsertUpTo(i);
    }
    return tokens_.empty() || FlushBlock();
  }

  ModeParams m_;
  int hashBits_;
  std::uint32_t prevMask_;
  std::vector<std::uint32_t> head_;
  std::vector<std::uint32_t> prev_;
  std::size_t inserted_ = 0;
};

// The strongest mode: a binary-tree match finder over the whole 256 KiB window and a
// minimum-cost parse. A pass prices literals, lengths and distances with the code of the block
// before (or with flat guesses for the first block), every further pass of the same block with
// the code the previous pass produced; the block is then coded with the code of its final
// parse. The first block gets three passes; a later block one, since the code of the block
// before is close to its own on configuration images (a second pass gains 0.04 % there and
// adds some 10 % to the work). Blocks cannot be cut where the cost says:
// the controller reads exactly 8192 symbols per block, so a block ends where its 8192th symbol
// does, and the parse decides where that is.
struct OptimalParams {
  int depth;           // tree nodes visited per search
  std::uint32_t nice;  // a match this long is taken at once: the positions it covers get no node
  int firstPasses;     // parse passes of the first block
  int passes;          // parse passes of every later block
};
constexpr OptimalParams kOptimal = {24, 258, 3, 1};
static_assert(kOptimal.nice < 512, "the parse packs unforced lengths into 9 bits");
// From this input size on the tree walks get a thread of their own (below, starting one costs
// more than it saves).
constexpr std::size_t kFinderThreadFrom = std::size_t{256} << 10;

struct OptMatch {
  std::uint32_t len;
  std::uint32_t dist;
};

// -------------------------------------------------------------------------------------------
// Parse nodes: the positions where a symbol may start, each with its matches. A match of at
// least `nice` bytes is taken at once: its node is forced and the positions it covers get no
// node, so the nodes after it continue at its end. A node deep inside a run of one byte offers
// its copy one byte back at full length only.

constexpr std::uint8_t kPlainNode = 0;
constexpr std::uint8_t kForcedNode = 1;
constexpr std::uint8_t kRunNode = 2;

// Nodes with their matches, as the match finder appends them and the parse consumes them.
struct NodeStore {
  std::vector<std::uint32_t> pos;
  std::vector<std::uint8_t> kind;
  std::vector<std::uint32_t> first;  // the node's first match in `matches`
  std::vector<OptMatch> matches;
};

// What a position is to the match finder. Only "tree" positions enter the search trees; the
// others take their matches from the run of one byte they stand in.
enum class PosKind : std::uint8_t {
  kShort,    // fewer than 4 bytes left: a literal
  kTree,     // searched in the tree and inserted into it
  kRunNode,  // inside a run of one byte that ends before `nice`: the copy one byte back
  kLongRun,  // deep inside a run of one byte longer than `nice`: the copy one byte back, at once
};

// Classifies positions, called for every position in increasing order (the run of one byte in
// progress is carried from one call to the next). Runs are the zero padding of name fields,
// mostly: their inner positions stay out of the trees, which would fill up with nearly equal
// strings, while the run's start and end are in it.
class PositionKinds {
 public:
  PositionKinds(const std::uint8_t* src, std::size_t n, std::uint32_t nice) : src_(src), n_(n), nice_(nice) {}

  // The kind of position p, and in *run the equal bytes from p on (at most maxLen) when p
  // continues a run of one byte, else 0.
  PosKind Classify(std::size_t p, std::uint32_t* run) {
    *run = 0;
    const std::size_t left = n_ - p;
    if (left < 4) return PosKind::kShort;
    if (p == 0 || src_[p - 1] != src_[p]) return PosKind::kTree;
    if (p >= runEnd_) {
      runStart_ = p - 1;
      std::size_t e = p + 1;
      while (e < n_ && src_[e] == src_[p]) ++e;
      runEnd_ = e;
    }
    const std::size_t count = runEnd_ - p;
    const std::size_t maxLen = std::min<std::size_t>(left, nice_);
    *run = static_cast<std::uint32_t>(std::min(count, maxLen));
    // Zeros are the padding and the high bytes of small numbers in the image's records: their
    // runs are many and short, and the trees of what follows them are the deepest of all.
    // Searching from the last two positions of such a run took an eighth of the walks' time for
    // less than 0.3 % of output (the image even shrinks a little), so of a run of zeros only the
    // first position is searched; other runs (double letters in text) keep their last two.
    const std::size_t inTree = src_[p] == 0 ? 0 : kRunInTree;
    if (count > inTree && count < maxLen) return PosKind::kRunNode;
    // A very long run enters with its first and last stretch only, which keeps runs cheap.
    if (count > kLongRunKeep && p - runStart_ > kLongRunKeep) return PosKind::kLongRun;
    return PosKind::kTree;
  }

 private:
  // Of a run of one byte other than zero, positions with at most this many equal bytes ahead
  // enter the tree.
  static constexpr std::size_t kRunInTree = 2;
  static constexpr std::size_t kLongRunKeep = 4096;
  const std::uint8_t* src_;
  std::size_t n_;
  std::uint32_t nice_;
  std::size_t runStart_ = 0, runEnd_ = 0;  // the run of one byte last met: [runStart_, runEnd_)
};

constexpr int kMaxMatchesPerNode = 12;
constexpr std::uint32_t kNoPos = 0xFFFFFFFFu;
// Positions per stretch the tree walker hands over at once.
constexpr std::size_t kWalkChunk = std::size_t{1} << 15;

// The matches of one stretch of positions: a count for every position (0 for those outside the
// trees) and the matches one after the other, each packed into 32 bits (distance << 9 | length),
// which halves what the walker's thread hands over.
struct WalkResults {
  std::vector<std::uint8_t> count;
  std::vector<std::uint32_t> matches;
  static constexpr int kLenBits = 9;
  static std::uint32_t Pack(const OptMatch& m) { return m.dist << kLenBits | m.len; }
  static OptMatch Unpack(std::uint32_t e) { return {e & ((1u << kLenBits) - 1), e >> kLenBits}; }
};
static_assert(kMaxDistance < (1u << (32 - WalkResults::kLenBits)));

// The search half of the match finder: binary trees of the positions in the window, one tree per
// 4-byte hash, each ordered by the bytes that follow its positions, with the newest position at
// the root. Searching a position and inserting it are one walk down its tree.
class TreeWalker {
 public:
  TreeWalker(const std::uint8_t* src, std::size_t n, const OptimalParams& p)
      : src_(src), n_(n), p_(p), kinds_(src, n, p.nice) {
    // Small inputs get small tables; the results are the same.
    hashBits_ = std::min(kHashBits, std::max(10, static_cast<int>(std::bit_width(n)) + 1));
    // The tree always covers the whole window, so that a node still in reach never shares its
    // slot with a newer one.
    const std::size_t treeSize = std::min<std::size_t>(kTreeSize, std::bit_ceil(std::max<std::size_t>(n, 2)));
    treeMask_ = static_cast<std::uint32_t>(treeSize - 1);
    roots_.assign(std::size_t{1} << hashBits_, kNoPos);
    tree_.resize(2 * treeSize);
  }

  int hashBits() const { return hashBits_; }

  // Searches and inserts the tree positions of stretch c; stretches come in order.
  void Walk(std::size_t c, WalkResults& r) {
    const std::size_t from = c * kWalkChunk;
    const std::size_t to = std::min(n_, from + kWalkChunk);
    r.count.assign(to - from, 0);
    r.matches.clear();
    OptMatch found[kMaxMatchesPerNode];
    for (std::size_t p = from; p < to; ++p) {
      std::uint32_t run;
      if (kinds_.Classify(p, &run) != PosKind::kTree) continue;
      if (p + 8 < n_) __builtin_prefetch(&roots_[Hash4(src_ + p + 2)]);
      const std::uint32_t maxLen = static_cast<std::uint32_t>(std::min<std::size_t>(n_ - p, p_.nice));
      const int k = Search(static_cast<std::uint32_t>(p), Hash4(src_ + p), maxLen, found);
      r.count[p - from] = static_cast<std::uint8_t>(k);
      for (int i = 0; i < k; ++i) r.matches.push_back(WalkResults::Pack(found[i]));
    }
  }

 private:
  static constexpr int kHashBits = 18;
  // Larger than the largest distance: a node within reach owns its two child slots.
  static constexpr std::size_t kTreeSize = std::size_t{1} << 19;
  static_assert(kTreeSize > kMaxDistance);

  std::uint32_t Hash4(const std::uint8_t* p) const { return (Load32(p) * 2654435761u) >> (32 - hashBits_); }

  // Inserts pos at the root of its tree, searching matches of at most maxLen bytes on the way:
  // walks down from the old root, re-linking the nodes passed under pos, and appends to out
  // every match longer than the ones before it (their distances grow too); the longest comes
  // last. Returns how many.
  int Search(std::uint32_t pos, std::uint32_t root, std::uint32_t maxLen, OptMatch* out) {
    const std::uint8_t* s = src_ + pos;
    const std::uint32_t cutoff = pos > kMaxDistance ? pos - kMaxDistance : 0;
    int found = 0;
    std::uint32_t best = kMinMatch - 1;
    std::uint32_t cur = roots_[root];
    roots_[root] = pos;
    std::uint32_t* lt = &tree_[2 * (pos & treeMask_)];
    std::uint32_t* gt = lt + 1;
    std::uint32_t ltLen = 0, gtLen = 0, len = 0;
    int depth = p_.depth;
    while (cur != kNoPos && cur >= cutoff && depth-- > 0) {
      const std::uint8_t* m = src_ + cur;
      std::uint32_t* node = &tree_[2 * (cur & treeMask_)];
      if (m[len] == s[len]) {
        len += 1 + MatchLength(m + len + 1, s + len + 1, maxLen - len - 1);
        if (len > best) {
          best = len;
          const std::uint32_t dist = pos - cur;
          // A shorter match that is no nearer is never the better choice.
          while (found > 0 && out[found - 1].dist >= dist) --found;
          if (found == kMaxMatchesPerNode) --found;
          out[found++] = {len, dist};
        }
        if (len >= maxLen) {
          // Equal as far as we look: the new position takes over this node's place.
          *lt = node[0];
          *gt = node[1];
          return found;
        }
      }
      if (m[len] < s[len]) {
        *lt = cur;
        lt = &node[1];
        cur = *lt;
        ltLen = len;
      } else {
        *gt = cur;
        gt = &node[0];
        cur = *gt;
        gtLen = len;
      }
      len = std::min(ltLen, gtLen);
    }
    *lt = kNoPos;
    *gt = kNoPos;
    return found;
  }

  const std::uint8_t* src_;
  std::size_t n_;
  OptimalParams p_;
  PositionKinds kinds_;
  int hashBits_;
  std::uint32_t treeMask_;
  std::vector<std::uint32_t> roots_, tree_;
};

// Runs the walker either when asked (small inputs, or no thread to be had) or in a thread of its
// own that keeps up to kAhead stretches ready, so that the tree walks, about half of the work,
// overlap the rest on two cores. The results do not depend on which.
class WalkFeed {
 public:
  static constexpr std::size_t kAhead = 4;

  WalkFeed(const std::uint8_t* src, std::size_t n, const OptimalParams& p, bool thread)
      : walker_(src, n, p), chunks_((n + kWalkChunk - 1) / kWalkChunk) {
    if (!thread) return;
    try {
      thread_ = std::thread([this] { Work(); });
      threaded_ = true;
    } catch (const std::system_error&) {
      // No thread to be had: the walker runs when asked.
    }
  }
  ~WalkFeed() {
    if (!threaded_) return;
    {
      std::lock_guard<std::mutex> lock(mu_);
      stop_ = true;
    }
    cv_.notify_all();
    thread_.join();
  }
  WalkFeed(const WalkFeed&) = delete;
  WalkFeed& operator=(const WalkFeed&) = delete;

  int hashBits() const { return walker_.hashBits(); }

  // The walk results of stretch c, once they are there; valid until Release(c + 1).
  const WalkResults& Get(std::size_t c) {
    if (!threaded_) {
      // Stretches nobody asks for (inside a long match) are walked all the same: the trees
      // need every position in order.
      for (; done_ <= c; ++done_) walker_.Walk(done_, slots_[done_ % kAhead]);
      return slots_[c % kAhead];
    }
    std::unique_lock<std::mutex> lock(mu_);
    cv_.wait(lock, [&] { return done_ > c || failed_; });
    if (done_ <= c) std::rethrow_exception(error_);
    return slots_[c % kAhead];
  }

  // Stretches before c are no longer needed.
  void Release(std::size_t c) {
    if (!threaded_) return;
    {
      std::lock_guard<std::mutex> lock(mu_);
      released_ = std::max(released_, c);
    }
    cv_.notify_all();
  }

 private:
  void Work() {
    try {
      for (std::size_t c = 0; c < chunks_; ++c) {
        {
          std::unique_lock<std::mutex> lock(mu_);
          cv_.wait(lock, [&] { return c < released_ + kAhead || stop_; });
          if (stop_) return;
        }
        walker_.Walk(c, slots_[c % kAhead]);
        {
          std::lock_guard<std::mutex> lock(mu_);
          done_ = c + 1;
        }
        cv_.notify_all();
      }
    } catch (...) {
      std::lock_guard<std::mutex> lock(mu_);
      error_ = std::current_exception();
      failed_ = true;
    }
    cv_.notify_all();
  }

  TreeWalker walker_;
  std::size_t chunks_;
  WalkResults slots_[kAhead];
  std::thread thread_;
  bool threaded_ = false;
  std::mutex mu_;
  std::condition_variable cv_;
  std::size_t done_ = 0;      // stretches the walker has finished
  std::size_t released_ = 0;  // stretches before this one are consumed
  bool stop_ = false;
  bool failed_ = false;
  std::exception_ptr error_;
};

// Builds the parse's nodes in order from the walker's results: the positions where a symbol may
// start, each with its matches. The newest position of each 3-byte hash adds the nearest
// 3-byte match; a position deep inside a run of one byte offers its copy one byte back.
class MatchFinder {
 public:
  MatchFinder(const std::uint8_t* src, std::size_t n, const OptimalParams& p, bool thread)
      : src_(src), n_(n), p_(p), kinds_(src, n, p.nice), feed_(src, n, p, thread) {
    hash3Bits_ = std::min(kHash3Bits, feed_.hashBits());
    hash3_.assign(std::size_t{1} << hash3Bits_, kNoPos);
  }

  // Appends the next nodes of the input to c, up to `count` of them; false when the input was
  // exhausted before. A node's `first` indexes c.matches as it stands.
  bool Produce(NodeStore& c, std::size_t count) {
    const std::size_t want = c.pos.size() + count;
    while (c.pos.size() < want && frontier_ < n_) {
      Match found[kMaxMatchesPerNode];
      const std::uint32_t pos = static_cast<std::uint32_t>(frontier_);
      const std::size_t left = n_ - pos;
      const std::uint32_t maxLen = static_cast<std::uint32_t>(std::min<std::size_t>(left, p_.nice));
      std::uint32_t run;
      const PosKind kind = kinds_.Classify(pos, &run);
      int k = 0;
      switch (kind) {
        case PosKind::kShort:
          AddNode(c, pos, kPlainNode);
          ++frontier_;
          continue;
        case PosKind::kRunNode:
          // The copy one byte back, to the run's end. A longer match from here could only
          // continue one that started before the run, at its first position at the latest, and
          // that one reaches the same ends: offering it again at every position of the run
          // took a tenth of the encoder's time and saved less than 0.1 % of the output.
          found[k++] = {run, 1};
          break;
        case PosKind::kLongRun:
          found[k++] = {maxLen, 1};
          break;
        case PosKind::kTree:
          k = TreeMatches(pos, found);
          break;
      }
      if (k == 0 || found[k - 1].len < maxLen) {
        AddNode(c, pos, kind == PosKind::kRunNode ? kRunNode : kPlainNode);
        for (int i = 0; i < k; ++i) c.matches.push_back(found[i]);  // (few: no library copy)
        ++frontier_;
        continue;
      }
      // A long match: follow it as far as it goes, up to the longest the format codes.
      Match m = found[k - 1];
      if (m.len == p_.nice) {
        const std::size_t most = std::min<std::size_t>(left, kMaxMatch);
        m.len += MatchLength(src_ + pos + m.len - m.dist, src_ + pos + m.len,
                             static_cast<std::uint32_t>(most - m.len));
      }
      AddNode(c, pos, kForcedNode);
      c.matches.push_back(m);
      // The covered positions are in the walker's trees (later data may match them); they take
      // their places in the 3-byte table as well.
      const std::uint32_t end = pos + m.len;
      for (std::uint32_t q = pos + 1; q < end; ++q)
        if (kinds_.Classify(q, &run) == PosKind::kTree) hash3_[Hash3(src_ + q)] = q;
      frontier_ = end;
    }
    return frontier_ < n_;
  }

 private:
  using Match = OptMatch;
  static constexpr int kHash3Bits = 15;

  static void AddNode(NodeStore& c, std::uint32_t pos, std::uint8_t kind) {
    c.pos.push_back(pos);
    c.kind.push_back(kind);
    c.first.push_back(static_cast<std::uint32_t>(c.matches.size()));
  }

  std::uint32_t Hash3(const std::uint8_t* p) const {
    return ((Load32(p) & 0xFFFFFFu) * 506832829u) >> (32 - hash3Bits_);
  }

  // The matches of a tree position: what its walker found, and the newest position with the
  // same three bytes when that is nearer than anything the tree gave.
  int TreeMatches(std::uint32_t pos, Match* out) {
    const std::size_t c = pos / kWalkChunk;
    if (!res_ || c != chunk_) {
      feed_.Release(c);
      res_ = &feed_.Get(c);
      next_ = 0;
      offset_ = 0;
      chunk_ = c;
    }
    const std::uint8_t* s = src_ + pos;
    const WalkResults& r = *res_;
    const std::size_t at = pos - c * kWalkChunk;
    for (; next_ < at; ++next_) offset_ += r.count[next_];  // positions inside a long match
    const int found = r.count[at];
    for (int i = 0; i < found; ++i) out[i] = WalkResults::Unpack(r.matches[offset_ + static_cast<std::size_t>(i)]);
    offset_ += static_cast<std::size_t>(found);
    next_ = at + 1;
    return AddNearest3(pos, s, out, found);
  }

  // Adds the newest position with the same three bytes to a tree position's matches when it is
  // nearer than anything the tree gave.
  int AddNearest3(std::uint32_t pos, const std::uint8_t* s, Match* out, int found) {
    const std::uint32_t cutoff = pos > kMaxDistance ? pos - kMaxDistance : 0;
    const std::uint32_t h3 = Hash3(s);
    const std::uint32_t c3 = hash3_[h3];
    hash3_[h3] = pos;
    if (c3 != kNoPos && c3 >= cutoff) {
      const std::uint32_t d3 = pos - c3;
      if ((found == 0 || out[0].dist > d3) && (Load32(src_ + c3) & 0xFFFFFFu) == (Load32(s) & 0xFFFFFFu)) {
        if (found == 0 || out[0].len > kMinMatch) {
          if (found == kMaxMatchesPerNode) --found;  // the match after the first makes room
          std::copy_backward(out, out + found, out + found + 1);
          ++found;
        }
        out[0] = {kMinMatch, d3};
      }
    }
    return found;
  }

  const std::uint8_t* src_;
  std::size_t n_;
  OptimalParams p_;
  PositionKinds kinds_;
  WalkFeed feed_;
  int hash3Bits_;
  std::vector<std::uint32_t> hash3_;
  std::size_t frontier_ = 0;  // the first position not yet given to the parse
  // The walker's results for stretch chunk_, and how far they have been read: the counts of
  // the positions before next_ add up to offset_.
  const WalkResults* res_ = nullptr;
  std::size_t next_ = 0;
  std::size_t offset_ = 0;
  std::size_t chunk_ = 0;
};

class OptimalEncoder : BlockCoder {
 public:
  OptimalEncoder(const std::uint8_t* src, std::size_t n, const OptimalParams& p, bool finderThread)
      : BlockCoder(src, n), p_(p), finder_(src, n, p, finderThread) {
    SetFlatCosts();
  }

  bool Run(std::vector<std::uint8_t>& out, std::size_t start, std::size_t giveUpAt) {
    return Write(out, start, giveUpAt, [this] { return Parse(); });
  }

 private:
  // Prices stay far below 2^31 (a parse covers at most kMaxNodes symbols of a few dozen bits
  // each), so the vector compare may treat them as signed.
  static constexpr std::uint32_t kInfinite = 0x7FFFFFFFu;
  // Positions parsed at once at most: bounds the parse's memory (some 7 MB for the positions,
  // at most 25 MB for their matches; the tree and hash tables add 5 MB).
  static constexpr std::size_t kMaxNodes = std::size_t{1} << 18;
  // Prices of symbols the current code does not have: about what adding one would cost.
  static constexpr std::uint32_t kUnusedLitLenBits = 13;
  static constexpr std::uint32_t kUnusedDistBits = 10;

  using Match = OptMatch;

  // Extends the nodes until there are at least `want` of them or the input is exhausted.
  void Fill(std::size_t want) {
    while (nodes_.pos.size() < want && !exhausted_) exhausted_ = !finder_.Produce(nodes_, want - nodes_.pos.size());
  }

  // Forgets the nodes before node k (a block ended there).
  void DropNodes(std::size_t k) {
    const std::uint32_t firstMatch = k < nodes_.first.size() ? nodes_.first[k] : static_cast<std::uint32_t>(nodes_.matches.size());
    nodes_.pos.erase(nodes_.pos.begin(), nodes_.pos.begin() + static_cast<long>(k));
    nodes_.kind.erase(nodes_.kind.begin(), nodes_.kind.begin() + static_cast<long>(k));
    nodes_.first.erase(nodes_.first.begin(), nodes_.first.begin() + static_cast<long>(k));
    for (auto& f : nodes_.first) f -= firstMatch;
    nodes_.matches.erase(nodes_.matches.begin(), nodes_.matches.begin() + firstMatch);
  }

  // -------------------------------------------------------------------------------------------
  // Prices in bits.

  void SetFlatCosts() {
    for (int s = 0; s < 256; ++s) litLenBits_[s] = 8;
    for (int s = 256; s < kLitLenSymbols; ++s) litLenBits_[s] = 7;
    for (int c = 0; c < kDistCodes; ++c) distBits_[c] = 6;
    UpdateLengthCosts();
  }

  void SetCosts(const std::uint32_t* lf, const std::uint32_t* df) {
    std::uint8_t ll[kLitLenSymbols], dl[kDistCodes];
    BuildLengths(lf, kLitLenSymbols, kMaxCodeLen, ll);
    BuildLengths(df, kDistCodes, kMaxCodeLen, dl);
    bool anyDist = false;
    for (int c = 0; c < kDistCodes; ++c) anyDist |= df[c] != 0;
    for (int s = 0; s < kLitLenSymbols; ++s) litLenBits_[s] = lf[s] ? ll[s] : kUnusedLitLenBits;
    for (int c = 0; c < kDistCodes; ++c) distBits_[c] = df[c] ? dl[c] : (anyDist ? kUnusedDistBits : 6);
    UpdateLengthCosts();
  }

  void UpdateLengthCosts() {
    lenCost_.resize(p_.nice + 1);
    for (std::uint32_t len = kMinMatch; len <= p_.nice; ++len) lenCost_[len] = LengthCost(len);
  }
  std::uint32_t LengthCost(std::uint32_t len) const {
    const LenCode lc = EncodeLength(len);
    return litLenBits_[lc.sym] + static_cast<std::uint32_t>(lc.extraBits);
  }
  std::uint32_t DistCost(std::uint32_t dist) const {
    const int dc = DistCode(dist);
    return distBits_[dc] + kDist.extra[dc];
  }

  // -------------------------------------------------------------------------------------------
  // Minimum-cost parse, forward: price_[k] is the cheapest way from node 0 to node k, from_[k]
  // the last symbol of it packed as distance << kEdgeLenBits | length (1 for a literal); the
  // symbol after a forced node is always that node's match and is looked up there. The horizon
  // can be pushed further without redoing the nodes before it.

  static constexpr int kEdgeLenBits = 9;  // unforced symbols are at most `nice` long
  static std::uint32_t PackEdge(std::uint32_t len, std::uint32_t dist) { return dist << kEdgeLenBits | len; }

  // The last symbol of the cheapest path to node j.
  Match EdgeInto(std::size_t j) const {
    if (nodes_.kind[j - 1] == kForcedNode) return nodes_.matches[nodes_.first[j - 1]];
    const std::uint32_t e = from_[j];
    return Match{e & ((1u << kEdgeLenBits) - 1), e >> kEdgeLenBits};
  }

  void ResetPrices() {
    price_.assign(1, 0);
    from_.assign(1, 0);
    relaxed_ = 0;
    scan_ = 0;
  }

  void Offer(std::size_t to, std::uint32_t c, std::uint32_t edge) {
    if (c < price_[to]) {
      price_[to] = c;
      from_[to] = edge;
    }
  }

  // Offers lengths len..upto of one match at node k, dc being the price of k plus the cost of
  // the match's distance. Most of the parse's time goes here, so where the vector unit allows,
  // four lengths are priced and kept or dropped at once, without a branch per length.
  void OfferLengths(std::size_t k, std::uint32_t len, std::uint32_t upto, std::uint32_t dc, std::uint32_t dist) {
    std::uint32_t* const price = price_.data() + k;
    std::uint32_t* const from = from_.data() + k;
    const std::uint32_t* const lc = lenCost_.data();
    const std::uint32_t edge = PackEdge(0, dist);
#if defined(__SSE2__)
    const __m128i vdc = _mm_set1_epi32(static_cast<int>(dc));
    const __m128i four = _mm_set1_epi32(4);
    __m128i ve = _mm_add_epi32(_mm_set1_epi32(static_cast<int>(edge | len)), _mm_setr_epi32(0, 1, 2, 3));
    for (; len + 3 <= upto; len += 4) {
      const __m128i c = _mm_add_epi32(vdc, _mm_loadu_si128(reinterpret_cast<const __m128i*>(lc + len)));
      __m128i* const pp = reinterpret_cast<__m128i*>(price + len);
      const __m128i old = _mm_loadu_si128(pp);
      const __m128i better = _mm_cmpgt_epi32(old, c);
      _mm_storeu_si128(pp, _mm_or_si128(_mm_and_si128(better, c), _mm_andnot_si128(better, old)));
      __m128i* const fp = reinterpret_cast<__m128i*>(from + len);
      const __m128i oldFrom = _mm_loadu_si128(fp);
      _mm_storeu_si128(fp, _mm_or_si128(_mm_and_si128(better, ve), _mm_andnot_si128(better, oldFrom)));
      ve = _mm_add_epi32(ve, four);
    }
#endif
    for (; len <= upto; ++len) {
      const std::uint32_t c = dc + lc[len];
      if (c < price[len]) {
        price[len] = c;
        from[len] = edge | len;
      }
    }
  }

  // Relaxes the symbols starting at nodes before `upTo`. A symbol may end at any node up to the
  // number of nodes (the position where the next node will be), but never beyond a forced node.
  void Relax(std::size_t upTo) {
    const std::size_t avail = nodes_.pos.size();
    price_.resize(avail + 1, kInfinite);
    from_.resize(avail + 1);
    for (std::size_t k = relaxed_; k < upTo; ++k) {
      while (scan_ < avail && (scan_ <= k || nodes_.kind[scan_] != kForcedNode)) ++scan_;
      const std::uint32_t here = price_[k];
      const Match* mb = nodes_.matches.data() + nodes_.first[k];
      if (nodes_.kind[k] == kForcedNode) {
        Offer(k + 1, here + LengthCost(mb->len) + DistCost(mb->dist), 0);
        continue;
      }
      Offer(k + 1, here + litLenBits_[src_[nodes_.pos[k]]], PackEdge(1, 0));
      const std::uint32_t reach = static_cast<std::uint32_t>(scan_ - k);
      if (nodes_.kind[k] == kRunNode) {
        // The copy one byte back, the only match of such a node, is offered at its full length
        // only: ending it inside the run rarely pays (copies that go on past the run are priced
        // in full from the run's first position), and every length at every position of a run
        // would cost time quadratic in its length.
        const std::uint32_t upto = std::min(mb->len, reach);
        if (upto >= kMinMatch) Offer(k + upto, here + DistCost(1) + lenCost_[upto], PackEdge(upto, 1));
        continue;
      }
      const Match* me = nodes_.matches.data() + (k + 1 < nodes_.first.size() ? nodes_.first[k + 1] : nodes_.matches.size());
      std::uint32_t len = kMinMatch;
      for (const Match* m = mb; m != me; ++m) {
        const std::uint32_t dc = here + DistCost(m->dist);
        const std::uint32_t upto = std::min(m->len, reach);
        if (len <= upto) {
          OfferLengths(k, len, upto, dc, m->dist);
          len = upto + 1;
        }
        if (upto < m->len) break;
      }
    }
    relaxed_ = std::max(relaxed_, upTo);
  }

  // The nodes of the cheapest path from node 0 to node `to`, in order (node 0 not included).
  void Backtrack(std::size_t to) {
    path_.clear();
    for (std::size_t j = to; j > 0;) {
      path_.push_back(static_cast<std::uint32_t>(j));
      const Match e = EdgeInto(j);
      j = nodes_.kind[j - 1] == kForcedNode ? j - 1 : j - (e.dist ? e.len : 1);
    }
    std::reverse(path_.begin(), path_.end());
  }

  // Appends the first `count` symbols of path_ to the block; returns the node after them.
  std::size_t TakePath(std::size_t count) {
    std::size_t prev = 0;
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t j = path_[i];
      const Match e = EdgeInto(j);
      if (e.dist == 0) {
        tokens_.push_back({src_[nodes_.pos[prev]], 0});
        blockBytes_ += 1;
      } else {
        tokens_.push_back({e.len, e.dist});
        blockBytes_ += e.len;
      }
      prev = j;
    }
    return prev;
  }

  void Stats(std::uint32_t* lf, std::uint32_t* df) const {
    std::memset(lf, 0, sizeof(std::uint32_t) * kLitLenSymbols);
    std::memset(df, 0, sizeof(std::uint32_t) * kDistCodes);
    for (const Token& t : tokens_) {
      if (!t.dist) {
        ++lf[t.value];
      } else {
        ++lf[EncodeLength(t.value).sym];
        ++df[DistCode(t.dist)];
      }
    }
  }

  bool Parse() {
    std::size_t horizon = 32768;  // nodes one block is expected to use, with a margin
    const std::size_t maxHorizon = kMaxNodes - p_.nice - 1;
    bool first = true;
    for (;;) {
      // One block: parse, price with the result, parse again.
      const int passes = first ? p_.firstPasses : p_.passes;
      std::size_t committed = 0;  // symbols fixed early when a block outgrew the look-ahead
      std::size_t committedBytes = 0;
      std::size_t end = 0;
      bool last = false;
      for (int pass = 0; pass < passes; ++pass) {
        // Each pass decides afresh whether the block is the last: with another code the parse
        // may need more symbols than one block holds for the same rest of the input.
        last = false;
        ResetPrices();
        tokens_.resize(committed);
        blockBytes_ = committedBytes;
        std::size_t h = horizon;
        for (;;) {
          // Matches reach at most `nice` nodes ahead: with that many more nodes known, every
          // symbol ending at or before h is priced.
          Fill(h + p_.nice + 1);
          const std::size_t avail = nodes_.pos.size();
          const bool tail = avail < h + p_.nice + 1;  // the input ends within reach
          if (tail) h = avail;
          Relax(h);
          Backtrack(h);
          const std::size_t want = kBlockSymbols - committed;
          if (path_.size() >= want) {
            end = TakePath(want);
            break;
          }
          if (tail) {
            end = TakePath(path_.size());
            last = true;
            break;
          }
          if (h < maxHorizon) {
            h = std::min(maxHorizon, h + h / 4 + 1024);
            continue;
          }
          // The look-ahead is full and the block still wants symbols: keep what was parsed.
          TakePath(path_.size());
          committed = tokens_.size();
          committedBytes = blockBytes_;
          DropNodes(h);
          ResetPrices();
          h = horizon;
        }
        if (pass + 1 < passes) {
          std::uint32_t lf[kLitLenSymbols], df[kDistCodes];
          Stats(lf, df);
          SetCosts(lf, df);
        }
      }
      std::uint32_t lf[kLitLenSymbols], df[kDistCodes];
      Stats(lf, df);
      if (!FlushBlock()) return false;
      if (last) return true;
      SetCosts(lf, df);
      horizon = std::min(maxHorizon, std::max<std::size_t>(end + end / 8 + 256, 4096));
      DropNodes(end);
      first = false;
    }
  }

  OptimalParams p_;
  MatchFinder finder_;
  NodeStore nodes_;  // the nodes not yet parsed for good, with their matches
  bool exhausted_ = false;  // the finder has given its last nodes
  std::vector<std::uint32_t> price_;
  std::vector<std::uint32_t> from_;
  std::size_t relaxed_ = 0;  // nodes whose symbols are priced
  std::size_t scan_ = 0;     // the first forced node after the one being relaxed
  std::vector<std::uint32_t> path_;
  std::uint32_t litLenBits_[kLitLenSymbols];
  std::uint32_t distBits_[kDistCodes];
  std::vector<std::uint32_t> lenCost_;
};

void PutHead(std::uint8_t* p, std::int32_t l) {
  const std::uint32_t u = static_cast<std::uint32_t>(l);
  p[0] = static_cast<std::uint8_t>(u);
  p[1] = static_cast<std::uint8_t>(u >> 8);
  p[2] = static_cast<std::uint8_t>(u >> 16);
  p[3] = static_cast<std::uint8_t>(u >> 24);
}

bool Fail(std::string* error, const char* text) {
  if (error) *error = text;
  return false;
}

// Reads the container head. Returns false (past end) for fewer than 4 bytes.
bool ReadHead(const std::uint8_t* src, std::size_t srcLen, std::int32_t* l) {
  if (srcLen < kContainerHeadSize) return false;
  const std::uint32_t u = static_cast<std::uint32_t>(src[0]) | (static_cast<std::uint32_t>(src[1]) << 8) |
                          (static_cast<std::uint32_t>(src[2]) << 16) |
                          (static_cast<std::uint32_t>(src[3]) << 24);
  *l = static_cast<std::int32_t>(u);
  return true;
}

std::uint64_t Magnitude(std::int32_t l) {
  return l < 0 ? static_cast<std::uint64_t>(-static_cast<std::int64_t>(l)) : static_cast<std::uint64_t>(l);
}

}  // namespace

bool ContainerDecodedSize(const std::uint8_t* src, std::size_t srcLen, std::uint64_t* size) {
  std::int32_t l;
  if (!src || !ReadHead(src, srcLen, &l)) return false;
  *size = Magnitude(l);
  return true;
}

namespace {

// Shared by both entry points: checks the head and handles the stored and empty containers.
// Returns true when the caller should run the bit-stream decoder on `total` bytes.
enum class Head { Done, Failed, Stream };

Head Prepare(const std::uint8_t* src, std::size_t srcLen, std::size_t dstCap, std::uint64_t* total,
             std::string* error) {
  if (!src) {
    Fail(error, kInflateErrorNullSource);
    return Head::Failed;
  }
  std::int32_t l;
  if (!ReadHead(src, srcLen, &l)) {
    Fail(error, kInflateErrorPastEnd);
    return Head::Failed;
  }
  *total = Magnitude(l);
  if (*total > dstCap) {
    Fail(error, kInflateErrorTooLarge);
    return Head::Failed;
  }
  if (l < 0 && *total > srcLen - kContainerHeadSize) {
    Fail(error, kInflateErrorPastEnd);
    return Head::Failed;
  }
  return l > 0 ? Head::Stream : Head::Done;
}

}  // namespace

bool InflateInto(const std::uint8_t* src, std::size_t srcLen, std::uint8_t* dst, std::size_t dstCap,
                 std::size_t* produced, std::string* error) {
  std::uint64_t total = 0;
  const Head h = Prepare(src, srcLen, dstCap, &total, error);
  if (h == Head::Failed) return false;
  if (h == Head::Done) {
    if (total) std::memcpy(dst, src + kContainerHeadSize, total);
  } else {
    auto dec = std::make_unique<Decoder>(src + kContainerHeadSize, srcLen - kContainerHeadSize, total);
    dec->SetFixed(dst);
    const Status s = dec->Run();
    if (s != Status::Ok) return Fail(error, StatusText(s));
  }
  if (produced) *produced = total;
  return true;
}

bool Inflate(const std::uint8_t* src, std::size_t srcLen, std::vector<std::uint8_t>& out,
             std::size_t maxOut, std::string* error) {
  out.clear();
  std::uint64_t total = 0;
  const Head h = Prepare(src, srcLen, maxOut, &total, error);
  if (h == Head::Failed) return false;
  if (h == Head::Done) {
    out.assign(src + kContainerHeadSize, src + kContainerHeadSize + total);
    return true;
  }
  auto dec = std::make_unique<Decoder>(src + kContainerHeadSize, srcLen - kContainerHeadSize, total);
  // Start with room for a generous compression ratio; more is added as output appears.
  dec->SetGrowable(&out, srcLen * 8 + (1u << 16));
  const Status s = dec->Run();
  if (s != Status::Ok) {
    out.clear();
    out.shrink_to_fit();
    return Fail(error, StatusText(s));
  }
  out.resize(total);
  return true;
}

std::size_t DeflateBound(std::size_t srcLen) { return srcLen + kContainerHeadSize; }

namespace {

bool DeflateWith(const std::uint8_t* src, std::size_t srcLen, int mode, bool finderThread,
                 std::vector<std::uint8_t>& out, std::string* error) {
  out.clear();
  if (mode < 0 || mode > kStrongestMode) return Fail(error, kDeflateErrorBadMode);
  if (srcLen > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
    return Fail(error, kDeflateErrorTooLarge);
  if (!src && srcLen) return Fail(error, kInflateErrorNullSource);
  const std::size_t stored = srcLen + kContainerHeadSize;
  if (srcLen == 0) {
    out.assign(kContainerHeadSize, 0);
    return true;
  }
  if (mode > 0 && srcLen >= 4) {
    // Compressed only when strictly smaller than the stored container.
    out.resize(std::min<std::size_t>(stored, 1u << 16) + 64);
    bool packed;
    if (mode == kStrongestMode) {
      auto enc = std::make_unique<OptimalEncoder>(src, srcLen, kOptimal, finderThread && srcLen >= kFinderThreadFrom);
      packed = enc->Run(out, kContainerHeadSize, stored - 1);
    } else {
      Encoder enc(src, srcLen, kModes[mode]);
      packed = enc.Run(out, kContainerHeadSize, stored - 1);
    }
    if (packed) {
      PutHead(out.data(), static_cast<std::int32_t>(srcLen));
      return true;
    }
  }
  out.resize(stored);
  PutHead(out.data(), -static_cast<std::int32_t>(srcLen));
  std::memcpy(out.data() + kContainerHeadSize, src, srcLen);
  return true;
}

}  // namespace

bool Deflate(const std::uint8_t* src, std::size_t srcLen, int mode, std::vector<std::uint8_t>& out,
             std::string* error) {
  return DeflateWith(src, srcLen, mode, true, out, error);
}

bool DeflateStrongest(const std::uint8_t* src, std::size_t srcLen, bool finderThread, std::vector<std::uint8_t>& out,
                      std::string* error) {
  return DeflateWith(src, srcLen, kStrongestMode, finderThread, out, error);
}

bool DeflateInto(const std::uint8_t* src, std::size_t srcLen, int mode, std::uint8_t* dst,
                 std::size_t dstCap, std::size_t* written, std::string* error) {
  std::vector<std::uint8_t> out;
  if (!Deflate(src, srcLen, mode, out, error)) return false;
  if (out.size() > dstCap) return Fail(error, kDeflateErrorNoRoom);
  std::memcpy(dst, out.data(), out.size());
  if (written) *written = out.size();
  return true;
}

}  // namespace t32
