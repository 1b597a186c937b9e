// Compares the template rewrite and the text-mode translations with plain byte-by-byte ones.
// Every buffer handed to the code under test is allocated at its exact size, so
// AddressSanitizer sees a read past a length or a write past a capacity.
//
// Input: [name choice][flags][pieces][replacement length, 2 bytes][name bytes, when taken
// from the input][replacement bytes][text]. Flag 1 turns each 0x01 byte of the text into the
// name, flag 2 starts the replacement with the name, flag 4 also checks the sizing on numbers
// taken from the input. The text is also streamed, with every name replaced when flag 8 is
// set (the GPD) and read in text mode when flag 16 is (the INI), in pieces whose lengths the
// byte `pieces` seeds.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "install/template_text.h"

#define CHECK(cond)                                                              \
    do {                                                                         \
        if (!(cond)) {                                                           \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            abort();                                                             \
        }                                                                        \
    } while (0)

enum { MaxReplacement = 300, Untouched = 0xA5 };

typedef struct {
    const uint8_t* data;
    size_t size;
} Input;

static uint8_t TakeByte(Input* in)
{
    if (!in->size) {
        return 0;
    }
    --in->size;
    return *in->data++;
}

static size_t TakeBytes(Input* in, uint8_t* out, size_t wanted)
{
    size_t n = wanted < in->size ? wanted : in->size;
    memcpy(out, in->data, n);
    in->data += n;
    in->size -= n;
    return n;
}

static uint64_t TakeNumber(Input* in)
{
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) {
        v = (v << 8) | TakeByte(in);
    }
    return v;
}

static int MatchesAt(const uint8_t* text, size_t length, size_t at, const uint8_t* name, size_t nameLength)
{
    return nameLength && at + nameLength <= length && memcmp(text + at, name, nameLength) == 0;
}

// The reference: walk the text one byte at a time. Returns the occurrences found; the
// rewritten text goes to out (large enough for any result) and its length to *outLength.
static size_t Reference(const uint8_t* text, size_t length, const uint8_t* name, size_t nameLength,
                        const uint8_t* replacement, size_t replacementLength, int replaceAll, uint8_t* out,
                        size_t* outLength)
{
    size_t found = 0, o = 0, i = 0;
    while (i < length) {
        if ((replaceAll || found == 0) && MatchesAt(text, length, i, name, nameLength)) {
            memcpy(out + o, replacement, replacementLength);
            o += replacementLength;
            i += nameLength;
            ++found;
        } else {
            out[o++] = text[i++];
        }
    }
    *outLength = o;
    return found;
}

static size_t ReferenceCount(const uint8_t* text, size_t length, const uint8_t* name, size_t nameLength)
{
    size_t found = 0, i = 0;
    while (i < length) {
        if (MatchesAt(text, length, i, name, nameLength)) {
            ++found;
            i += nameLength;
        } else {
            ++i;
        }
    }
    return found;
}

// A text-mode read, said another way: every byte goes out, and an LF whose raw byte before
// it was a CR takes that CR's place; a 0x1A byte ends it.
static size_t ReferenceRead(const uint8_t* raw, size_t length, uint8_t* out)
{
    size_t o = 0;
    for (size_t i = 0; i < length && raw[i] != 0x1A; ++i) {
        if (raw[i] == '\n' && i > 0 && raw[i - 1] == '\r') {
            out[o - 1] = '\n';
        } else {
            out[o++] = raw[i];
        }
    }
    return o;
}

