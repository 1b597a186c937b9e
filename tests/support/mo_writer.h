#pragma once
// Writes compiled gettext catalogues (revision 0, little-endian, with a hash table) the way
// msgfmt lays them out, so that a test can make any catalogue, or spoil one on purpose.
#include <stdint.h>

#include <algorithm>
#include <map>
#include <string>

namespace mo {

inline uint32_t HashString(const std::string& text)
{
    uint32_t hash = 0;
    for (unsigned char c : text) {
        hash = (hash << 4) + c;
        uint32_t high = hash & 0xF0000000u;
        if (high)
            hash ^= (high >> 24) ^ high;
    }
    return hash;
}

inline uint32_t NextPrime(uint32_t n)
{
    for (;; ++n) {
        bool prime = n > 1;
        for (uint32_t d = 2; prime && d * d <= n; ++d)
            prime = n % d != 0;
        if (prime)
            return n;
    }
}

inline void PutWord(std::string& out, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out[at + i] = static_cast<char>(value >> (8 * i));
}

inline uint32_t GetWord(const std::string& in, size_t at)
{
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | static_cast<unsigned char>(in[at + i]);
    return value;
}

// Offsets of the header fields.
const size_t kStrings = 8, kOriginals = 12, kTranslations = 16, kHashSize = 20, kHashTable = 24;

// A catalogue of the translations (key to UTF-8 text) with a UTF-8 header entry, and a hash
// table of the size msgfmt would choose, or of the size given (which must leave every key a
// free slot on its probe).
inline std::string Build(std::map<std::string, std::string> entries, uint32_t hashSize = 0)
{
    entries[""] = "Content-Type: text/plain; charset=UTF-8\n";
    const uint32_t count = static_cast<uint32_t>(entries.size());
    if (!hashSize)
        hashSize = NextPrime(std::max<uint32_t>(3, count * 4 / 3));
    const size_t originals = 28, translations = originals + 8 * count, hashTable = translations + 8 * count;
    std::string out(hashTable + 4 * hashSize, '\0');
    PutWord(out, 0, 0x950412DE);
    PutWord(out, kStrings, count);
    PutWord(out, kOriginals, originals);
    PutWord(out, kTranslations, translations);
    PutWord(out, kHashSize, hashSize);
    PutWord(out, kHashTable, hashTable);
    uint32_t index = 0;
    for (const auto& entry : entries) { // std::map keeps the keys in the order libintl searches
        PutWord(out, originals + 8 * index, static_cast<uint32_t>(entry.first.size()));
        PutWord(out, originals + 8 * index + 4, static_cast<uint32_t>(out.size()));
        out += entry.first + '\0';
        uint32_t hash = HashString(entry.first);
        uint32_t slot = hash % hashSize, step = 1 + hash % (hashSize - 2);
        while (GetWord(out, hashTable + 4 * slot) != 0)
            slot = (slot + step) % hashSize;
        PutWord(out, hashTable + 4 * slot, index + 1);
        ++index;
    }
    index = 0;
    for (const auto& entry : entries) {
        PutWord(out, translations + 8 * index, static_cast<uint32_t>(entry.second.size()));
        PutWord(out, translations + 8 * index + 4, static_cast<uint32_t>(out.size()));
        out += entry.second + '\0';
        ++index;
    }
    return out;
}

} // namespace mo
