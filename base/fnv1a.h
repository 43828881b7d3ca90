// FNV-1a: a hash that gives the same number on every compiler and machine, so
// that what is kept of it (identities, versions, folder and file names) stays
// the same from build to build. No windows: it is tested natively.
#ifndef APPUNTELLO_BASE_FNV1A_H
#define APPUNTELLO_BASE_FNV1A_H

#include <cstddef>
#include <cstdint>
#include <string_view>

template <typename Word, Word Basis, Word Prime> class Fnv1a {
  public:
    void Add(unsigned char byte) { hash_ = static_cast<Word>((hash_ ^ byte) * Prime); }
    void Add(std::string_view bytes)
    {
        for (char c : bytes)
            Add(static_cast<unsigned char>(c));
    }
    // One of several parts, after its length (four bytes, lowest first), so
    // that ("ab", "c") and ("a", "bc") hash apart.
    void AddPart(std::string_view part)
    {
        for (int i = 0; i < 4; ++i)
            Add(static_cast<unsigned char>(part.size() >> (8 * i)));
        Add(part);
    }
    Word value() const { return hash_; }

  private:
    Word hash_ = Basis;
};

using Fnv1a32 = Fnv1a<std::uint32_t, 2166136261u, 16777619u>;
using Fnv1a64 = Fnv1a<std::uint64_t, 0xcbf29ce484222325ull, 0x100000001b3ull>;

#endif
