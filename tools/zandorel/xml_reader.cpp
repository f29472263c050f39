#include "tools/zandorel/xml_reader.h"

#ifdef ZFE_HAVE_PUGIXML

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <pugixml.hpp>
#include <string>
#include <type_traits>
#include <vector>

#include "tools/zandorel/reader_support.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Where the compiler can build code for newer processors than the build's
// baseline, and the program picks it when it runs. Not on Windows: GCC there
// does not align the stack for the 32- and 64-byte values that it spills.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(_WIN32)
#define ZFE_WIDE_TAGS 1
#include <immintrin.h>
#define ZFE_WIDE_TARGET(features) __attribute__((target(features)))
#else
#define ZFE_WIDE_TAGS 0
#endif

namespace zfe::zandorel {

namespace {

// The elements that the library parses whole, one at a time: the root's game
// and machine children. Everything between them (the prolog, the root's tags,
// a <header>) is parsed as one small document of its own, the skeleton.
bool isGameTag(std::string_view tagName) {
    return tagName == "game" || tagName == "machine";
}

// A machine has dozens of children to sort out, and most differ from the
// wanted name in their first letter: no library call for them.
bool nameIs(const char* name, std::string_view wanted) {
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        if (name[i] != wanted[i]) return false;
    }
    return name[wanted.size()] == '\0';
}

// The library's classes of bytes in markup: blanks between names and values,
// bytes that may start a name, and bytes that may continue one.
enum ByteClass : std::uint8_t { kBlank = 1, kNameStart = 2, kNamePart = 4 };

constexpr std::array<std::uint8_t, 256> makeByteClasses() {
    std::array<std::uint8_t, 256> classes{};
    for (const unsigned char c : {' ', '\t', '\r', '\n'}) classes[c] = kBlank;
    for (unsigned c = 0; c < 256; ++c) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (letter || c >= 128 || c == '_' || c == ':') classes[c] = kNameStart | kNamePart;
        if ((c >= '0' && c <= '9') || c == '-' || c == '.') classes[c] = kNamePart;
    }
    return classes;
}

constexpr std::array<std::uint8_t, 256> kByteClasses = makeByteClasses();

inline bool isA(char c, ByteClass wanted) {
    return (kByteClasses[static_cast<unsigned char>(c)] & wanted) != 0;
}

// A game block's bytes that the library is to read: the start tag, the direct
// <rom> and <disk> children whole, and the end tag.
struct Cut {
    std::size_t begin;
    std::size_t end;
    std::size_t scratchBegin;  // where the bytes stand in the small document
};

#if defined(__SIZEOF_INT128__)
// The masks of a start tag that does not end within 64 bytes.
__extension__ typedef unsigned __int128 WideMask;

inline unsigned lowestBit(WideMask bits) {
    const auto low = static_cast<std::uint64_t>(bits);
    return low != 0
               ? static_cast<unsigned>(__builtin_ctzll(low))
               : 64 +
                     static_cast<unsigned>(__builtin_ctzll(static_cast<std::uint64_t>(bits >> 64)));
}
#endif

inline unsigned lowestBit(std::uint64_t bits) {
    return static_cast<unsigned>(__builtin_ctzll(bits));
}

// The classes of the bytes from a start tag's '<' that the tag's rules are
// asked of, a bit for each byte: 64 bytes in a std::uint64_t, 128 in a WideMask.
template <class Mask>
struct TagBytes {
    Mask quotes = 0;
    Mask unsure = 0;  // what the masks leave to the slower judge
    Mask closers = 0;
    Mask equals = 0;
    Mask blanks = 0;
    Mask nameParts = 0;
    Mask nameStarts = 0;

    template <class Wider>
    TagBytes<Wider> widened() const {
        return {quotes, unsure, closers, equals, blanks, nameParts, nameStarts};
    }
};

// Each bit set where the bits below it hold an odd number of quotes, its own
// included: the opening quote and the value's bytes.
inline std::uint64_t prefixXor(std::uint64_t bits) {
    bits ^= bits << 1;
    bits ^= bits << 2;
    bits ^= bits << 4;
    bits ^= bits << 8;
    bits ^= bits << 16;
    return bits ^ (bits << 32);
}

#if defined(__SSE2__)
// Sixteen bytes at a time with what every x86-64 processor has.
struct BaselineBytes {
    static constexpr unsigned kWidth = 16;

    // The double quotes, '>' and unsure bytes among the `kWidth` bytes at `at`,
    // which stand `shift` bytes after the '<'.
    template <class Mask>
    static void classifyQuotes(const char* at, unsigned shift, TagBytes<Mask>& bytes) {
        const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        bytes.quotes |= bitsOf<Mask>(is(here, '"'), shift);
        // Single quotes anywhere, even within a value, are left to the slower judge.
        bytes.unsure |= bitsOf<Mask>(_mm_or_si128(is(here, '\''), is(here, '\0')), shift);
        bytes.closers |= bitsOf<Mask>(is(here, '>'), shift);
    }

    // Every class of the `kWidth` bytes at `at`.
    template <class Mask>
    static void classify(const char* at, unsigned shift, TagBytes<Mask>& bytes) {
        classifyQuotes(at, shift, bytes);
        const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        bytes.equals |= bitsOf<Mask>(is(here, '='), shift);
        bytes.blanks |= bitsOf<Mask>(_mm_or_si128(_mm_or_si128(is(here, ' '), is(here, '\t')),
                                                  _mm_or_si128(is(here, '\r'), is(here, '\n'))),
                                     shift);
        const __m128i part = namePartBytes(here);
        bytes.nameParts |= bitsOf<Mask>(part, shift);
        bytes.nameStarts |= bitsOf<Mask>(_mm_andnot_si128(within(here, '-', '9'), part), shift);
    }

    static std::uint64_t quoted(std::uint64_t quotes) { return prefixXor(quotes); }

    static __m128i is(__m128i here, char c) { return _mm_cmpeq_epi8(here, _mm_set1_epi8(c)); }

    template <class Mask>
    static Mask bitsOf(__m128i matches, unsigned shift) {
        return static_cast<Mask>(static_cast<unsigned>(_mm_movemask_epi8(matches))) << shift;
    }

    // Bytes in [low, high]: moved so that low is the smallest signed byte, one
    // signed comparison tells.
    static __m128i within(__m128i bytes, int low, int high) {
        return _mm_cmplt_epi8(_mm_sub_epi8(bytes, _mm_set1_epi8(static_cast<char>(low - 128))),
                              _mm_set1_epi8(static_cast<char>(high - low + 1 - 128)));
    }

