#pragma once

// A LineSink that keeps every line, for tests of code that reports through one.

#include "common/ProgramLog.h"

#include <string>
#include <vector>

namespace testing_support {

class LineCollector final : public LineSink {
  public:
    void WriteLine(std::wstring_view line) noexcept override { lines.emplace_back(line); }
    std::vector<std::wstring> lines;
};

}  // namespace testing_support
