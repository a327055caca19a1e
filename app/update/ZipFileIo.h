#pragma once

// minizip's file interface over the Win32 file API. The archive is opened by its wide path for reading only,
// sharing read access, and read through a 64 KiB read-ahead buffer: minizip parses every header a few bytes
// at a time and seeks before every block, which would otherwise cost a system call per field.

// unzip.h brings zlib and the I/O interface.
#include <unzip.h>

void FillBufferedFileIo(zlib_filefunc64_def* io) noexcept;
