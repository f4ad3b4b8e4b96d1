// 13.56 MHz firmware: ultralight commands.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace rfidsim {

struct Request;
struct Reply;
struct HfState;

struct UltralightState {};

// The answer when the command belongs to this group, nullopt otherwise.
std::optional<Reply> ultralightAnswer(HfState& state, const Request& request);

} // namespace rfidsim
