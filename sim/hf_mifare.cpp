#include "hf_mifare.h"

#include "model.h"

namespace rfidsim {

std::optional<Reply> mifareAnswer(HfState&, const Request&) {
    return std::nullopt;
}

} // namespace rfidsim
