// Gathering randomness from the user's input: the values an input event
// contributes to the random pool, and TMouseData, the collection step before
// key generation, which shows the viewer's full-screen overlay and records
// input events until it has enough.
#pragma once

#include <cstdint>
#include <vector>

#include "crypto/rsa/rand.h"
#include "platform/message_loop.h"
#include "platform/page_viewer.h"

namespace app {

// The message's second parameter as a desktop input message carries it. For
// mouse events: the position, x in the low 16 bits and y in the high 16 bits
// (each cut to 16 bits). For key presses: a repeat count of 1 in the low 16
// bits and the key code's low byte in bits 16 to 23, where the scan code
// stands.
uint32_t InputParam(const platform::InputMessage& message);

// Feeds one 32-bit value into the pool: one rand_update call with its four
// bytes, least significant first.
void FeedValue(RandomPool& pool, uint32_t value);

class TMouseData {
  public:
    // `viewer` shows the overlay (may be null: the collection then runs
    // without one); `loop` delivers the input events.
    TMouseData(platform::MessageLoop& loop, platform::PageViewer* viewer);
    TMouseData(const TMouseData&) = delete;
    TMouseData& operator=(const TMouseData&) = delete;

    // Two values per recorded event: the event's InputParam, then its time
    // stamp in milliseconds.
    std::vector<uint32_t> Samples;
    // Events after which the collection ends; at least 1.
    uint32_t Needed = 100;
    // Events recorded so far.
    uint32_t Events = 0;
    // The position of the overlay's progress bar, 0 to 100.
    int Bar = 0;

    // Lets the waiting messages run, shows the overlay, puts AppMessage in
    // the loop's hook slot and runs a nested loop until Needed events are
    // recorded; then puts the previous hook back and takes the overlay away.
    // True when the collection completed; false when the program was told to
    // end meanwhile (Samples then holds what came in before).
    bool Do_MouseData();

    // The collection hook while Do_MouseData runs: records the event, moves
    // the bar to Events * 100 / Needed and ends the collection at Needed. It
    // never marks a message as handled; events after the end are ignored.
    void AppMessage(const platform::InputMessage& message, bool& handled);

    // The i-th value of Samples (0-based; i below GetCount()).
    uint32_t GetDatos(size_t i) const { return Samples.at(i); }
    // The number of values in Samples: twice the events recorded.
    size_t GetCount() const { return Samples.size(); }

  private:
    platform::MessageLoop& loop_;
    platform::PageViewer* viewer_;
    bool collecting_ = false;
};

}  // namespace app
