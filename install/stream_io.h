#pragma once
// Reading a whole file through the C runtime's streams, as the template rewrite does.
#include <stdio.h>

#include <stddef.h>

// The file's size in bytes, the stream back at its start; -1 when the seek to the end or
// the position query fails (the stream then stays where it was).
long long getFileSize(FILE* stream);

// Reads count bytes into destination in pieces of 8192 and a remainder. 1 when all were read
// or the file ended first; 0 on a read error.
int readFileInChunks(char* destination, int count, FILE* stream);

// One read of up to size bytes from a text-mode stream, which delivers fewer bytes than the
// file holds (CR LF becomes LF, a 0x1A byte ends it). 1 when the read reached the end of the
// file or delivered the full size; 0 otherwise.
int readWholeTextFile(char* destination, size_t size, FILE* stream);
