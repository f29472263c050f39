#include "tools/zandorel/dat.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <new>
#include <random>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "tools/zandorel/field_text.h"

namespace zfe::zandorel {

namespace {

std::string describePosition(const std::string& path, TextPosition position) {
    return pathText(path) + ":" + std::to_string(position.line) + ":" +
           std::to_string(position.column);
}

constexpr std::uint32_t kFreeSlot = UINT32_MAX;

}  // namespace

// A later game of a name already seen is dropped, so that every name means one
// game, the first.
void Dat::indexGames() {
    Dat& dat = *this;
    dat.gamesEnd = dat.games.empty() ? 0 : dat.games.back().blockEnd;
    std::size_t slots = 16;
    while (slots < dat.games.size() * 2) slots *= 2;
    dat.nameTable.assign(slots, kFreeSlot);
    LargeVector<Game> kept;
    bool anyDropped = false;
    for (std::uint32_t g = 0; g < dat.games.size(); ++g) {
        const Game& game = dat.games[g];
        const std::string_view name = dat.view(game.name);
        std::size_t slot = hashFolded(name) & (slots - 1);
        bool duplicate = false;
        while (dat.nameTable[slot] != kFreeSlot) {
            const Game& other =
                anyDropped ? kept[dat.nameTable[slot]] : dat.games[dat.nameTable[slot]];
            if (equalsFolded(dat.view(other.name), name)) {
                duplicate = true;
                dat.duplicates.push_back({std::string(name), game.blockBegin, other.blockBegin});
                break;
            }
            slot = (slot + 1) & (slots - 1);
        }
        if (duplicate) {
            if (!anyDropped) kept.assign(dat.games.begin(), dat.games.begin() + g);
            anyDropped = true;
            continue;
        }
        if (anyDropped) {
            dat.nameTable[slot] = static_cast<std::uint32_t>(kept.size());
            kept.push_back(game);
        } else {
            dat.nameTable[slot] = g;
        }
    }
    if (anyDropped) dat.games = std::move(kept);
}

std::size_t nextLineStart(std::string_view text, std::size_t from) {
    const std::size_t end = text.find_first_of("\r\n", from);
    if (end == std::string_view::npos) return end;
    const bool crlf = text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n';
    return end + (crlf ? 2 : 1);
}

TextPosition positionOf(std::string_view text, std::size_t offset) {
    offset = std::min(offset, text.size());
    TextPosition position;
    std::size_t lineStart = 0;
    for (std::size_t next = 0; (next = nextLineStart(text, lineStart)) <= offset;
         lineStart = next) {
        ++position.line;
    }
    position.column = static_cast<std::uint32_t>(offset - lineStart + 1);
    return position;
}

std::vector<TextPosition> positionsOf(const Bytes& bytes, const std::vector<std::size_t>& sorted) {
    std::vector<TextPosition> positions;
    positions.reserve(sorted.size());
    constexpr std::size_t kPiece = std::size_t{1} << 20;
    std::string scratch;
    TextPosition position;
    std::size_t lineStart = 0;
    std::size_t next = 0;  // of sorted
    const std::size_t size = bytes.size();
    for (std::size_t begin = 0; begin < size && next < sorted.size(); begin += kPiece) {
        // One byte more, to tell a CR that ends a line from the CR of a CRLF.
        const std::size_t end = std::min(size, begin + kPiece + 1);
        const std::string_view piece = bytes.range(begin, end, scratch);
        const std::size_t last = std::min(size, begin + kPiece);
        for (std::size_t at = begin; at < last; ++at) {
            for (; next < sorted.size() && sorted[next] == at; ++next) {
                positions.push_back(
                    {position.line, static_cast<std::uint32_t>(at - lineStart + 1)});
            }
            if (next == sorted.size()) break;
            const char c = piece[at - begin];
            if (c == '\n' || (c == '\r' && (at + 1 == size || piece[at + 1 - begin] != '\n'))) {
                ++position.line;
                lineStart = at + 1;
            }
        }
    }
    for (; next < sorted.size(); ++next) {
        const std::size_t at = std::min(sorted[next], size);
        positions.push_back({position.line, static_cast<std::uint32_t>(at - lineStart + 1)});
    }
    return positions;
}

DatError::DatError(std::string path, TextPosition position, std::string reason)
    : std::runtime_error(describePosition(path, position) + ": " + reason),
      path_(std::move(path)),
      reason_(std::move(reason)),
      position_(position),
      hasPosition_(true) {}

DatError::DatError(std::string path, std::string reason)
    : std::runtime_error(pathText(path) + ": " + reason),
      path_(std::move(path)),
      reason_(std::move(reason)) {}

DatFormat detectFormat(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first != std::string_view::npos && text[first] == '<') return DatFormat::Xml;
    return DatFormat::Listinfo;
}

Bytes::Bytes(std::size_t size) : data_(nullptr, Release{size + 1}), size_(size) {
    data_.reset(static_cast<char*>(allocateLarge(size + 1)));
    data_[size] = '\0';
}

