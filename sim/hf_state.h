// Everything the simulated 13.56 MHz reader keeps: its settings and the cards
// in its field, one part per command group.
#pragma once

#include "hf_iso14443b.h"
#include "hf_iso15693.h"
#include "hf_mifare.h"
#include "hf_system.h"
#include "hf_ultralight.h"

namespace rfidsim {

struct HfState {
    SystemState system;
    MifareState mifare;
    UltralightState ultralight;
    TypeBState typeB;
    Iso15693State iso15693;
};

// The 13.56 MHz firmware's answer: the first command group that knows the
// command answers it; an unknown command is refused as undefined (8F).
Reply hfAnswer(HfState& state, const Request& request);

} // namespace rfidsim
