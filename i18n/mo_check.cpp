#include "i18n/mo_check.h"

#include <stdint.h>

namespace {

const uint32_t kMagic = 0x950412DE;
const uint32_t kSwappedMagic = 0xDE120495;
const size_t kHeaderBytes = 28;

struct Catalogue {
    const unsigned char* data;
    uint64_t size;
    bool swapped;

    uint32_t Word(uint64_t at) const
    {
        const unsigned char* p = data + at;
        return swapped ? (uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3])
                       : (uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0]);
    }

    // A table of `count` entries of `entryBytes` each, at `offset`, inside the file.
    bool Holds(uint64_t offset, uint64_t count, uint64_t entryBytes) const
    {
        return offset <= size && count * entryBytes <= size - offset;
    }

    // Every string of a (length, offset) table lies inside the file with its terminator,
    // which libintl's strcmp and strlen rely on.
    bool StringsSound(uint32_t table, uint32_t count) const
    {
        for (uint32_t i = 0; i < count; ++i) {
            uint64_t length = Word(uint64_t(table) + 8 * i);
            uint64_t offset = Word(uint64_t(table) + 8 * i + 4);
            if (!Holds(offset, length + 1, 1) || data[offset + length] != 0)
                return false;
        }
        return true;
    }
};

bool IsPrime(uint32_t n)
{
    if (n < 2)
        return false;
    for (uint32_t d = 2; uint64_t(d) * d <= n; ++d) {
        if (n % d == 0)
            return false;
    }
    return true;
}

} // namespace

int IsSoundCatalogue(const unsigned char* data, size_t size)
{
    if (!data || size < kHeaderBytes)
        return 0;
    Catalogue mo = {data, size, false};
    uint32_t magic = mo.Word(0);
    if (magic == kSwappedMagic)
        mo.swapped = true;
    else if (magic != kMagic)
        return 0;
    // Later revisions carry system-dependent strings with tables of their own; msgfmt
    // writes them only for formats this program does not use.
    if (mo.Word(4) != 0)
        return 0;
    uint32_t strings = mo.Word(8);
    uint32_t originals = mo.Word(12);
    uint32_t translations = mo.Word(16);
    uint32_t hashSize = mo.Word(20);
    uint32_t hashTable = mo.Word(24);
    if (!mo.Holds(originals, strings, 8) || !mo.Holds(translations, strings, 8))
        return 0;
    if (!mo.StringsSound(originals, strings) || !mo.StringsSound(translations, strings))
        return 0;
    // libintl uses a hash table of more than two slots and probes it, in steps that reach
    // every slot only when the size is prime, until it meets an empty slot; a slot names
    // a string by its index plus one.
    if (hashSize > 2) {
        if (!mo.Holds(hashTable, hashSize, 4) || !IsPrime(hashSize))
            return 0;
        bool empty = false;
        for (uint32_t i = 0; i < hashSize; ++i) {
            uint32_t slot = mo.Word(uint64_t(hashTable) + 4 * i);
            if (slot > strings)
                return 0;
            empty = empty || slot == 0;
        }
        if (!empty)
            return 0;
    }
    return 1;
}
