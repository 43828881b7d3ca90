// A small random generator of our own (SplitMix64), so that a seed makes the
// same sequence with every compiler and library: the generated store files of
// the differential test and the fuzzer's changes are reproducible. Needs no
// windows: the native and fuzz builds use it too.
#ifndef APPUNTELLO_TESTS_RNG_H
#define APPUNTELLO_TESTS_RNG_H

#include <cstddef>
#include <cstdint>
#include <vector>

class Rng {
  public:
    explicit Rng(std::uint64_t seed) : state_(seed * 0x9e3779b97f4a7c15ull + 0x632be59bd9b4e019ull) {}

    std::uint32_t Next()
    {
        std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return static_cast<std::uint32_t>((z ^ (z >> 31)) >> 16);
    }
    std::size_t Below(std::size_t n) { return Next() % n; }
    bool OneIn(std::size_t n) { return Below(n) == 0; }
    template <typename T> const T& Pick(const std::vector<T>& items) { return items[Below(items.size())]; }

  private:
    std::uint64_t state_;
};

#endif
