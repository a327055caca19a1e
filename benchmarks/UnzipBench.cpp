// One timed unzip of a package, in a process of its own so its peak memory is its own:
//
//   unzip_bench.exe MODE PACKAGE OUTDIR
//
// MODE: extractzip (the product's ExtractZip), miniunz (zlib's own miniunz, built from the same source, run
// as "miniunz -x -o PACKAGE -d OUTDIR"), readonly (minizip reading every entry through a 16 KiB buffer,
// nothing written) or inflate (every entry's deflate stream inflated from memory into a 256 KiB buffer, no
// CRC, nothing read or written during the timing: the limit). Prints "MODE SECONDS CPU_SECONDS BYTES
// PEAK_EXTRA_BYTES" on the standard error stream (miniunz talks on the standard output): wall-clock time, the
// process's own processor time (user and kernel; on a busy machine it moves less than the wall clock), and
// the rise of the peak resident set over the resident set just before the timing (-1 when the peak cannot be
// reset).

#include "update/ExtractZip.h"
#include "win/Handle.h"

#include <windows.h>
#include <psapi.h>

#include <unzip.h>
#include <iowin32.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

extern "C" int miniunz_main(int argc, char* argv[]);

namespace {

constexpr unsigned kReadBuffer = 16 * 1024;
constexpr unsigned kInflateBuffer = 256 * 1024;

struct Entry {
    uint64_t offset = 0;  // of the compressed data
    uint64_t compressed = 0;
    uint64_t size = 0;
    int method = 0;
};

using Reader = std::unique_ptr<void, int (*)(unzFile)>;

Reader OpenPackage(const std::wstring& package) {
    zlib_filefunc64_def io{};
    fill_win32_filefunc64W(&io);
    return Reader(unzOpen2_64(package.c_str(), &io), unzClose);
}

// Every entry's place and sizes, read before any timing.
std::vector<Entry> ListEntries(const std::wstring& package) {
    std::vector<Entry> entries;
    Reader reader = OpenPackage(package);
    for (int more = reader ? unzGoToFirstFile(reader.get()) : UNZ_ERRNO; more == UNZ_OK;
         more = unzGoToNextFile(reader.get())) {
        unz_file_info64 info{};
        unzGetCurrentFileInfo64(reader.get(), &info, nullptr, 0, nullptr, 0, nullptr, 0);
        Entry entry{0, info.compressed_size, info.uncompressed_size,
                    static_cast<int>(info.compression_method)};
        if (unzOpenCurrentFile2(reader.get(), &entry.method, nullptr, 1) == UNZ_OK) {
            entry.offset = unzGetCurrentFileZStreamPos64(reader.get());
            unzCloseCurrentFile(reader.get());
        }
        entries.push_back(entry);
    }
    return entries;
}

std::string ReadWhole(const std::wstring& path) {
    std::string bytes;
    const UniqueFileHandle file(
        ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size{};
    if (file && ::GetFileSizeEx(file.get(), &size)) {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        DWORD got = 0;
        for (size_t at = 0; at < bytes.size(); at += got) {
            const DWORD ask = static_cast<DWORD>(std::min<size_t>(bytes.size() - at, 1u << 24));
            if (!::ReadFile(file.get(), bytes.data() + at, ask, &got, nullptr) || got == 0) {
                bytes.clear();
                break;
            }
        }
    }
    return bytes;
}

bool InflateAll(const std::string& package, const std::vector<Entry>& entries) {
    std::vector<unsigned char> out(kInflateBuffer);
    for (const Entry& entry : entries) {
        if (entry.method != Z_DEFLATED) {
            continue;
        }
        z_stream stream{};
        if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) {
            return false;
        }
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(package.data() + entry.offset));
        stream.avail_in = static_cast<uInt>(entry.compressed);
        int status = Z_OK;
        while (status == Z_OK) {
            stream.next_out = out.data();
            stream.avail_out = kInflateBuffer;
            status = inflate(&stream, Z_NO_FLUSH);
        }
        inflateEnd(&stream);
        if (status != Z_STREAM_END) {
            return false;
        }
    }
    return true;
}

