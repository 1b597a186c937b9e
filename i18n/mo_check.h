#pragma once
#include <stddef.h>

// Whether the bytes are a compiled gettext catalogue that libintl can read safely. libintl
// trusts every offset and count in the file, so a corrupt or truncated one would make it
// read outside the file's memory or probe its hash table for ever.
int IsSoundCatalogue(const unsigned char* data, size_t size);
