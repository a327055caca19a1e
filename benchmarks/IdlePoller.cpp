// The baseline of benchmarks/idle_cpu.py: a process that does nothing but wake every 16 ms, as a program's
// idle polling loop would.
//
//   idle_poller.exe SECONDS

#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv) {
    const long seconds = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 0;
    const ULONGLONG end = ::GetTickCount64() + static_cast<ULONGLONG>(seconds > 0 ? seconds : 60) * 1000;
    while (::GetTickCount64() < end) {
        ::Sleep(16);
    }
    return 0;
}
