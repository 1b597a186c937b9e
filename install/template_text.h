#pragma once
// The byte work of the template rewrite, free of any Windows header so that it builds and
// is fuzzed on the host as well. Texts are byte ranges (text, length); nothing here reads
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

#ifdef __cplusplus
}
#endif