bool ReadAll(const std::wstring& package) {
    Reader reader = OpenPackage(package);
    std::vector<unsigned char> buffer(kReadBuffer);
    for (int more = reader ? unzGoToFirstFile(reader.get()) : UNZ_ERRNO; more == UNZ_OK;
         more = unzGoToNextFile(reader.get())) {
        if (unzOpenCurrentFile(reader.get()) != UNZ_OK) {
            return false;
        }
        int got = 0;
        while ((got = unzReadCurrentFile(reader.get(), buffer.data(), kReadBuffer)) > 0) {
        }
        if (unzCloseCurrentFile(reader.get()) != UNZ_OK || got < 0) {
            return false;
        }
    }
    return reader != nullptr;
}

bool RunMiniunz(const std::wstring& package, const std::wstring& outdir) {
    auto narrow = [](const std::wstring& wide) {
        std::string text(static_cast<size_t>(::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0,
                                                                   nullptr, nullptr)),
                         '\0');
        ::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, text.data(), static_cast<int>(text.size()),
                              nullptr, nullptr);
        text.pop_back();
        return text;
    };
    std::string zip = narrow(package), dir = narrow(outdir);
    char name[] = "miniunz", extract[] = "-x", overwrite[] = "-o", to[] = "-d";
    char* argv[] = {name, extract, overwrite, zip.data(), to, dir.data(), nullptr};
    wchar_t current[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, current);
    const int status = miniunz_main(6, argv);  // changes into the output folder
    ::SetCurrentDirectoryW(current);
    std::fflush(stdout);
    return status == 0;
}

// The kernel's peak resident set restarts from the current one (Linux, reached through wine's Z: drive).
bool ResetPeak() {
    const UniqueFileHandle file(
        ::CreateFileW(L"Z:\\proc\\self\\clear_refs", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) {
        return false;
    }
    DWORD written = 0;
    return ::WriteFile(file.get(), "5", 1, &written, nullptr) && written == 1;
}

double ProcessorSeconds() {
    FILETIME created{}, ended{}, kernel{}, user{};
    ::GetProcessTimes(::GetCurrentProcess(), &created, &ended, &kernel, &user);
    auto ticks = [](const FILETIME& time) {
        return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    return static_cast<double>(ticks(kernel) + ticks(user)) / 1e7;
}

PROCESS_MEMORY_COUNTERS Memory() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    ::K32GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters));
    return counters;
}

}  // namespace

int wmain(int argc, wchar_t* argv[]) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: unzip_bench extractzip|miniunz|readonly|inflate PACKAGE OUTDIR\n");
        return 2;
    }
    const std::wstring mode = argv[1], package = argv[2], outdir = argv[3];
    const std::vector<Entry> entries = ListEntries(package);
    uint64_t bytes = 0;
    for (const Entry& entry : entries) {
        bytes += entry.size;
    }
    const std::string inMemory = mode == L"inflate" ? ReadWhole(package) : std::string();
    ::CreateDirectoryW(outdir.c_str(), nullptr);

    const bool peakReset = ResetPeak();
    const SIZE_T before = Memory().WorkingSetSize;
    LARGE_INTEGER frequency{}, start{}, end{};
    ::QueryPerformanceFrequency(&frequency);
    const double processorStart = ProcessorSeconds();
    ::QueryPerformanceCounter(&start);
    bool ok = false;
    if (mode == L"extractzip") {
        std::vector<ZipEntryOutcome> outcomes;
        ok = ExtractZip(package, outdir, &outcomes);
        for (const ZipEntryOutcome& outcome : outcomes) {
            ok = ok && outcome.result == kZipEntryDone;
        }
    } else if (mode == L"miniunz") {
        ok = RunMiniunz(package, outdir);
    } else if (mode == L"readonly") {
        ok = ReadAll(package);
    } else if (mode == L"inflate") {
        ok = !inMemory.empty() && InflateAll(inMemory, entries);
    }
    ::QueryPerformanceCounter(&end);
    const double processor = ProcessorSeconds() - processorStart;
    const SIZE_T peak = Memory().PeakWorkingSetSize;
    if (!ok) {
        std::fprintf(stderr, "%ls failed\n", mode.c_str());
        return 1;
    }
    const double seconds = static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart;
    const long long extra = peakReset ? static_cast<long long>(peak) - static_cast<long long>(before) : -1;
    std::fprintf(stderr, "%ls %.6f %.6f %llu %lld\n", mode.c_str(), seconds, processor,
                 static_cast<unsigned long long>(bytes), extra);
    return 0;
}
