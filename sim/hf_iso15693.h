// 13.56 MHz firmware: iso15693 commands.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace rfidsim {

struct Request;
struct Reply;
struct HfState;

struct Iso15693State {};

// The answer when the command belongs to this group, nullopt otherwise.
std::optional<Reply> iso15693Answer(HfState& state, const Request& request);

} // namespace rfidsim
