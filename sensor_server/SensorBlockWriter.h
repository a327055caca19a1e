#pragma once

// The writing side of the shared block "quorin_hardware_mapfile": created if no one has it yet, opened
// otherwise, mapped for writing for the life of the server.

#include "win/Handle.h"

#include <cstddef>
#include <string>

class SensorBlockWriter {
  public:
    // False with a reason when the block cannot be created, opened or mapped (for instance when someone
    // else created a smaller block under the name).
    [[nodiscard]] bool Open(std::string* error);

    // One aligned 4-byte little-endian float32 store, so a reader never sees half a value. offset must be a
    // multiple of 4 inside the block.
    void Write(size_t offset, float value) noexcept;

  private:
    UniqueHandle section_;
    UniqueMapView view_;
};
