#include "SensorBlockWriter.h"

#include "SensorBlock.h"

#include <cstdint>
#include <cstring>

bool SensorBlockWriter::Open(std::string* error) {
    section_.reset(::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kSensorBlockSize,
                                        kSensorBlockName));
    if (!section_) {
        *error = "cannot create or open the shared block (error " + std::to_string(::GetLastError()) + ")";
        return false;
    }
    view_.reset(::MapViewOfFile(section_.get(), FILE_MAP_WRITE, 0, 0, kSensorBlockSize));
    if (!view_) {
        *error = "cannot map the shared block (error " + std::to_string(::GetLastError()) + ")";
        section_.reset();
        return false;
    }
    return true;
}

void SensorBlockWriter::Write(size_t offset, float value) noexcept {
    if (!view_ || offset % 4 != 0 || offset + sizeof(float) > kSensorBlockSize) {
        return;
    }
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof(bits));
    __atomic_store_n(reinterpret_cast<uint32_t*>(static_cast<unsigned char*>(view_.get()) + offset), bits,
                     __ATOMIC_RELEASE);
}