#if defined(__linux__) && defined(MADV_HUGEPAGE)
namespace {
constexpr std::size_t kLargePage = std::size_t{2} << 20;
constexpr std::size_t kLargeBlock = 2 * kLargePage;
std::size_t wholeLargePages(std::size_t bytes) {
    return (bytes + kLargePage - 1) / kLargePage * kLargePage;
}
}  // namespace
#endif

void* allocateLarge(std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (bytes >= kLargeBlock) {
        const std::size_t mapped = wholeLargePages(bytes);
        void* memory =
            mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (memory == MAP_FAILED) throw std::bad_alloc();
        madvise(memory, mapped, MADV_HUGEPAGE);
        return memory;
    }
#endif
    return ::operator new(bytes);
}

void discardLarge(void* memory, std::size_t bytes, std::size_t from, std::size_t to) noexcept {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::size_t kPage = 4096;
    from = (from + kPage - 1) / kPage * kPage;
    to = to / kPage * kPage;
    if (bytes >= kLargeBlock && from < to) {
        madvise(static_cast<char*>(memory) + from, to - from, MADV_DONTNEED);
    }
#else
    (void)memory, (void)bytes, (void)from, (void)to;
#endif
}

void releaseLarge(void* memory, std::size_t bytes) noexcept {
    if (memory == nullptr) return;
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (bytes >= kLargeBlock) {
        munmap(memory, wholeLargePages(bytes));
        return;
    }
#else
    (void)bytes;
#endif
    ::operator delete(memory);
}

Span Dat::own(Span span) {
    if (span.inDecoded || span.empty()) return span;
    return keep(text.substr(span.offset, span.length), span.offset);
}

Span Dat::keep(std::string_view value, std::size_t offset) {
    if (decoded.size() + value.size() >= 0x80000000U) {
        throw DatError(path, positionOf(text, offset), "too many strings");
    }
    Span copy;
    copy.offset = static_cast<std::uint32_t>(decoded.size());
    copy.length = static_cast<std::uint32_t>(value.size()) & 0x7fffffffU;
    copy.inDecoded = 1;
    decoded.append(value);
    return copy;
}

void Dat::addDeviceRef(std::string_view name, std::size_t offset) {
    const auto nameOf = [&](std::uint32_t id) {
        const std::uint32_t begin = id == 0 ? 0 : deviceNameEnds_[id - 1];
        return std::string_view(deviceNameText_).substr(begin, deviceNameEnds_[id] - begin);
    };
    // A real dat names a few thousand devices some hundreds of thousands of
    // times, each machine its whole tree: the name last seen at a place of a
    // small table, found by a hash that needs no key (a collision only misses),
    // is tried before the keyed hash and the look-up, which cost ten times more.
    std::uint32_t quick = 2166136261U;
    for (const char c : name) quick = (quick ^ static_cast<unsigned char>(c)) * 16777619U;
    if (recentDevices_.empty()) recentDevices_.assign(kRecentDevices, kFreeSlot);
    std::uint32_t& recent = recentDevices_[(quick ^ (quick >> 16)) % kRecentDevices];
    if (recent != kFreeSlot && nameOf(recent) == name) {
        deviceRefs.push_back(recent);
        return;
    }
    if (deviceNameTable_.size() < 2 * (deviceNames.size() + 1)) {
        deviceNameTable_.assign(std::max<std::size_t>(64, deviceNameTable_.size() * 2),
                                {kFreeSlot, 0});
        const std::size_t mask = deviceNameTable_.size() - 1;
        for (std::uint32_t id = 0; id < deviceNames.size(); ++id) {
            std::size_t slot = deviceNameHashes_[id] & mask;
            while (deviceNameTable_[slot].id != kFreeSlot) slot = (slot + 1) & mask;
            deviceNameTable_[slot] = {id, static_cast<std::uint32_t>(deviceNameHashes_[id] >> 32)};
        }
    }
    const std::uint64_t hash = hashFolded(name);
    const auto check = static_cast<std::uint32_t>(hash >> 32);
    const std::size_t mask = deviceNameTable_.size() - 1;
    std::size_t slot = hash & mask;
    for (; deviceNameTable_[slot].id != kFreeSlot; slot = (slot + 1) & mask) {
        const DeviceSlot& taken = deviceNameTable_[slot];
        if (taken.check == check && equalsFolded(nameOf(taken.id), name)) {
            deviceRefs.push_back(taken.id);
            // Only a name of these very bytes is found there again.
            if (nameOf(taken.id) == name) recent = taken.id;
            return;
        }
    }
    const auto id = static_cast<std::uint32_t>(deviceNames.size());
    deviceNames.push_back(keep(name, offset));
    deviceNameHashes_.push_back(hash);
    deviceNameText_.append(name);
    deviceNameEnds_.push_back(static_cast<std::uint32_t>(deviceNameText_.size()));
    deviceNameTable_[slot] = {id, check};
    deviceRefs.push_back(id);
    recent = id;
}

