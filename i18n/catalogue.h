#pragma once
#include <stddef.h>

// Binds the gettext domain "PrinterDriver" to the "Lang" folder beside the program, with
// UTF-8 output. Called once by the main dialog before its first lookup.
void BindMessageCatalogue();

// The text for a key (PO_GSTR_, PO_IDD_, PO_IDC_) into the caller's buffer of bufferUnits
// UTF-16 units: the catalogue's translation in the ANSI code page's characters, else the
// built-in English text; a key known to neither leaves the buffer as it was. A text longer
// than the buffer is cut to fit, terminator included. Returns the buffer.
wchar_t* GetLocalizedText(const char* key, wchar_t* buffer, size_t bufferUnits);

// The UTF-8 text converted to the system's ANSI code page (characters the code page lacks
// become its default character), in memory the caller releases with free(). Null when the
// text is null, cannot be converted or memory runs out; the cause is in the last error.
char* Utf8ToAnsi(const char* text);