    static __m128i namePartBytes(__m128i here) {
        const __m128i letter = within(_mm_or_si128(here, _mm_set1_epi8(0x20)), 'a', 'z');
        const __m128i punctuation =
            _mm_andnot_si128(_mm_cmpeq_epi8(here, _mm_set1_epi8('/')), within(here, '-', ':'));
        return _mm_or_si128(_mm_or_si128(letter, punctuation),
                            _mm_or_si128(_mm_cmplt_epi8(here, _mm_setzero_si128()),
                                         _mm_cmpeq_epi8(here, _mm_set1_epi8('_'))));
    }
};
#endif

#if ZFE_WIDE_TAGS
// For the wider registers: a byte's classes looked up by its two halves, a
// table of 16 bytes for each half. Each bit of the tables stands for the bytes
// whose high half is in one set and low half in another.
namespace halves {

enum : std::uint8_t {
    kAtoO = 1,        // 0x41-0x4f, 0x61-0x6f
    kPtoZ = 2,        // 0x50-0x5a, 0x70-0x7a
    kHigh = 4,        // from 0x80: the library takes any such byte for a letter
    kUnderscore = 8,  // 0x5f
    kColon = 16,      // 0x3a
    kDigit = 32,      // 0x30-0x39
    kDashDot = 64,    // 0x2d, 0x2e
    kNameStart = kAtoO | kPtoZ | kHigh | kUnderscore | kColon,
    kLow1to9 = kAtoO | kPtoZ | kHigh | kDigit,
};

// A register's shuffle looks up each 16 bytes in its own 16: the table
// stands four times over, for registers of up to 64 bytes.
using Table = std::array<std::uint8_t, 64>;

constexpr Table repeated(const std::array<std::uint8_t, 16>& bytes) {
    Table table{};
    for (std::size_t i = 0; i < table.size(); ++i) table[i] = bytes[i % 16];
    return table;
}

constexpr Table kNameClassesByLow = repeated(
    {kHigh | kPtoZ | kDigit, kLow1to9, kLow1to9, kLow1to9, kLow1to9, kLow1to9, kLow1to9, kLow1to9,
     kLow1to9, kLow1to9, kAtoO | kPtoZ | kHigh | kColon, kAtoO | kHigh, kAtoO | kHigh,
     kAtoO | kHigh | kDashDot, kAtoO | kHigh | kDashDot, kAtoO | kHigh | kUnderscore});

constexpr Table kNameClassesByHigh =
    repeated({0, 0, kDashDot, kColon | kDigit, kAtoO, kPtoZ | kUnderscore, kAtoO, kPtoZ, kHigh,
              kHigh, kHigh, kHigh, kHigh, kHigh, kHigh, kHigh});

// A blank equals the byte that its low half looks up; a byte from 0x80 looks
// up zero.
constexpr Table kBlankOfLow = repeated({' ', 0, 0, 0, 0, 0, 0, 0, 0, '\t', '\n', 0, 0, '\r', 0, 0});

}  // namespace halves

// One carry-less product with all ones gives every prefix's parity.
ZFE_WIDE_TARGET("pclmul") inline std::uint64_t quotedByProduct(std::uint64_t quotes) {
    const __m128i product = _mm_clmulepi64_si128(_mm_cvtsi64_si128(static_cast<long long>(quotes)),
                                                 _mm_set1_epi8(-1), 0);
    return static_cast<std::uint64_t>(_mm_cvtsi128_si64(product));
}

#define ZFE_AVX2_TARGET ZFE_WIDE_TARGET("avx2,bmi,bmi2,pclmul,popcnt")

// Thirty-two bytes at a time where the processor has AVX2.
struct Avx2Bytes {
    static constexpr unsigned kWidth = 32;

    template <class Mask>
    ZFE_AVX2_TARGET static void classifyQuotes(const char* at, unsigned shift,
                                               TagBytes<Mask>& bytes) {
        const __m256i here = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
        bytes.quotes |= bitsOf<Mask>(is(here, '"'), shift);
        bytes.unsure |= bitsOf<Mask>(_mm256_or_si256(is(here, '\''), is(here, '\0')), shift);
        bytes.closers |= bitsOf<Mask>(is(here, '>'), shift);
    }

    template <class Mask>
    ZFE_AVX2_TARGET static void classify(const char* at, unsigned shift, TagBytes<Mask>& bytes) {
        classifyQuotes(at, shift, bytes);
        const __m256i here = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
        bytes.equals |= bitsOf<Mask>(is(here, '='), shift);
        bytes.blanks |= bitsOf<Mask>(
            _mm256_cmpeq_epi8(_mm256_shuffle_epi8(table(halves::kBlankOfLow), here), here), shift);
        const __m256i lowHalves = _mm256_and_si256(here, _mm256_set1_epi8(0x0f));
        const __m256i highHalves =
            _mm256_and_si256(_mm256_srli_epi16(here, 4), _mm256_set1_epi8(0x0f));
        const __m256i classes =
            _mm256_and_si256(_mm256_shuffle_epi8(table(halves::kNameClassesByLow), lowHalves),
                             _mm256_shuffle_epi8(table(halves::kNameClassesByHigh), highHalves));
        const __m256i none = _mm256_setzero_si256();
        const Mask all = static_cast<Mask>(0xffffffffU) << shift;
        bytes.nameParts |= ~bitsOf<Mask>(_mm256_cmpeq_epi8(classes, none), shift) & all;
        const __m256i starts = _mm256_and_si256(classes, _mm256_set1_epi8(halves::kNameStart));
        bytes.nameStarts |= ~bitsOf<Mask>(_mm256_cmpeq_epi8(starts, none), shift) & all;
    }

    ZFE_AVX2_TARGET static std::uint64_t quoted(std::uint64_t quotes) {
        return quotedByProduct(quotes);
    }

    ZFE_AVX2_TARGET static __m256i table(const halves::Table& bytes) {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes.data()));
    }

    ZFE_AVX2_TARGET static __m256i is(__m256i here, char c) {
        return _mm256_cmpeq_epi8(here, _mm256_set1_epi8(c));
    }

    template <class Mask>
    ZFE_AVX2_TARGET static Mask bitsOf(__m256i matches, unsigned shift) {
        return static_cast<Mask>(static_cast<std::uint32_t>(_mm256_movemask_epi8(matches)))
               << shift;
    }
};

#endif

