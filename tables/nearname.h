// The name a user most likely meant when what they wrote names nothing: for
// "did you mean" in errors about options, languages, formats and layouts.
//
// Plain C++ without Qt.
#pragma once

#include <string>
#include <vector>

namespace rfid::wedge {

// The name among `names` closest to `text`, compared without case: the one
// fewest typing slips away (a letter added, left out or changed), and no more
// than a third of its letters (at least one); "" when none is that close. Of
// names equally close, the first.
std::string closestName(const std::string& text, const std::vector<std::string>& names);

} // namespace rfid::wedge
