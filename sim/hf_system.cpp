#include "hf_system.h"

#include "model.h"

namespace rfidsim {

std::optional<Reply> systemAnswer(HfState&, const Request&) {
    return std::nullopt;
}

} // namespace rfidsim
