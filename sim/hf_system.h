// 13.56 MHz firmware: system commands.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace rfidsim {

struct Request;
struct Reply;
struct HfState;

struct SystemState {};

// The answer when the command belongs to this group, nullopt otherwise.
std::optional<Reply> systemAnswer(HfState& state, const Request& request);

} // namespace rfidsim