// Walks a game block a tag at a time, to hand the library only the bytes that
// are read. What it steps over it must judge as the library would judge the
// whole file, so it takes only what it is certain of: markup as plain as a
// -listxml machine's. It gives up on anything else (comments, CDATA,
// processing instructions, a NUL byte, anything the library would refuse), and
// the block then goes to the library whole, which gives the verdict.
class BlockWalker {
public:
    BlockWalker(std::string_view text, TagScan scan)
        : data_(text.data()), size_(text.size()), end_(size_), scan_(scan) {}

    // The end of the block whose start tag is at `open`, with its cuts; npos
    // when the walker gives up.
    std::size_t walk(std::size_t open, std::vector<Cut>& cuts) {
#if ZFE_WIDE_TAGS
        if (scan_ == TagScan::Avx2) return walkAvx2(open, cuts);
#endif
#if defined(__SSE2__)
        return walkWith<BaselineBytes>(open, cuts);
#else
        return walkWith<void>(open, cuts);
#endif
    }

private:
    static constexpr std::size_t npos = std::string_view::npos;

#if ZFE_WIDE_TAGS
    // Everything the walk calls is compiled into it for the wider registers.
    ZFE_AVX2_TARGET __attribute__((flatten)) std::size_t walkAvx2(std::size_t open,
                                                                  std::vector<Cut>& cuts) {
        return walkWith<Avx2Bytes>(open, cuts);
    }
#endif

    template <class Bytes>
    std::size_t walkWith(std::size_t open, std::vector<Cut>& cuts) {
        cuts.clear();
        names_.clear();
        if (open + 1 >= end_ || !isA(data_[open + 1], kNameStart)) return npos;
        std::size_t at = open;
        std::size_t keptFrom = npos;
        for (;;) {
            if (data_[at + 1] == '/') {
                const Name name = names_.back();
                names_.pop_back();
                const std::size_t after = endTag(at, name);
                if (after == npos) return npos;
                if (names_.empty()) {
                    cuts.push_back({at, after, 0});
                    return after;
                }
                if (names_.size() == 1 && keptFrom != npos) {
                    cuts.push_back({keptFrom, after, 0});
                    keptFrom = npos;
                }
                at = after;
            } else {
                bool empty = false;
                Name name{};
                std::size_t after = npos;
                // The game's start tag and its roms' and disks' go to the library,
                // which judges them: only their ends are wanted here.
                const bool read = names_.empty() ||
                                  (names_.size() == 1 && (opens(at, "rom") || opens(at, "disk")));
                if (read) {
                    after = endOfReadTag<Bytes>(at, empty);
                    name = {at + 1, skipName(at + 2) - at - 1};
                } else {
                    after = plainStartTag<Bytes>(at, name, empty);
                }
                if (after == npos) after = startTag(at, name, empty);
                if (after == npos) return npos;
                if (names_.empty()) {
                    if (!isGameTag(view(name))) return npos;
                    cuts.push_back({at, after, 0});
                    if (empty) return after;
                } else if (read) {
                    if (empty) {
                        cuts.push_back({at, after, 0});
                    } else {
                        keptFrom = at;
                    }
                }
                if (!empty) names_.push_back(name);
                at = after;
            }
            // Text up to the next tag, which must be a start or an end tag.
            at = findEither<'<', '\0'>(at);
            if (at >= end_ - 1 || data_[at] == '\0') return npos;
            const char next = data_[at + 1];
            if (next != '/' && !isA(next, kNameStart)) return npos;
        }
    }

    struct Name {
        std::size_t begin;
        std::size_t length;
    };

    std::string_view view(const Name& name) const {
        return {data_ + name.begin, name.length};
    }

    // The first byte from `at` on that is `a` or `b`; npos for none. Values and
    // the text between tags are most of the bytes: sixteen at a time where the
    // processor can.
    template <char a, char b>
    std::size_t findEither(std::size_t at) const {
#if defined(__SSE2__)
        const __m128i wantedA = _mm_set1_epi8(a);
        const __m128i wantedB = _mm_set1_epi8(b);
        for (; at + 16 <= size_; at += 16) {
            const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data_ + at));
            const int mask = _mm_movemask_epi8(
                _mm_or_si128(_mm_cmpeq_epi8(here, wantedA), _mm_cmpeq_epi8(here, wantedB)));
            if (mask != 0) return at + firstBit(mask);
        }
#endif
        for (; at < size_; ++at) {
            if (data_[at] == a || data_[at] == b) return at;
        }
        return npos;
    }

    static std::size_t firstBit(int mask) {
        return static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
    }

    // Both skips stop at the NUL that follows the bytes at the latest.
    std::size_t skipBlanks(std::size_t at) const {
        while (isA(data_[at], kBlank)) ++at;
        return at;
    }

    std::size_t skipName(std::size_t at) const {
#if defined(__SSE2__)
        // Sixteen bytes tell where nearly every name ends.
        for (; at + 16 <= size_; at += 16) {
            const __m128i part = BaselineBytes::namePartBytes(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(data_ + at)));
            const int mask = ~_mm_movemask_epi8(part) & 0xffff;
            if (mask != 0) return at + firstBit(mask);
        }
