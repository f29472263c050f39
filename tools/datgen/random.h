#pragma once

#include <cstddef>
#include <cstdint>

namespace zfe::datgen {

// splitmix64: tiny, fast, and the same sequence everywhere, unlike the
// standard distributions whose output differs between standard libraries.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}

    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }

    // Uniform enough in [0, bound) for synthetic data; bound > 0.
    int below(int bound) { return static_cast<int>(next() % static_cast<std::uint64_t>(bound)); }

    // Inclusive range.
    int between(int low, int high) { return low + below(high - low + 1); }

    bool percent(int chance) { return below(100) < chance; }

    template <typename T, std::size_t N>
    const T& pick(const T (&items)[N]) {
        return items[below(static_cast<int>(N))];
    }

private:
    std::uint64_t state_;
};

}  // namespace zfe::datgen
