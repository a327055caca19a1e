#pragma once

// When the worker tells the panel what the displays show: only while the panel is on screen. A hidden panel
// is caught up once, when it is shown again, so an idle program does not wake its window thread every second
// for a line nobody sees.
//
// The worker stores the latest status before it asks whether the panel is shown; the window thread marks the
// panel shown before it takes the latest status. So a status is either posted or taken at the show, never
// lost between the two.

#include <atomic>
#include <cstdint>
#include <optional>

class StatusPost {
  public:
    // Worker, after each step: the status to post now, or nothing when it was posted already or the panel is
    // hidden.
    [[nodiscard]] std::optional<uint32_t> ToPost(uint32_t status) noexcept;
    // Worker: the window's queue took the post (a refused one is offered again at the next step).
    void Posted(uint32_t status) noexcept { posted_.store(status); }

    // Window thread: the panel was shown or hidden. On a show, the latest status for the line at once;
    // nothing when hidden or before the worker's first step. The worker posts its next status again, which
    // may have changed since.
    std::optional<uint32_t> SetShown(bool shown) noexcept;

  private:
    static constexpr uint32_t kNone = UINT32_MAX;  // no status packs to this value

    std::atomic<uint32_t> latest_{kNone};
    std::atomic<bool> shown_{true};  // the panel starts on screen
    std::atomic<uint32_t> posted_{kNone};
};