#endif
        while (isA(data_[at], kNamePart)) ++at;
        return at;
    }

    // Whether the tag at `open` is named `kind`.
    bool opens(std::size_t open, std::string_view kind) const {
        return open + kind.size() + 1 < end_ &&
               std::memcmp(data_ + open + 1, kind.data(), kind.size()) == 0 &&
               !isA(data_[open + 1 + kind.size()], kNamePart);
    }

    // After the start tag at `open` that the library is to parse and judge:
    // after its first '>' outside double-quoted values, as any tag that the
    // library takes ends there. npos for a single quote or a NUL before it, or
    // too near the end of the file to look at 64 bytes at a time.
    template <class Bytes>
    std::size_t endOfReadTag(std::size_t open, bool& empty) const {
        if constexpr (std::is_void_v<Bytes>) {
            (void)open, (void)empty;
            return npos;
        } else {
            std::uint64_t withinValue = 0;  // all ones where the last chunk ended in one
            for (std::size_t from = open; from + 64 <= size_; from += 64) {
                TagBytes<std::uint64_t> bytes;
                for (unsigned shift = 0; shift < 64; shift += Bytes::kWidth) {
                    Bytes::classifyQuotes(data_ + from + shift, shift, bytes);
                }
                const std::uint64_t inside = Bytes::quoted(bytes.quotes) ^ withinValue;
                const std::uint64_t ends = bytes.closers & ~inside;
                const std::uint64_t upToEnd = ends == 0 ? ~std::uint64_t{0} : ends ^ (ends - 1);
                if ((bytes.unsure & upToEnd) != 0) return npos;
                if (ends != 0) {
                    const std::size_t end = from + lowestBit(ends);
                    empty = data_[end - 1] == '/';
                    return end + 1;
                }
                withinValue = 0 - (inside >> 63);
            }
            return npos;
        }
    }

    // After "/>" or ">" at `at`; npos for anything else.
    std::size_t tagEnd(std::size_t at, bool& empty) const {
        if (data_[at] == '>') return at + 1;
        if (data_[at] == '/' && at + 1 < end_ && data_[at + 1] == '>') {
            empty = true;
            return at + 2;
        }
        return npos;
    }

    // The start tag at `open` judged at once where it is plain: it ends within
    // 128 bytes and its values are in double quotes. After its end, with its
    // name; npos when it is not plain, and startTag then judges it. Each byte
    // gets a bit in one mask per kind of byte, and the tag's rules are asked of
    // the masks: in the -listxml machine nearly every tag is plain, and two or
    // three attributes cost no more than one. Most end within 64 bytes, and
    // only the rest pay for masks of 128. `Bytes` classifies the bytes; void
    // where the processor offers no way.
    template <class Bytes>
    std::size_t plainStartTag(std::size_t open, Name& name, bool& empty) const {
        if constexpr (std::is_void_v<Bytes>) {
            (void)open, (void)name, (void)empty;
            return npos;
        } else {
            if (open + 64 > size_) return npos;
            TagBytes<std::uint64_t> bytes;
            std::uint64_t inside = 0, end = 0;
            classifyUpToEnd<Bytes>(open, 0, bytes, inside, end);
            if (end != 0) return judgeTag(open, bytes, inside, end, name, empty);
#if defined(__SIZEOF_INT128__)
            // Roms, and a few tags more, are longer.
            if (open + 128 > size_) return npos;
            auto wide = bytes.template widened<WideMask>();
            WideMask wideInside = 0, wideEnd = 0;
            classifyUpToEnd<Bytes>(open, 64, wide, wideInside, wideEnd);
            if (wideEnd != 0) return judgeTag(open, wide, wideInside, wideEnd, name, empty);
#endif
            return npos;
        }
    }

    // The classes of the tag's bytes from `from` on, until a '>' outside the
    // values has come: `inside` marks the values with their opening quotes, `end`
    // those '>'.
    template <class Bytes, class Mask>
    void classifyUpToEnd(std::size_t open, unsigned from, TagBytes<Mask>& bytes, Mask& inside,
                         Mask& end) const {
        for (; from < 8 * sizeof(Mask) && end == 0; from += Bytes::kWidth) {
            Bytes::classify(data_ + open + from, from, bytes);
            // Which bytes are within quotes matters only once a '>' has come.
            if (bytes.closers != 0) {
                inside = quoted<Bytes>(bytes.quotes);
                end = bytes.closers & ~inside;
            }
        }
    }

    template <class Bytes>
    static std::uint64_t quoted(std::uint64_t quotes) {
        return Bytes::quoted(quotes);
    }

#if defined(__SIZEOF_INT128__)
    // The high half carries on with the parity that the low half ends with.
    template <class Bytes>
    static WideMask quoted(WideMask quotes) {
        const std::uint64_t low = Bytes::quoted(static_cast<std::uint64_t>(quotes));
        const std::uint64_t high =
            Bytes::quoted(static_cast<std::uint64_t>(quotes >> 64)) ^ (0 - (low >> 63));
        return static_cast<WideMask>(high) << 64 | low;
    }
#endif

    // The rules of a start tag asked of its bytes' classes: `inside` marks the
    // values with their opening quotes, `end` the '>' outside them.
    template <class Mask>
    std::size_t judgeTag(std::size_t open, const TagBytes<Mask>& bytes, Mask inside, Mask end,
                         Name& name, bool& empty) const {
        const unsigned last = lowestBit(end);
        const Mask lastBit = Mask{1} << last;
        const Mask tag = lastBit | (lastBit - 1);
        const Mask outside = tag & ~inside & ~bytes.quotes;
        if ((bytes.unsure & tag) != 0 || (bytes.nameStarts & 2) == 0) return npos;
        empty = data_[open + last - 1] == '/' && (outside & (lastBit >> 1)) != 0;
        const Mask close = empty ? lastBit | (lastBit >> 1) : lastBit;
        const Mask blanks = bytes.blanks;
        // Outside the values: names, blanks and '=' only, between "<" and its end.
        if ((outside & ~(bytes.nameParts | blanks | bytes.equals | close) & ~Mask{1}) != 0)
            return npos;
        const Mask names = bytes.nameParts & outside;
        const unsigned nameEnd = lowestBit(~names & ~Mask{1});
        const Mask nameEndBit = Mask{1} << nameEnd;
        if ((nameEndBit & (blanks | close)) == 0) return npos;
        // Every attribute: a name, blanks, '=', blanks, a value, then a blank or
        // the tag's end.
        const Mask attributeNames = names & ~(nameEndBit - 1);
        const Mask nameFirsts = attributeNames & ~(attributeNames << 1);
        const Mask nameLasts = attributeNames & ~(attributeNames >> 1);
        const Mask opening = bytes.quotes & inside & tag;
        const Mask closing = bytes.quotes & ~inside & tag;
        if ((nameFirsts & ~bytes.nameStarts) != 0 ||
            nextPastBlanks(nameLasts, blanks) != (bytes.equals & outside) ||
            nextPastBlanks(bytes.equals & outside, blanks) != opening ||
            ((closing << 1) & ~(blanks | close)) != 0) {
            return npos;
        }
        name = {open + 1, nameEnd - 1};
        return open + last + 1;
    }

    // For each bit of `from`, the first byte after it that is not a blank.
    template <class Mask>
    static Mask nextPastBlanks(Mask from, Mask blanks) {
        return ((from << 1) + blanks) & ~blanks;
    }

    // The start tag at `open`, whose '<' is followed by a name start: after its
    // end, with its name. Attributes are name, '=' with blanks around it, and a
    // quoted value of any bytes but NUL; a blank separates them.
    std::size_t startTag(std::size_t open, Name& name, bool& empty) const {
        std::size_t at = skipName(open + 2);
        name = {open + 1, at - open - 1};
        for (;;) {
            if (!isA(data_[at], kBlank)) return tagEnd(at, empty);
            at = skipBlanks(at + 1);
            if (!isA(data_[at], kNameStart)) return tagEnd(at, empty);
            // Blanks around '=' are rare: a byte tells before the skips.
            at = skipName(at + 1);
            if (data_[at] != '=') at = skipBlanks(at);
            if (data_[at] != '=' || ++at >= end_) return npos;
            if (data_[at] != '"') at = skipBlanks(at);
            if (data_[at] == '"') {
                at = findEither<'"', '\0'>(at + 1);
            } else if (data_[at] == '\'') {
                at = findEither<'\'', '\0'>(at + 1);
            } else {
                return npos;
            }
            if (at >= end_ - 1 || data_[at] == '\0') return npos;
            ++at;
        }
    }

    // Whether the `length` bytes at `a` and at `b`, which lie before end_, are
    // the same. Nearly every name fits in eight bytes: one comparison of them.
    bool sameBytes(std::size_t a, std::size_t b, std::size_t length) const {
        if (std::endian::native == std::endian::little && length <= 8 && a + 8 <= size_ &&
            b + 8 <= size_) {
            std::uint64_t first = 0, second = 0;
            std::memcpy(&first, data_ + a, 8);
            std::memcpy(&second, data_ + b, 8);
            const std::uint64_t counted =
                length == 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * length)) - 1;
            return ((first ^ second) & counted) == 0;
        }
        return std::memcmp(data_ + a, data_ + b, length) == 0;
    }

    // The end tag at `open` of the element named `name`: after its '>'.
    std::size_t endTag(std::size_t open, const Name& name) const {
        std::size_t at = open + 2;
        if (at + name.length >= end_) return npos;
        if (!sameBytes(at, name.begin, name.length)) return npos;
        at += name.length;
        if (isA(data_[at], kNamePart)) return npos;
        at = skipBlanks(at);
        return data_[at] == '>' ? at + 1 : npos;
    }

    const char* data_;
    std::size_t size_;
    std::size_t end_;
    TagScan scan_;
    std::vector<Name> names_;
};

