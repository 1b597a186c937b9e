#pragma once
// The byte work of the template clone, free of any Windows header so that it builds and is
// fuzzed on the host as well. Texts are byte ranges (text, length); nothing here reads
// past a length or writes past a capacity.
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

// Occurrences of name in text, counted from the left without overlap (the search resumes
// after each match). An empty name occurs nowhere.
size_t CountTemplateNames(const char* text, size_t textLength, const char* name, size_t nameLength);

// The length of text after `occurrences` matches of a name of nameLength bytes are each
// replaced by replacementLength bytes, *fits = 1. 0 with *fits = 0 when that length plus one
// byte for a terminator would not fit a size_t, or when the text is too short to hold that
// many names.
size_t ReplacedTextLength(size_t textLength, size_t occurrences, size_t nameLength, size_t replacementLength,
                          int* fits);

// Writes text with the first (replaceAll = 0) or every occurrence of name replaced, and a
// terminating zero, into result. 1 when the text held the name and the rewritten text with
// its terminator fits resultCapacity; otherwise 0 and result is untouched.
int ReplaceTemplateNames(const char* text, size_t textLength, const char* name, size_t nameLength,
                         const char* replacement, size_t replacementLength, int replaceAll, char* result,
                         size_t resultCapacity);

// The length of the text up to its first zero byte, or length when it holds none.
size_t TextLength(const char* text, size_t length);

// The C runtime's text-mode streams, whose line ends the generated files keep. A read drops
// a CR directly followed by LF and ends at a 0x1A byte; every other byte, a lone CR or a
// zero byte too, comes through. Writes the text read (never more than rawLength bytes) into
// text, which may be raw itself (no byte moves forward); returns its length.
size_t TextModeRead(const char* raw, size_t rawLength, char* text);

// The length of text written through text mode, which puts out each LF as CR LF, *fits = 1.
// 0 with *fits = 0 when that length plus one byte would not fit a size_t.
size_t TextModeWrittenLength(const char* text, size_t length, int* fits);

// Turns each LF of the first length bytes of buffer into CR LF in place, working from the
// end so that no byte is overwritten before it has moved. 1 when the result fits capacity;
// otherwise 0 and the buffer is untouched.
int TextModeWrite(char* buffer, size_t length, size_t capacity);

// The length of text once `occurrences` names are replaced and the result written through
// text mode, had without building it; *fits as for ReplacedTextLength.
size_t WrittenReplacedTextLength(const char* text, size_t textLength, size_t occurrences, const char* name,
                                 size_t nameLength, const char* replacement, size_t replacementLength, int* fits);

#ifdef __cplusplus
}
#endif
