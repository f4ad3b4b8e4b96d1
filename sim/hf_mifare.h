// 13.56 MHz firmware: mifare commands.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace rfidsim {

struct Request;
struct Reply;
struct HfState;

struct MifareState {};

// The answer when the command belongs to this group, nullopt otherwise.
std::optional<Reply> mifareAnswer(HfState& state, const Request& request);

} // namespace rfidsim