class XmlReader {
public:
    XmlReader(Dat& dat, TagScan scan) : dat_(dat), text_(dat.text), walker_(dat.text, scan) {}

    void run() {
        dat_.games.reserve(text_.size() / 2048);
        dat_.entries.reserve(text_.size() / 512);
        scan();
        checkSkeleton();
    }

private:
    [[noreturn]] void fail(std::size_t offset, std::string reason) {
        throw DatError(dat_.path, positionOf(text_, offset), std::move(reason));
    }

    [[noreturn]] void failParse(std::size_t base, const pugi::xml_parse_result& result) {
        fail(base + static_cast<std::size_t>(result.offset < 0 ? 0 : result.offset),
             std::string("malformed XML: ") + result.description());
    }

    std::size_t find(std::string_view marker, std::size_t from, std::size_t open,
                     const char* what) {
        const std::size_t found = text_.find(marker, from);
        if (found == std::string_view::npos) {
            fail(open, std::string("malformed XML: unterminated ") + what);
        }
        return found + marker.size();
    }

    // After the '>' of the tag that starts at `at`, quotes honoured.
    std::size_t endOfTag(std::size_t at) const {
        const char* data = text_.data();
        const std::size_t size = text_.size();
        for (++at; at < size; ++at) {
            const char c = data[at];
            if (c == '>') return at + 1;
            if (c == '"' || c == '\'') {
                const void* close = std::memchr(data + at + 1, c, size - at - 1);
                if (close == nullptr) return std::string_view::npos;
                at = static_cast<std::size_t>(static_cast<const char*>(close) - data);
            }
        }
        return std::string_view::npos;
    }

    // After a <!DOCTYPE ...> with its internal subset: declarations nest in
    // "<!" ... ">", quotes, comments and processing instructions hide a '>', and
    // "<![" ... "]]>" sections nest. The same bounds as the library draws them.
    std::size_t endOfDeclaration(std::size_t open) {
        const std::size_t size = text_.size();
        const auto at3 = [&](std::size_t at, std::string_view what) {
            return text_.compare(at, what.size(), what) == 0;
        };
        std::size_t depth = 0;
        std::size_t at = open + 2;
        while (at < size) {
            const char c = text_[at];
            if (at3(at, "<!") && !at3(at, "<!-")) {
                if (at3(at, "<![")) {
                    at = endOfIgnoredSection(at);
                } else {
                    at += 2;
                    ++depth;
                }
            } else if (at3(at, "<?")) {
                at = find("?>", at + 2, open, "declaration");
            } else if (at3(at, "<!--")) {
                at = find("-->", at + 4, open, "declaration");
            } else if (c == '"' || c == '\'') {
                const std::size_t close = text_.find(c, at + 1);
                if (close == std::string_view::npos) break;
                at = close + 1;
            } else if (c == '<') {
                break;
            } else if (c == '>') {
                if (depth == 0) return at + 1;
                --depth;
                ++at;
            } else {
                ++at;
            }
        }
        fail(open, "malformed XML: unterminated declaration");
    }

    std::size_t endOfIgnoredSection(std::size_t open) {
        std::size_t depth = 0;
        for (std::size_t at = open + 3; at < text_.size();) {
            if (text_.compare(at, 3, "<![") == 0) {
                at += 3;
                ++depth;
            } else if (text_.compare(at, 3, "]]>") == 0) {
                at += 3;
                if (depth == 0) return at;
                --depth;
            } else {
                ++at;
            }
        }
        fail(open, "malformed XML: unterminated declaration");
    }

    // After the comment, CDATA section or processing instruction that starts at
    // `open`; npos when the markup there is none of them.
    std::size_t endOfOpaque(std::size_t open) {
        const std::string_view rest = text_.substr(open);
        if (rest.starts_with("<!--")) return find("-->", open + 4, open, "comment");
        if (rest.starts_with("<![CDATA[")) return find("]]>", open + 9, open, "CDATA section");
        if (rest.starts_with("<?")) return find("?>", open + 2, open, "processing instruction");
        return std::string_view::npos;
    }

    std::string_view tagName(std::size_t open, std::size_t end) const {
        const std::string_view tag = text_.substr(open + 1, end - open - 1);
        return tag.substr(0, tag.find_first_of(" \t\r\n/>"));
    }

