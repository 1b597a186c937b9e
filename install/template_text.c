#include "install/template_text.h"

#include <stdint.h>
#include <string.h>

// A template of many megabytes holds a line, a name or two and a line end every 80 bytes or
// so. Scans go a word at a time, and the short pieces between those places are compared and
// moved here: a byte-by-byte loop, or a call into the C runtime (memchr, memcmp, memcpy under
// Wine) for every piece, takes several times as long. memcpy of a word is one load or store.
typedef uint32_t Word;
#define kOnes ((Word)0x01010101u)
#define kLows ((Word)0x7F7F7F7Fu)

static Word LoadWord(const char* at)
{
    Word word;
    memcpy(&word, at, sizeof word);
    return word;
}

// The high bit of each byte of word equal to the byte repeated in pattern, and no other bit:
// no borrow runs from one byte into the next.
static Word MatchingBytes(Word word, Word pattern)
{
    Word x = word ^ pattern;
    return ~(((x & kLows) + kLows) | x | kLows);
}

static Word Pattern(char byte)
{
    return kOnes * (unsigned char)byte;
}

// The first byte in [at, end) that equals byte, or NULL.
static const char* FindByte(const char* at, const char* end, char byte)
{
    const Word pattern = Pattern(byte);
    while ((size_t)(end - at) >= sizeof(Word) && !MatchingBytes(LoadWord(at), pattern)) {
        at += sizeof(Word);
    }
    for (; at < end; ++at) {
        if (*at == byte) {
            return at;
        }
    }
    return NULL;
}

// The last byte in [begin, end) that equals byte, or NULL.
static const char* FindLastByte(const char* begin, const char* end, char byte)
{
    const Word pattern = Pattern(byte);
    while ((size_t)(end - begin) >= sizeof(Word) && !MatchingBytes(LoadWord(end - sizeof(Word)), pattern)) {
        end -= sizeof(Word);
    }
    while (end > begin) {
        if (*--end == byte) {
            return end;
        }
    }
    return NULL;
}

static size_t CountByte(const char* text, size_t length, char byte)
{
    const Word pattern = Pattern(byte);
    size_t count = 0, i = 0;
    while (length - i >= sizeof(Word)) {
        // One bit per matching byte, at each byte's lowest, summed bytewise for up to 255
        // words (no byte's sum carries into the next) before the sums are added up.
        Word sums = 0;
        for (int words = 0; words < 255 && length - i >= sizeof(Word); ++words, i += sizeof(Word)) {
            sums += MatchingBytes(LoadWord(text + i), pattern) >> 7;
        }
        for (; sums; sums >>= 8) {
            count += sums & 0xFF;
        }
    }
    for (; i < length; ++i) {
        count += text[i] == byte;
    }
    return count;
}

// The first occurrence of name in [at, end), or NULL. The caller guarantees nameLength > 0.
static const char* FindName(const char* at, const char* end, const char* name, size_t nameLength)
{
    while ((size_t)(end - at) >= nameLength) {
        // The last place a match can start is nameLength - 1 bytes before the end.
        const char* first = FindByte(at, end - nameLength + 1, name[0]);
        if (!first) {
            return NULL;
        }
        // The last byte first: a text rich in the name's first byte is mostly turned away there.
        if (first[nameLength - 1] == name[nameLength - 1]) {
            size_t same = 1;
            while (same < nameLength && first[same] == name[same]) {
                ++same;
            }
            if (same == nameLength) {
                return first;
            }
        }
        at = first + 1;
    }
    return NULL;
}

// From this length on a piece goes to the C runtime, whose copy outruns a word loop there.
enum { kShortPiece = 256 };

static void StoreWord(char* at, Word word)
{
    memcpy(at, &word, sizeof word);
}

static char* Append(char* out, const char* bytes, size_t length)
{
    if (length >= kShortPiece) {
        memcpy(out, bytes, length);
        return out + length;
    }
    for (; length >= sizeof(Word); length -= sizeof(Word), bytes += sizeof(Word), out += sizeof(Word)) {
        StoreWord(out, LoadWord(bytes));
    }
    while (length--) {
        *out++ = *bytes++;
    }
    return out;
}

