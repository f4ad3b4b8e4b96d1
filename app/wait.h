// Waits that keep the window alive: they process window events until their
// time is up, sleeping in between instead of spinning.
#pragma once

#include <functional>

namespace rfid {

// Processes events until `ms` milliseconds have passed or `done()` holds after
// a pass (checked after each pass). Each pass processes pending events twice,
// reads the clock, and processes them twice more.
void Delay(int ms, const std::function<bool()>& done);

// Processes events until `ms` milliseconds have passed; always at least once.
void Delayy(int ms);

} // namespace rfid
