// Holds off a second conversion while one is in progress. A run shows owner-less message boxes, so the
// frame keeps receiving commands (and dropped files) in the middle of a run; a second run would reuse the
// run state of the first. The frame asks the gate before it starts File/Open, a drop or the start-up run,
// and grays Open while the gate is busy. Portable, tested natively.
#pragma once

namespace resivex::shell {

class conversion_gate {
 public:
  bool busy() const { return busy_; }
  // Takes the gate for a conversion. False, and nothing changes, when a conversion is already in progress.
  [[nodiscard]] bool try_begin() {
    if (busy_) return false;
    busy_ = true;
    return true;
  }
  // Releases the gate. Returns true once when a close of the program was asked for in the meantime.
  [[nodiscard]] bool end() {
    busy_ = false;
    const bool close = close_deferred_;
    close_deferred_ = false;
    return close;
  }
  // The program cannot close in the middle of a run (the run is on the stack): the close waits for end().
  void defer_close() { close_deferred_ = true; }

 private:
  bool busy_ = false;
  bool close_deferred_ = false;
};

}  // namespace resivex::shell