std::optional<std::uint32_t> Dat::findGame(std::string_view name) const {
    if (nameTable.empty()) return std::nullopt;
    const std::size_t mask = nameTable.size() - 1;
    for (std::size_t slot = hashFolded(name) & mask; nameTable[slot] != UINT32_MAX;
         slot = (slot + 1) & mask) {
        if (equalsFolded(view(games[nameTable[slot]].name), name)) return nameTable[slot];
    }
    return std::nullopt;
}

bool equalsFolded(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i] && foldCase(a[i]) != foldCase(b[i])) return false;
    }
    return true;
}

int compareFolded(std::string_view a, std::string_view b) {
    if (a == b) return 0;  // the common case when two dats are compared, at memcmp's pace
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        if (a[i] == b[i]) continue;
        const auto x = static_cast<unsigned char>(foldCase(a[i]));
        const auto y = static_cast<unsigned char>(foldCase(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

std::uint64_t freshRandom() {
    static std::atomic<std::uint64_t> counter{0};
    static const std::uint64_t base = [] {
        std::random_device device;
        const auto now =
            static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
        return ((static_cast<std::uint64_t>(device()) << 32) ^ device()) ^
               (now * 0x9E3779B97F4A7C15ULL);
    }();
    // A bijective mix of base and count: two calls never give the same word.
    std::uint64_t x = base + 0x9E3779B97F4A7C15ULL * ++counter;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

namespace {

// SipHash-1-3 with a key drawn once per run.
struct SipKey {
    std::uint64_t k0 = freshRandom();
    std::uint64_t k1 = freshRandom();
};

const SipKey& runKey() {
    static const SipKey key;
    return key;
}

inline std::uint64_t rotate(std::uint64_t x, int bits) {
    return (x << bits) | (x >> (64 - bits));
}

struct SipState {
    std::uint64_t v0, v1, v2, v3;

    SipState()
        : v0(runKey().k0 ^ 0x736f6d6570736575ULL),
          v1(runKey().k1 ^ 0x646f72616e646f6dULL),
          v2(runKey().k0 ^ 0x6c7967656e657261ULL),
          v3(runKey().k1 ^ 0x7465646279746573ULL) {}

    void round() {
        v0 += v1;
        v1 = rotate(v1, 13) ^ v0;
        v0 = rotate(v0, 32);
        v2 += v3;
        v3 = rotate(v3, 16) ^ v2;
        v0 += v3;
        v3 = rotate(v3, 21) ^ v0;
        v2 += v1;
        v1 = rotate(v1, 17) ^ v2;
        v2 = rotate(v2, 32);
    }
    void absorb(std::uint64_t word) {
        v3 ^= word;
        round();
        v0 ^= word;
    }
    std::uint64_t finish() {
        v2 ^= 0xff;
        round();
        round();
        round();
        return v0 ^ v1 ^ v2 ^ v3;
    }
};

}  // namespace

// Eight bytes at a time, folded together: A-Z become a-z, nothing else changes.
inline std::uint64_t foldWord(std::uint64_t word) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    constexpr std::uint64_t kHigh = 0x8080808080808080ULL;
    const std::uint64_t low = word & ~kHigh;
    const std::uint64_t fromA = low + (0x80 - 'A') * kOnes;      // high bit: byte >= 'A'
    const std::uint64_t pastZ = low + (0x80 - 'Z' - 1) * kOnes;  // high bit: byte > 'Z'
    const std::uint64_t upper = fromA & ~pastZ & ~word & kHigh;
    return word | (upper >> 2);
}

std::size_t hashFolded(std::string_view text) {
    SipState state;
    const char* at = text.data();
    std::size_t left = text.size();
    for (; left >= 8; at += 8, left -= 8) {
        std::uint64_t word = 0;
        for (int i = 0; i < 8; ++i) {
            word |= static_cast<std::uint64_t>(static_cast<unsigned char>(at[i])) << (8 * i);
        }
        state.absorb(foldWord(word));
    }
    std::uint64_t last = static_cast<std::uint64_t>(text.size() & 0xff) << 56;
    for (std::size_t i = 0; i < left; ++i) {
        last |= static_cast<std::uint64_t>(static_cast<unsigned char>(foldCase(at[i]))) << (8 * i);
    }
    state.absorb(last);
    return static_cast<std::size_t>(state.finish());
}

KeyedHash::KeyedHash() {
    const SipState state;
    v0_ = state.v0;
    v1_ = state.v1;
    v2_ = state.v2;
    v3_ = state.v3;
}

void KeyedHash::add(std::uint64_t word) {
    SipState state;
    state.v0 = v0_, state.v1 = v1_, state.v2 = v2_, state.v3 = v3_;
    state.absorb(word);
    v0_ = state.v0, v1_ = state.v1, v2_ = state.v2, v3_ = state.v3;
}

std::uint64_t KeyedHash::value() const {
    SipState state;
    state.v0 = v0_, state.v1 = v1_, state.v2 = v2_, state.v3 = v3_;
    return state.finish();
}

}  // namespace zfe::zandorel