// A text-mode write into a new buffer of the exact size (one byte at least), its length in
// *writtenLength: the lines copied whole with the C runtime, a CR put before each LF. (A loop
// over every byte of a rewrite of megabytes would take most of the target's time.)
static uint8_t* ReferenceWrite(const uint8_t* text, size_t length, size_t* writtenLength)
{
    size_t lineFeeds = 0;
    for (const uint8_t* at = text; (at = memchr(at, '\n', length - (size_t)(at - text))) != NULL; ++at) {
        ++lineFeeds;
    }
    uint8_t* out = malloc(length + lineFeeds ? length + lineFeeds : 1);
    CHECK(out);
    size_t o = 0;
    const uint8_t* from = text;
    for (const uint8_t* at = text; (at = memchr(at, '\n', length - (size_t)(at - text))) != NULL; from = ++at) {
        memcpy(out + o, from, (size_t)(at - from));
        o += (size_t)(at - from);
        out[o++] = '\r';
        out[o++] = '\n';
    }
    memcpy(out + o, from, length - (size_t)(from - text));
    *writtenLength = o + length - (size_t)(from - text);
    return out;
}

static uint8_t* Copy(const uint8_t* bytes, size_t length, size_t capacity)
{
    uint8_t* copy = malloc(capacity ? capacity : 1);
    CHECK(copy);
    memset(copy, Untouched, capacity);
    memcpy(copy, bytes, length);
    return copy;
}

// TextModeWrite in place with exactly the room the written text needs, and one byte less.
static void CheckWrite(const uint8_t* text, size_t length)
{
    size_t expectedLength;
    uint8_t* expected = ReferenceWrite(text, length, &expectedLength);
    int fits = 0;
    CHECK(TextModeWrittenLength((const char*)text, length, &fits) == expectedLength && fits == 1);

    uint8_t* buffer = Copy(text, length, expectedLength);
    CHECK(TextModeWrite((char*)buffer, length, expectedLength) == 1);
    CHECK(memcmp(buffer, expected, expectedLength) == 0);
    free(buffer);
    if (expectedLength > length) {
        buffer = Copy(text, length, expectedLength - 1);
        CHECK(TextModeWrite((char*)buffer, length, expectedLength - 1) == 0);
        CHECK(memcmp(buffer, text, length) == 0);
        for (size_t i = length; i < expectedLength - 1; ++i) {
            CHECK(buffer[i] == Untouched);
        }
        free(buffer);
    }
    free(expected);
}

static void CheckRead(const uint8_t* raw, size_t length)
{
    uint8_t* expected = malloc(length ? length : 1);
    CHECK(expected);
    const size_t expectedLength = ReferenceRead(raw, length, expected);

    uint8_t* text = Copy(raw, 0, length);
    CHECK(TextModeRead((const char*)raw, length, (char*)text) == expectedLength);
    CHECK(memcmp(text, expected, expectedLength) == 0);
    for (size_t i = expectedLength; i < length; ++i) {
        CHECK(text[i] == Untouched);
    }
    free(text);
    uint8_t* inPlace = Copy(raw, length, length);
    CHECK(TextModeRead((const char*)inPlace, length, (char*)inPlace) == expectedLength);
    CHECK(memcmp(inPlace, expected, expectedLength) == 0);
    free(inPlace);

    const uint8_t* zero = memchr(raw, 0, length);
    CHECK(TextLength((const char*)raw, length) == (zero ? (size_t)(zero - raw) : length));
    free(expected);
}

// The clone's way: the names replaced into a buffer sized by WrittenReplacedTextLength, whose
// line ends then grow in place, against the reference rewrite written out.
static void CheckWrittenRewrite(const uint8_t* text, size_t length, const uint8_t* name, size_t nameLength,
                                const uint8_t* replacement, size_t replacementLength, int replaceAll,
                                const uint8_t* rewritten, size_t rewrittenLength, size_t found)
{
    size_t expectedLength;
    uint8_t* expected = ReferenceWrite(rewritten, rewrittenLength, &expectedLength);
    int fits = 0;
    CHECK(WrittenReplacedTextLength((const char*)text, length, found, (const char*)name, nameLength,
                                    (const char*)replacement, replacementLength, &fits) == expectedLength);
    CHECK(fits == 1);
    if (found) {
        uint8_t* buffer = malloc(expectedLength + 1);
        CHECK(buffer);
        CHECK(ReplaceTemplateNames((const char*)text, length, (const char*)name, nameLength, (const char*)replacement,
                                   replacementLength, replaceAll, (char*)buffer, expectedLength + 1) == 1);
        CHECK(TextModeWrite((char*)buffer, rewrittenLength, expectedLength) == 1);
        CHECK(memcmp(buffer, expected, expectedLength) == 0);
        free(buffer);
    }
    free(expected);
}