    // One pass over the markup: the game blocks go to the library one by one,
    // the rest into the skeleton. Only the markup's shape counts here (where a
    // tag, comment or section starts and ends); the library judges the rest.
    void scan() {
        const char* data = text_.data();
        const std::size_t size = text_.size();
        std::size_t at = 0;
        int depth = 0;
        int roots = 0;
        std::size_t blockStart = std::string_view::npos;
        std::size_t skeletonFrom = 0;
        const auto endBlock = [&](std::size_t end) {
            addToSkeleton(skeletonFrom, blockStart);
            parseGame(blockStart, end);
            skeletonFrom = end;
            blockStart = std::string_view::npos;
        };
        for (;;) {
            const void* found = at < size ? std::memchr(data + at, '<', size - at) : nullptr;
            const auto open =
                found == nullptr ? size
                                 : static_cast<std::size_t>(static_cast<const char*>(found) - data);
            // The library takes a NUL byte for the end of the document; after the
            // root, whatever follows it is no part of the dat.
            const void* nul = depth == 0 ? std::memchr(data + at, '\0', open - at) : nullptr;
            if (depth == 0 && roots > 0) {
                const std::size_t stop =
                    nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - data)
                                   : open;
                refuseAfterRoot(at, stop, nul == nullptr && found != nullptr);
            }
            if (nul != nullptr || found == nullptr) break;
            const std::string_view rest = text_.substr(open);
            if (const std::size_t after = endOfOpaque(open); after != std::string_view::npos) {
                at = after;
            } else if (rest.starts_with("<!")) {
                at = endOfDeclaration(open);
            } else if (rest.starts_with("</")) {
                at = find(">", open + 2, open, "end tag");
                --depth;
                if (depth < 0) fail(open, "malformed XML: an end tag without its start tag");
                if (depth == 1 && blockStart != std::string_view::npos) endBlock(at);
            } else {
                at = endOfTag(open);
                if (at == std::string_view::npos) fail(open, "malformed XML: unterminated tag");
                const bool empty = data[at - 2] == '/';
                if (depth == 0 && roots++ == 0) checkRoot(open, at);
                if (depth == 1 && roots == 1 && isGameTag(tagName(open, at))) {
                    dat_.storage.passed(open);
                    if (const std::size_t end = tryLean(open); end != std::string_view::npos) {
                        addToSkeleton(skeletonFrom, open);
                        skeletonFrom = at = end;
                        continue;
                    }
                    blockStart = open;
                    if (empty) {
                        endBlock(at);
                        continue;
                    }
                    // Most blocks end at the first end tag of their name; when the
                    // library agrees, the walk through the block's tags is saved.
                    if (const std::size_t end = firstEndTag(tagName(open, at), at);
                        end != std::string_view::npos && tryGame(open, end)) {
                        addToSkeleton(skeletonFrom, open);
                        skeletonFrom = at = end;
                        blockStart = std::string_view::npos;
                        continue;
                    }
                }
                if (!empty) ++depth;
            }
        }
        if (blockStart != std::string_view::npos) {
            fail(blockStart, "malformed XML: the file ends inside this element (truncated file?)");
        }
        addToSkeleton(skeletonFrom, size);
    }

    // After the root element only blanks, comments and processing instructions
    // may come: a game there would be left out of the dat without a word. The
    // text [from, to) must be blanks and, when `markupAtTo`, the markup at `to`
    // a comment or an instruction.
    void refuseAfterRoot(std::size_t from, std::size_t to, bool markupAtTo) {
        for (std::size_t at = from; at < to; ++at) {
            const char c = text_[at];
            if (c != ' ' && c != '\t' && c != '\r' && c != '\n') {
                fail(at, "malformed XML: text after the root element");
            }
        }
        if (!markupAtTo) return;
        const std::string_view rest = text_.substr(to);
        if (!rest.starts_with("<!--") && !rest.starts_with("<?")) {
            fail(to,
                 "malformed XML: markup after the root element (only comments and processing "
                 "instructions may follow it)");
        }
    }

    // After the first "</name>" from `from` on, whatever it stands in.
    std::size_t firstEndTag(std::string_view name, std::size_t from) const {
        const char* data = text_.data();
        const std::size_t size = text_.size();
        for (std::size_t at = from;;) {
            const std::size_t found = findEndTagStart(at);
            if (found == std::string_view::npos) return found;
            std::size_t after = found + 2 + name.size();
            // Most end tags in a block are of other names: one byte tells.
            if (found + 2 < size && data[found + 2] == name.front() &&
                text_.compare(found + 2, name.size(), name) == 0) {
                while (after < size && (data[after] == ' ' || data[after] == '\t' ||
                                        data[after] == '\r' || data[after] == '\n')) {
                    ++after;
                }
                if (after < size && data[after] == '>') return after + 1;
            }
            at = found + 1;
        }
    }

    // The next "</" from `from` on. The block's end is looked for through
    // megabytes of tags, so sixteen bytes are tried at a time where the
    // processor can.
    std::size_t findEndTagStart(std::size_t from) const {
        const char* data = text_.data();
        const std::size_t size = text_.size();
        std::size_t at = from;
#if defined(__SSE2__)
        const __m128i open = _mm_set1_epi8('<');
        const __m128i slash = _mm_set1_epi8('/');
        for (; at + 17 <= size; at += 16) {
            const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
            const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at + 1));
            const int mask = _mm_movemask_epi8(
                _mm_and_si128(_mm_cmpeq_epi8(here, open), _mm_cmpeq_epi8(next, slash)));
            if (mask != 0)
                return at + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
        }
