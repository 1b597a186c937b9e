#include "install/stream_io.h"

long long getFileSize(FILE* stream)
{
    if (fseek(stream, 0, SEEK_END) != 0)
        return -1;
    // A long position: a file of 2 GB or more gives -1, and no template is that large.
    long size = ftell(stream);
    if (size < 0)
        return -1;
    fseek(stream, 0, SEEK_SET);
    return size;
}

int readFileInChunks(char* destination, int count, FILE* stream)
{
    const int kPiece = 8192;
    if (count < 0)
        return 0;
    for (int piece = 0; piece < count / kPiece; ++piece) {
        if (fread(destination + piece * kPiece, 1, kPiece, stream) != static_cast<size_t>(kPiece))
            return feof(stream) ? 1 : 0;
    }
    const int rest = count % kPiece;
    if (rest > 0 && fread(destination + (count - rest), 1, rest, stream) != static_cast<size_t>(rest))
        return feof(stream) ? 1 : 0;
    return 1;
}

int readWholeTextFile(char* destination, size_t size, FILE* stream)
{
    size_t read = fread(destination, 1, size, stream);
    return read == size || feof(stream) ? 1 : 0;
}