// One call with a capacity of its own in a buffer of exactly that size, prefilled.
static void CheckCapacity(const uint8_t* text, size_t length, const uint8_t* name, size_t nameLength,
                          const uint8_t* replacement, size_t replacementLength, int replaceAll,
                          const uint8_t* expected, size_t expectedLength, size_t found, size_t capacity)
{
    uint8_t* result = malloc(capacity ? capacity : 1);
    CHECK(result);
    memset(result, Untouched, capacity);
    int ok = ReplaceTemplateNames((const char*)text, length, (const char*)name, nameLength,
                                  (const char*)replacement, replacementLength, replaceAll, (char*)result, capacity);
    if (found && expectedLength < capacity) {
        CHECK(ok == 1);
        CHECK(memcmp(result, expected, expectedLength) == 0);
        CHECK(result[expectedLength] == 0);
        for (size_t i = expectedLength + 1; i < capacity; ++i) {
            CHECK(result[i] == Untouched);
        }
    } else {
        CHECK(ok == 0);
        for (size_t i = 0; i < capacity; ++i) {
            CHECK(result[i] == Untouched);
        }
    }
    free(result);
}

// The whole-text result by the plain translations: the read, the text up to its first zero
// byte, the rewrite, the write. Its length to *expectedLength, the names replaced to *found.
static uint8_t* ReferenceGenerated(const uint8_t* raw, size_t length, const uint8_t* name, size_t nameLength,
                                   const uint8_t* replacement, size_t replacementLength, int replaceAll,
                                   int textModeRead, size_t* expectedLength, size_t* found)
{
    uint8_t* text = malloc(length ? length : 1);
    CHECK(text);
    size_t textLength = length;
    if (textModeRead) {
        textLength = ReferenceRead(raw, length, text);
    } else {
        memcpy(text, raw, length);
    }
    const uint8_t* zero = memchr(text, 0, textLength);
    if (zero) {
        textLength = (size_t)(zero - text);
    }
    const size_t names = ReferenceCount(text, textLength, name, nameLength);
    uint8_t* rewritten = malloc(textLength + names * replacementLength + 1);
    CHECK(rewritten);
    size_t rewrittenLength;
    *found = Reference(text, textLength, name, nameLength, replacement, replacementLength, replaceAll, rewritten,
                       &rewrittenLength);
    uint8_t* expected = ReferenceWrite(rewritten, rewrittenLength, expectedLength);
    free(rewritten);
    free(text);
    return expected;
}

// A small generator for the piece lengths, so that the text's own bytes stay text.
static size_t NextPiece(uint32_t* state, size_t limit)
{
    *state ^= *state << 13;
    *state ^= *state >> 17;
    *state ^= *state << 5;
    return *state % (limit + 1);
}