#endif
        for (; at + 1 < size; ++at) {
            if (data[at] == '<' && data[at + 1] == '/') return at;
        }
        return std::string_view::npos;
    }

    void checkRoot(std::size_t open, std::size_t end) {
        const std::string_view name = tagName(open, end);
        if (name != "mame" && name != "datafile") {
            fail(open,
                 "the XML root element is <" + std::string(name) + ">, not <mame> or <datafile>");
        }
    }

    struct Piece {
        std::size_t skeletonOffset;
        std::size_t textOffset;
    };

    void addToSkeleton(std::size_t begin, std::size_t end) {
        if (begin >= end) return;
        pieces_.push_back({skeleton_.size(), begin});
        skeleton_.append(text_.substr(begin, end - begin));
    }

    std::size_t textOffsetOf(std::size_t skeletonOffset) const {
        std::size_t offset = skeletonOffset;
        for (const Piece& piece : pieces_) {
            if (piece.skeletonOffset > skeletonOffset) break;
            offset = piece.textOffset + (skeletonOffset - piece.skeletonOffset);
        }
        return offset;
    }

    // The text around the game blocks must be a document as well: prolog, root
    // and whatever else the root holds.
    void checkSkeleton() {
        // A copy, not in place: the two part ways over a NUL byte after the root,
        // and a reader of the whole file would make a copy.
        const pugi::xml_parse_result result = document_.load_buffer(
            skeleton_.data(), skeleton_.size(), kParseOptions, pugi::encoding_utf8);
        if (!result) {
            fail(textOffsetOf(static_cast<std::size_t>(result.offset < 0 ? 0 : result.offset)),
                 std::string("malformed XML: ") + result.description());
        }
        const pugi::xml_node root = document_.document_element();
        const std::string_view rootName = root.name();
        if (rootName != "mame" && rootName != "datafile") {
            fail(0, "the XML root element is <" + std::string(rootName) +
                        ">, not <mame> or <datafile>");
        }
    }

    // The blocks are parsed without the library's conversions of attribute
    // values (entities, tabs and line ends), as nearly every value has none and
    // the conversion pass is a tenth of the parse. A value that has one is
    // converted by the library all the same, on a document of its own, with the
    // options a whole-file parse would use: the result is the same either way.
    struct Value {
        const char* text;
        std::size_t length;

        std::string_view view() const { return {text, length}; }
    };

    // `shift` takes an offset in the scratch buffer to the same byte's in the text.
    Value valueOf(const pugi::xml_attribute& attribute, std::size_t shift) {
        const char* raw = attribute.value();
        const std::size_t plainLength = lengthBeforeConversion(raw);
        if (raw[plainLength] == '\0') return {raw, plainLength};
        const std::size_t length = plainLength + std::strlen(raw + plainLength);
        // The value stands in the text as it was, followed by its closing quote.
        const std::size_t offset = shift + static_cast<std::size_t>(raw - scratch_.data());
        const char quote = text_[offset + length];
        valueScratch_.assign("<a v=");
        valueScratch_.append(1, quote).append(raw, length).append(1, quote).append("/>");
        const pugi::xml_parse_result result = valueDocument_.load_buffer(
            valueScratch_.data(), valueScratch_.size(), pugi::parse_default, pugi::encoding_utf8);
        if (!result) fail(offset, std::string("malformed XML: ") + result.description());
        const char* decoded = valueDocument_.document_element().first_attribute().value();
        return {decoded, std::strlen(decoded)};
    }

    // The bytes of a value in scratch_ before its end or the first byte that
    // the library would convert ('&', a tab or a line end).
    std::size_t lengthBeforeConversion(const char* value) const {
#if defined(__SSE2__)
        if (value >= scratch_.data() && value < scratch_.data() + scratch_.size() - kValueReach) {
            for (std::size_t at = 0;; at += 16) {
                const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(value + at));
                const auto is = [&here](char c) { return BaselineBytes::is(here, c); };
                const int stops = _mm_movemask_epi8(
                    _mm_or_si128(_mm_or_si128(is('\0'), is('&')),
                                 _mm_or_si128(is('\t'), _mm_or_si128(is('\r'), is('\n')))));
                if (stops != 0) {
                    return at +
                           static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(stops)));
                }
            }
        }
