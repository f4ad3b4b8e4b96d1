#include "nearname.h"

#include <algorithm>
#include <cctype>

namespace rfid::wedge {

namespace {
std::string folded(const std::string& s) {
    std::string out;
    for (char c : s)
        out += char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Levenshtein distance, one row at a time.
std::size_t slips(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}
} // namespace

std::string closestName(const std::string& text, const std::vector<std::string>& names) {
    // Long texts are no one's typing slip; comparing them would only cost time.
    if (text.empty() || text.size() > 64)
        return {};
    const std::string wanted = folded(text);
    std::string best;
    std::size_t bestSlips = 0;
    for (const std::string& name : names) {
        const std::size_t n = slips(wanted, folded(name));
        const std::size_t allowed = std::max<std::size_t>(1, name.size() / 3);
        if (n <= allowed && (best.empty() || n < bestSlips)) {
            best = name;
            bestSlips = n;
        }
    }
    return best;
}

} // namespace rfid::wedge