// Moves length bytes from `from` up to `to` (to > from; the two may overlap), last word first.
static void MoveUp(char* buffer, size_t to, size_t from, size_t length)
{
    if (length >= kShortPiece) {
        memmove(buffer + to, buffer + from, length);
        return;
    }
    for (; length >= sizeof(Word); length -= sizeof(Word)) {
        StoreWord(buffer + to + length - sizeof(Word), LoadWord(buffer + from + length - sizeof(Word)));
    }
    while (length) {
        --length;
        buffer[to + length] = buffer[from + length];
    }
}

size_t CountTemplateNames(const char* text, size_t textLength, const char* name, size_t nameLength)
{
    if (!nameLength) {
        return 0;
    }
    const char* end = text + textLength;
    size_t count = 0;
    for (const char* hit = FindName(text, end, name, nameLength); hit;
         hit = FindName(hit + nameLength, end, name, nameLength)) {
        ++count;
    }
    return count;
}

size_t ReplacedTextLength(size_t textLength, size_t occurrences, size_t nameLength, size_t replacementLength,
                          int* fits)
{
    *fits = 0;
    // More names than the text can hold: no text gives such a count.
    if (occurrences && nameLength > textLength / occurrences) {
        return 0;
    }
    size_t kept = textLength - occurrences * nameLength;
    // SIZE_MAX itself is refused too, so that the caller's + 1 for the terminator cannot wrap.
    if (kept == SIZE_MAX) {
        return 0;
    }
    if (replacementLength && occurrences > (SIZE_MAX - 1 - kept) / replacementLength) {
        return 0;
    }
    *fits = 1;
    return kept + occurrences * replacementLength;
}

int ReplaceTemplateNames(const char* text, size_t textLength, const char* name, size_t nameLength,
                         const char* replacement, size_t replacementLength, int replaceAll, char* result,
                         size_t resultCapacity)
{
    if (!nameLength) {
        return 0;
    }
    const char* end = text + textLength;
    const char* hit = FindName(text, end, name, nameLength);
    if (!hit) {
        return 0;
    }
    size_t occurrences = replaceAll ? CountTemplateNames(hit, (size_t)(end - hit), name, nameLength) : 1;
    int fits;
    size_t length = ReplacedTextLength(textLength, occurrences, nameLength, replacementLength, &fits);
    if (!fits || length >= resultCapacity) {
        return 0;
    }

    char* out = result;
    const char* from = text;
    while (hit) {
        out = Append(out, from, (size_t)(hit - from));
        out = Append(out, replacement, replacementLength);
        from = hit + nameLength;
        // The search goes on in the template text, so the inserted name is never searched.
        hit = replaceAll ? FindName(from, end, name, nameLength) : NULL;
    }
    out = Append(out, from, (size_t)(end - from));
    *out = '\0';
    return 1;
}

size_t TextLength(const char* text, size_t length)
{
    const char* zero = FindByte(text, text + length, '\0');
    return zero ? (size_t)(zero - text) : length;
}

size_t TextModeRead(const char* raw, size_t rawLength, char* text)
{
    size_t length = 0;
    for (size_t i = 0; i < rawLength && raw[i] != '\x1A'; ++i) {
        if (raw[i] == '\r' && i + 1 < rawLength && raw[i + 1] == '\n') {
            continue;
        }
        text[length++] = raw[i];
    }
    return length;
}

size_t TextModeWrittenLength(const char* text, size_t length, int* fits)
{
    size_t lineFeeds = CountByte(text, length, '\n');
    *fits = lineFeeds < SIZE_MAX - length;
    return *fits ? length + lineFeeds : 0;
}

int TextModeWrite(char* buffer, size_t length, size_t capacity)
{
    int fits;
    size_t written = TextModeWrittenLength(buffer, length, &fits);
    if (!fits || written > capacity) {
        return 0;
    }
    // The lines, last first, each moved up by the CRs still to come before it: the bytes
    // before a line have not moved yet when it is written.
    size_t from = length, to = written;
    while (from != to) {
        const size_t lineFeed = (size_t)(FindLastByte(buffer, buffer + from, '\n') - buffer);
        const size_t lineLength = from - lineFeed - 1;
        to -= lineLength;
        MoveUp(buffer, to, lineFeed + 1, lineLength);
        buffer[--to] = '\n';
        buffer[--to] = '\r';
        from = lineFeed;
    }
    return 1;
}