// The text streamed in pieces chosen by the seed, each piece's output in a buffer of exactly
// the capacity the stream asks for it, against the whole-text result. Before each feed, one
// byte less room is refused with the stream as it was.
static void CheckStream(const uint8_t* raw, size_t length, const uint8_t* name, size_t nameLength,
                        const uint8_t* replacement, size_t replacementLength, int replaceAll, int textModeRead,
                        uint8_t seed)
{
    size_t expectedLength, found;
    uint8_t* expected = ReferenceGenerated(raw, length, name, nameLength, replacement, replacementLength, replaceAll,
                                           textModeRead, &expectedLength, &found);
    // At most about 128 pieces: feeds of a byte or two through a long text would take most
    // of the target's time, and the short texts have every piece end anyway.
    static const size_t limits[] = {1, 2, 3, 8, 17, 64, 300, 8192};
    const size_t limit = limits[seed % 8] > length / 64 ? limits[seed % 8] : length / 64;
    uint32_t state = 0x9E3779B9u ^ seed;

    TemplateStream stream;
    TemplateStreamStart(&stream, (const char*)name, nameLength, (const char*)replacement, replacementLength,
                        replaceAll, textModeRead);
    size_t at = 0, produced = 0;
    int finished = 0;
    while (!finished) {
        const size_t piece = at < length ? NextPiece(&state, limit < length - at ? limit : length - at) : 0;
        int fits = 0;
        const size_t capacity = TemplateStreamCapacity(piece, nameLength, replacementLength, &fits);
        CHECK(fits == 1);
        const size_t chosen = TemplateStreamPieceLength(length - at, capacity, nameLength, replacementLength);
        CHECK(chosen >= piece);
        CHECK(chosen == length - at ||
              TemplateStreamCapacity(chosen + 1, nameLength, replacementLength, &fits) > capacity || !fits);
        uint8_t* out = malloc(capacity);
        CHECK(out);
        const TemplateStream before = stream;
        size_t outLength = 1;
        finished = at == length;
        if (finished) {
            CHECK(TemplateStreamFinish(&stream, (char*)out, capacity - 1, &outLength) == 0);
        } else {
            CHECK(TemplateStreamFeed(&stream, (const char*)raw + at, piece, (char*)out, capacity - 1, &outLength) == 0);
        }
        CHECK(outLength == 0 && stream.replaced == before.replaced && stream.held == before.held &&
              stream.heldCr == before.heldCr && stream.ended == before.ended);
        if (finished) {
            CHECK(TemplateStreamFinish(&stream, (char*)out, capacity, &outLength) == 1);
        } else {
            CHECK(TemplateStreamFeed(&stream, (const char*)raw + at, piece, (char*)out, capacity, &outLength) == 1);
        }
        CHECK(outLength <= capacity && produced + outLength <= expectedLength);
        CHECK(memcmp(out, expected + produced, outLength) == 0);
        produced += outLength;
        at += piece;
        free(out);
    }
    CHECK(produced == expectedLength && stream.replaced == found);
    free(expected);
}

static void CheckSizing(uint64_t textLength, uint64_t occurrences, uint64_t nameLength, uint64_t replacementLength)
{
    int fits = -1;
    size_t got = ReplacedTextLength((size_t)textLength, (size_t)occurrences, (size_t)nameLength,
                                    (size_t)replacementLength, &fits);
    unsigned __int128 removed = (unsigned __int128)occurrences * nameLength;
    int expectFits = 0;
    unsigned __int128 expected = 0;
    if (removed <= textLength) {
        expected = textLength - removed + (unsigned __int128)occurrences * replacementLength;
        expectFits = expected < SIZE_MAX;
    }
    CHECK(fits == expectFits);
    CHECK(got == (expectFits ? (size_t)expected : 0));
}

