#include "hf_ultralight.h"

#include "model.h"

namespace rfidsim {

std::optional<Reply> ultralightAnswer(HfState&, const Request&) {
    return std::nullopt;
}

} // namespace rfidsim