size_t WrittenReplacedTextLength(const char* text, size_t textLength, size_t occurrences, const char* name,
                                 size_t nameLength, const char* replacement, size_t replacementLength, int* fits)
{
    // The write treats each byte alone, so the written result is the written text with each
    // written name replaced by the written replacement.
    int textFits, nameFits, replacementFits;
    size_t writtenText = TextModeWrittenLength(text, textLength, &textFits);
    size_t writtenName = TextModeWrittenLength(name, nameLength, &nameFits);
    size_t writtenReplacement = TextModeWrittenLength(replacement, replacementLength, &replacementFits);
    if (!textFits || !nameFits || !replacementFits) {
        *fits = 0;
        return 0;
    }
    return ReplacedTextLength(writtenText, occurrences, writtenName, writtenReplacement, fits);
}

void TemplateStreamStart(TemplateStream* stream, const char* name, size_t nameLength, const char* replacement,
                         size_t replacementLength, int replaceAll, int textModeRead)
{
    stream->name = name;
    stream->nameLength = nameLength;
    stream->replacement = replacement;
    stream->replacementLength = replacementLength;
    stream->replaceAll = replaceAll;
    stream->textModeRead = textModeRead;
    stream->replaced = 0;
    stream->held = 0;
    stream->heldCr = 0;
    stream->ended = 0;
}

size_t TemplateStreamCapacity(size_t pieceLength, size_t nameLength, size_t replacementLength, int* fits)
{
    *fits = 0;
    // What a feed may put out beyond its piece: the held start of a name, or a held CR.
    const size_t carried = nameLength ? nameLength : 1;
    if (pieceLength > SIZE_MAX / 2 - carried) {
        return 0;
    }
    const size_t text = pieceLength + carried;
    size_t growth = 0;
    if (nameLength && replacementLength > nameLength) {
        const size_t names = text / nameLength, longer = replacementLength - nameLength;
        if (longer > SIZE_MAX / 2 / names) {
            return 0;
        }
        growth = 2 * longer * names;
    }
    if (growth > SIZE_MAX - 2 * text) {
        return 0;
    }
    *fits = 1;
    return 2 * text + growth;
}

size_t TemplateStreamPieceLength(size_t most, size_t outCapacity, size_t nameLength, size_t replacementLength)
{
    // The capacity grows with the piece: the longest piece that fits is searched by halves.
    size_t low = 0, high = most;
    while (low < high) {
        const size_t middle = low + (high - low + 1) / 2;
        int fits;
        const size_t needed = TemplateStreamCapacity(middle, nameLength, replacementLength, &fits);
        if (fits && needed <= outCapacity) {
            low = middle;
        } else {
            high = middle - 1;
        }
    }
    return low;
}

static int Replacing(const TemplateStream* stream)
{
    return stream->nameLength && (stream->replaceAll || !stream->replaced);
}

static char* PutByte(char* out, char byte)
{
    if (byte == '\n') {
        *out++ = '\r';
    }
    *out++ = byte;
    return out;
}

static char* PutBytes(char* out, const char* bytes, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        out = PutByte(out, bytes[i]);
    }
    return out;
}

static char* EndText(TemplateStream* stream, char* out)
{
    out = PutBytes(out, stream->name, stream->held);
    stream->held = 0;
    stream->ended = 1;
    return out;
}

// One byte of the text. The held bytes are the name's first ones, so they need no room of
// their own: a byte that breaks them is checked against the later starts among them, as the
// search from the left would try those next.
static char* PutText(TemplateStream* stream, char byte, char* out)
{
    if (byte == '\0') {
        return EndText(stream, out);
    }
    if (!Replacing(stream)) {
        return PutByte(out, byte);
    }
    const char* name = stream->name;
    const size_t held = stream->held;
    if (byte == name[held]) {
        if (held + 1 < stream->nameLength) {
            stream->held = held + 1;
            return out;
        }
        stream->held = 0;
        ++stream->replaced;
        return PutBytes(out, stream->replacement, stream->replacementLength);
    }
    size_t start = 1;
    while (start <= held && (name[held - start] != byte || memcmp(name + start, name, held - start) != 0)) {
        ++start;
    }
    if (start <= held) {
        stream->held = held - start + 1;
        return PutBytes(out, name, start);
    }
    stream->held = 0;
    return PutByte(PutBytes(out, name, held), byte);
}