#endif
        return std::strcspn(value, "&\t\r\n");
    }

    // A string of the game's block, as the library reads it (entities and line
    // ends decoded), copied into the dat's own strings.
    Span keep(const pugi::xml_attribute& attribute, std::size_t shift) {
        if (!attribute) return {};
        const Value value = valueOf(attribute, shift);
        if (value.length == 0) return {};
        return dat_.keep(value.view(),
                         shift + static_cast<std::size_t>(attribute.value() - scratch_.data()));
    }

    // Where the element whose name the library gives starts in the text.
    std::size_t startOf(const pugi::xml_node& node, std::size_t shift) const {
        return shift + static_cast<std::size_t>(node.name() - scratch_.data()) - 1;
    }

    // The block that starts at `open` read from the bytes that count alone: its
    // end, or npos, with nothing read, when the walker or the library would
    // rather see the whole block.
    std::size_t tryLean(std::size_t open) {
        const std::size_t end = walker_.walk(open, cuts_);
        if (end == std::string_view::npos) return end;
        scratch_.clear();
        for (Cut& cut : cuts_) {
            cut.scratchBegin = scratch_.size();
            scratch_.append(text_.data() + cut.begin, cut.end - cut.begin);
        }
        if (!parseScratch()) return std::string_view::npos;
        readGame(open, end, true);
        return end;
    }

    // The block read as a game when the library takes [begin, end) for one
    // element; false, with nothing read, when it does not.
    bool tryGame(std::size_t begin, std::size_t end) {
        if (!parseBlock(begin, end)) return false;
        readGame(begin, end, false);
        return true;
    }

    // The library's reading of the whole block [begin, end), in scratch_.
    pugi::xml_parse_result parseBlock(std::size_t begin, std::size_t end) {
        refuseNul(begin, end);
        scratch_.assign(text_.data() + begin, end - begin);
        return parseScratch();
    }

    // The small document in scratch_ parsed in place. Zeros follow it, so that
    // its values may be read sixteen bytes at a time.
    pugi::xml_parse_result parseScratch() {
        const std::size_t size = scratch_.size();
        scratch_.append(kValueReach, '\0');
        return document_.load_buffer_inplace(scratch_.data(), size, kBlockParseOptions,
                                             pugi::encoding_utf8);
    }

    // The library takes a NUL byte for the end of its buffer, and in a block's
    // buffer of its own that may end the block early where the whole document
    // would not end: no block may hold one.
    void refuseNul(std::size_t begin, std::size_t end) {
        const void* nul = std::memchr(text_.data() + begin, '\0', end - begin);
        if (nul != nullptr) {
            fail(static_cast<std::size_t>(static_cast<const char*>(nul) - text_.data()),
                 "malformed XML: a NUL byte inside an element");
        }
    }

    void parseGame(std::size_t begin, std::size_t end) {
        const pugi::xml_parse_result result = parseBlock(begin, end);
        if (!result) failParse(begin, result);
        readGame(begin, end, false);
    }

    // The game in the document that the library has just parsed: the whole
    // block, or when `lean` the cuts.
    void readGame(std::size_t begin, std::size_t end, bool lean) {
        const pugi::xml_node node = document_.document_element();
        Game game;
        game.name = keep(node.attribute("name"), begin);
        if (game.name.empty()) {
            fail(begin, "the <" + std::string(node.name()) + "> element has no name");
        }
        game.cloneOf = keep(node.attribute("cloneof"), begin);
        game.romOf = keep(node.attribute("romof"), begin);
        game.firstEntry = static_cast<std::uint32_t>(dat_.entries.size());
        std::size_t kept = 1;
        for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
            const char* kind = child.name();
            const bool rom = nameIs(kind, "rom");
            if ((rom || nameIs(kind, "disk")) && child.type() == pugi::node_element) {
                if (lean) {
                    const Cut& cut = cuts_[kept++];
                    readEntry(child, !rom, cut.begin - cut.scratchBegin, cut.end);
                } else {
                    readEntry(child, !rom, begin, endOfEntry(child, begin, end));
                }
            }
        }
        game.entryCount = static_cast<std::uint32_t>(dat_.entries.size()) - game.firstEntry;
        const detail::ByteRange range = detail::wholeLines(text_, begin, end);
        game.blockBegin = range.begin;
        game.blockEnd = range.end;
        dat_.games.push_back(game);
    }

    // The entry that `node` gives, which ends in the text at `end`.
    void readEntry(const pugi::xml_node& node, bool disk, std::size_t shift, std::size_t end) {
        const std::size_t start = startOf(node, shift);
        Entry entry;
        if (disk) entry.flags |= kEntryDisk;
        // One pass over the attributes: a dat has hundreds of thousands of these.
        // The library keeps a repeated attribute; the first of a name counts.
        unsigned seen = 0;
        const auto first = [&seen](unsigned bit) {
            const bool isFirst = (seen & bit) == 0;
            seen |= bit;
            return isFirst;
        };
        for (pugi::xml_attribute attribute = node.first_attribute(); attribute;
             attribute = attribute.next_attribute()) {
            // Without a length: most names differ from each wanted one at once.
            const char* name = attribute.name();
            if (nameIs(name, "name")) {
                if (first(1)) entry.name = keep(attribute, shift);
            } else if (nameIs(name, "merge")) {
                if (first(2)) entry.setMerged(valueOf(attribute, shift).length != 0);
            } else if (nameIs(name, "sha1")) {
                if (first(4)) entry.setSha1(keep(attribute, shift));
            } else if (nameIs(name, "md5")) {
                if (first(8)) entry.setMd5(keep(attribute, shift));
            } else if (nameIs(name, "size")) {
                if (first(16) && detail::parseSize(valueOf(attribute, shift).view(), entry.size)) {
                    entry.flags |= kEntryHasSize;
                }
            } else if (nameIs(name, "crc")) {
                if (first(32) && detail::parseCrc(valueOf(attribute, shift).view(), entry.crc)) {
                    entry.flags |= kEntryHasCrc;
                }
            } else if (nameIs(name, "status")) {
                if (first(64) && detail::isNoDumpWord(valueOf(attribute, shift).view())) {
                    entry.flags |= kEntryNoDump;
                }
            }
        }
        if (entry.name.empty()) {
            fail(start, "the <" + std::string(node.name()) + "> element has no name");
        }
        const detail::ByteRange range = detail::wholeLines(text_, start, end);
        entry.cutBegin = range.begin;
        entry.cutEnd = range.end;
        dat_.entries.push_back(entry);
    }

    // Where a rom or disk element ends: after "/>", else after its end tag. The
    // library has checked the block already; the walk only skips what may hide
    // a '<' or '>'.
    std::size_t endOfEntry(const pugi::xml_node& node, std::size_t blockBegin,
                           std::size_t blockEnd) {
        const std::size_t start = startOf(node, blockBegin);
        // The start tag's last value ends at its closing quote, where the library
        // put the value's end: only blanks and the tag's end follow, so the walk
        // through the tag starts there.
        std::size_t from = start;
        const char* last = node.last_attribute().value();
        if (last >= scratch_.data() && last < scratch_.data() + scratch_.size()) {
            from =
                blockBegin + static_cast<std::size_t>(last - scratch_.data()) + std::strlen(last);
        }
        const std::size_t tagEnd = endOfTag(from);
        if (tagEnd == std::string_view::npos || tagEnd > blockEnd) {
            fail(start, "malformed XML: unterminated tag");
        }
        if (text_[tagEnd - 2] == '/') return tagEnd;
        int depth = 1;
        for (std::size_t at = tagEnd; at < blockEnd;) {
            const std::size_t open = text_.find('<', at);
            if (open >= blockEnd) break;
            if (const std::size_t after = endOfOpaque(open); after != std::string_view::npos) {
                at = after;
            } else if (text_.compare(open, 2, "</") == 0) {
                at = find(">", open + 2, open, "end tag");
                if (--depth == 0) return at;
            } else {
                at = endOfTag(open);
                if (at == std::string_view::npos) break;
                if (text_[at - 2] != '/') ++depth;
            }
        }
        fail(start, "cannot find the end of this element");
    }

    // For the skeleton, which is parsed whole.
    static constexpr unsigned kParseOptions = pugi::parse_default;
    // For the game blocks: the values that count are converted by valueOf.
    static constexpr unsigned kBlockParseOptions = pugi::parse_minimal;
    // How far past the end of a value in scratch_ it may be read.
    static constexpr std::size_t kValueReach = 16;

    Dat& dat_;
    std::string_view text_;
    pugi::xml_document document_;
    std::string scratch_;
    pugi::xml_document valueDocument_;
    std::string valueScratch_;
    BlockWalker walker_;
    std::vector<Cut> cuts_;
    std::string skeleton_;
    std::vector<Piece> pieces_;
};

}  // namespace

std::vector<TagScan> tagScansHere() {
    std::vector<TagScan> scans = {TagScan::Baseline};
#if ZFE_WIDE_TAGS
    __builtin_cpu_init();
    const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
                      __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("pclmul") &&
                      __builtin_cpu_supports("popcnt");
    if (avx2) scans.push_back(TagScan::Avx2);
#endif
    return scans;
}

void parseXml(Dat& dat, TagScan scan) {
    XmlReader(dat, scan).run();
}

void parseXml(Dat& dat) {
    static const TagScan fastest = tagScansHere().back();
    parseXml(dat, fastest);
}

bool xmlSupported() {
    return true;
}

}  // namespace zfe::zandorel

#else  // no XML library in this build

namespace zfe::zandorel {

std::vector<TagScan> tagScansHere() {
    return {TagScan::Baseline};
}

void parseXml(Dat& dat, TagScan) {
    parseXml(dat);
}

void parseXml(Dat& dat) {
    throw DatError(dat.path, positionOf(dat.text, 0),
                   "this is an XML dat, and this build of zandorel cannot read XML "
                   "(it was built without pugixml); convert the dat to listinfo text");
}

bool xmlSupported() {
    return false;
}

}  // namespace zfe::zandorel

#endif
