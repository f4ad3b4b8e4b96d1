#include "hf_iso15693.h"

#include "model.h"

namespace rfidsim {

std::optional<Reply> iso15693Answer(HfState&, const Request&) {
    return std::nullopt;
}

} // namespace rfidsim