// One raw byte: in text mode a CR waits for the next byte, which drops it when it is an LF.
static char* PutRaw(TemplateStream* stream, char byte, char* out)
{
    if (stream->textModeRead) {
        if (stream->heldCr) {
            stream->heldCr = 0;
            if (byte == '\n') {
                return PutText(stream, '\n', out);
            }
            out = PutText(stream, '\r', out);
        }
        if (byte == '\x1A') {
            return EndText(stream, out);
        }
        if (byte == '\r') {
            stream->heldCr = 1;
            return out;
        }
    }
    return PutText(stream, byte, out);
}

static int IsSpecial(const TemplateStream* stream, char byte, char first)
{
    return byte == '\n' || byte == '\0' || byte == first ||
           (stream->textModeRead && (byte == '\r' || byte == '\x1A'));
}

// Copies the bytes from *at on that are no more than a copy to out, up to the first that is
// (an LF, a zero byte, the name's first byte while names are replaced, and in text mode a CR
// or 0x1A) or end, where *at is left. A word is stored only when none of its bytes is one.
static char* CopyPlain(const TemplateStream* stream, const char** from, const char* end, char* out)
{
    const char first = Replacing(stream) ? stream->name[0] : '\n';
    const Word lineFeeds = Pattern('\n'), firsts = Pattern(first);
    const char* at = *from;
    if (stream->textModeRead) {
        const Word returns = Pattern('\r'), ends = Pattern('\x1A');
        while ((size_t)(end - at) >= sizeof(Word)) {
            const Word word = LoadWord(at);
            if (MatchingBytes(word, lineFeeds) | MatchingBytes(word, firsts) | MatchingBytes(word, 0) |
                MatchingBytes(word, returns) | MatchingBytes(word, ends)) {
                break;
            }
            StoreWord(out, word);
            out += sizeof(Word);
            at += sizeof(Word);
        }
    } else {
        while ((size_t)(end - at) >= sizeof(Word)) {
            const Word word = LoadWord(at);
            if (MatchingBytes(word, lineFeeds) | MatchingBytes(word, firsts) | MatchingBytes(word, 0)) {
                break;
            }
            StoreWord(out, word);
            out += sizeof(Word);
            at += sizeof(Word);
        }
    }
    for (; at < end && !IsSpecial(stream, *at, first); ++at) {
        *out++ = *at;
    }
    *from = at;
    return out;
}

int TemplateStreamFeed(TemplateStream* stream, const char* piece, size_t pieceLength, char* out,
                       size_t outCapacity, size_t* outLength)
{
    *outLength = 0;
    int fits;
    const size_t needed = TemplateStreamCapacity(pieceLength, stream->nameLength, stream->replacementLength, &fits);
    if (!fits || needed > outCapacity) {
        return 0;
    }
    char* next = out;
    const char* at = piece;
    const char* const end = piece + pieceLength;
    while (at < end && !stream->ended) {
        // Runs of plain bytes are copied whole; what is carried goes a byte at a time.
        if (!stream->held && !stream->heldCr) {
            next = CopyPlain(stream, &at, end, next);
            if (at == end) {
                break;
            }
        }
        next = PutRaw(stream, *at++, next);
    }
    *outLength = (size_t)(next - out);
    return 1;
}

int TemplateStreamFinish(TemplateStream* stream, char* out, size_t outCapacity, size_t* outLength)
{
    *outLength = 0;
    int fits;
    const size_t needed = TemplateStreamCapacity(0, stream->nameLength, stream->replacementLength, &fits);
    if (!fits || needed > outCapacity) {
        return 0;
    }
    char* next = out;
    if (!stream->ended) {
        // A CR last in the file has no LF to drop it.
        if (stream->heldCr) {
            stream->heldCr = 0;
            next = PutText(stream, '\r', next);
        }
        next = EndText(stream, next);
    }
    *outLength = (size_t)(next - out);
    return 1;
}
