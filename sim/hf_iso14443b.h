// 13.56 MHz firmware: iso14443b commands.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace rfidsim {

struct Request;
struct Reply;
struct HfState;

struct TypeBState {};

// The answer when the command belongs to this group, nullopt otherwise.
std::optional<Reply> typeBAnswer(HfState& state, const Request& request);

} // namespace rfidsim
