#include "hf_iso14443b.h"

#include "model.h"

namespace rfidsim {

std::optional<Reply> typeBAnswer(HfState&, const Request&) {
    return std::nullopt;
}

} // namespace rfidsim