int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const char* const names[] = {"8", "80", "aa", "aba", "80Normal80Normal", ""};
    Input in = {data, size};
    uint8_t choice = TakeByte(&in);
    uint8_t flags = TakeByte(&in);
    uint8_t pieces = TakeByte(&in);
    size_t replacementLength = (size_t)((TakeByte(&in) << 8) | TakeByte(&in)) % (MaxReplacement + 1);

    uint8_t nameBytes[32];
    size_t nameLength;
    if (choice < 192) {
        nameLength = 8;
        memcpy(nameBytes, "80Normal", 8);
    } else if (choice < 192 + 6 * 8) {
        const char* fixed = names[(choice - 192) / 8];
        nameLength = strlen(fixed);
        memcpy(nameBytes, fixed, nameLength);
    } else {
        nameLength = TakeBytes(&in, nameBytes, TakeByte(&in) % 17);
    }

    uint8_t replacementBytes[MaxReplacement];
    size_t r = 0;
    if (flags & 2) {
        r = nameLength < replacementLength ? nameLength : replacementLength;
        memcpy(replacementBytes, nameBytes, r);
    }
    r += TakeBytes(&in, replacementBytes + r, replacementLength - r);
    for (; r < replacementLength; ++r) {
        replacementBytes[r] = (uint8_t)('A' + r % 26);
    }

    uint64_t sizing[4];
    if (flags & 4) {
        for (int i = 0; i < 4; ++i) {
            sizing[i] = TakeNumber(&in);
        }
    }

    size_t length = 0;
    for (size_t i = 0; i < in.size; ++i) {
        length += (flags & 1) && in.data[i] == 1 ? nameLength : 1;
    }
    // Exact-size copies: any read past a length is a heap overflow.
    uint8_t* text = malloc(length ? length : 1);
    uint8_t* name = malloc(nameLength ? nameLength : 1);
    uint8_t* replacement = malloc(replacementLength ? replacementLength : 1);
    CHECK(text && name && replacement);
    memcpy(name, nameBytes, nameLength);
    memcpy(replacement, replacementBytes, replacementLength);
    for (size_t i = 0, t = 0; i < in.size; ++i) {
        if ((flags & 1) && in.data[i] == 1) {
            memcpy(text + t, nameBytes, nameLength);
            t += nameLength;
        } else {
            text[t++] = in.data[i];
        }
    }

    size_t count = CountTemplateNames((const char*)text, length, (const char*)name, nameLength);
    CHECK(count == ReferenceCount(text, length, name, nameLength));

    uint8_t* expected = malloc(length + count * replacementLength + 1);
    CHECK(expected);
    for (int replaceAll = 0; replaceAll <= 1; ++replaceAll) {
        size_t expectedLength;
        size_t found = Reference(text, length, name, nameLength, replacement, replacementLength, replaceAll,
                                 expected, &expectedLength);
        CHECK(found == (replaceAll ? count : count != 0));

        int fits = 0;
        size_t sized = ReplacedTextLength(length, found, nameLength, replacementLength, &fits);
        CHECK(fits == 1 && sized == expectedLength);

        CheckWrittenRewrite(text, length, name, nameLength, replacement, replacementLength, replaceAll, expected,
                            expectedLength, found);

        const size_t exact = expectedLength + 1;
        size_t capacities[] = {exact, exact - 1, exact + 3, 0, (size_t)(choice + flags) % (exact + 2)};
        for (size_t i = 0; i < sizeof capacities / sizeof capacities[0]; ++i) {
            CheckCapacity(text, length, name, nameLength, replacement, replacementLength, replaceAll, expected,
                          expectedLength, found, capacities[i]);
        }
    }

    CheckRead(text, length);
    CheckWrite(text, length);
    CheckStream(text, length, name, nameLength, replacement, replacementLength, (flags & 8) != 0, (flags & 16) != 0,
                pieces);

    if (flags & 4) {
        CheckSizing(sizing[0], sizing[1], sizing[2], sizing[3]);
        // Small counts against the largest lengths, where the wrap lies.
        CheckSizing(UINT64_MAX - sizing[0] % 256, sizing[1] % 8, sizing[2] % 16, sizing[3]);
        CheckSizing(sizing[0], sizing[1] % 4096, sizing[2] % 16, SIZE_MAX / (sizing[1] % 4096 + 1) + sizing[3] % 16);
        // Results landing on SIZE_MAX and its neighbours.
        uint64_t occurrences = sizing[1] % 4 + 1, nameLength = sizing[2] % 16;
        uint64_t textLength = sizing[0] % 65536 + occurrences * nameLength;
        uint64_t kept = textLength - occurrences * nameLength;
        CheckSizing(textLength, occurrences, nameLength, (SIZE_MAX - kept) / occurrences + sizing[3] % 3 - 1);
    }

    free(expected);
    free(text);
    free(name);
    free(replacement);
    return 0;
}
