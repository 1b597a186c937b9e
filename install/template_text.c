#include "install/template_text.h"

#include <stdint.h>
#include <string.h>

// The first occurrence of name in [at, end), or NULL. The caller guarantees nameLength > 0.
static const char* FindName(const char* at, const char* end, const char* name, size_t nameLength)
{
    while ((size_t)(end - at) >= nameLength) {
        // The last place a match can start is nameLength - 1 bytes before the end.
        const char* first = (const char*)memchr(at, name[0], (size_t)(end - at) - nameLength + 1);
        if (!first) {
            return NULL;
        }
        if (memcmp(first + 1, name + 1, nameLength - 1) == 0) {
            return first;
        }
        at = first + 1;
    }
    return NULL;
}

static char* Append(char* out, const char* bytes, size_t length)
{
    memcpy(out, bytes, length);
    return out + length;
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
