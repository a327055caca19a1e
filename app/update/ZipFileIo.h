#pragma once

// minizip's file interface over the Win32 file API. The archive is opened by its wide path for reading only,
// sharing read access, or read through a duplicate of a handle the caller holds, and read through a 64 KiB
// read-ahead buffer: minizip parses every header a few bytes
// at a time and seeks before every block, which would otherwise cost a system call per field.

// unzip.h brings zlib and the I/O interface.
#include <unzip.h>

#include <windows.h>

// archive: null to open the path minizip is given; otherwise the open file (with read access) whose bytes
// are read, whatever path minizip is given. The handle must stay open until the archive is opened.
void FillBufferedFileIo(zlib_filefunc64_def* io, HANDLE archive = nullptr) noexcept;
