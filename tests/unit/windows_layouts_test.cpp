// The desktop's layout on Windows by its XKB name: every layout a reader's
// keyboard language types for has a Windows layout that maps to it, and text
// that is no layout identifier maps to nothing.
#include "hostkeyboard.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>

namespace {

TEST(WindowsLayouts, EveryReaderLayoutHasAWindowsLayout) {
    std::set<std::string> reachable;
    char klid[9];
    for (unsigned variant = 0; variant < 3; ++variant)
        for (unsigned language = 0x0400; language < 0x2000; ++language) {
            std::snprintf(klid, sizeof klid, "%04X%04X", variant, language);
            if (const auto l = rfid::xkbLayoutOfWindowsLayout(klid))
                reachable.insert(l->name());
        }
    for (int code = 0; code < 256; ++code) {
        if (const auto l = rfid::wedge::readerLayout(std::uint8_t(code))) {
            EXPECT_EQ(reachable.count(l->name()), 1u) << l->name();
        }
    }
}

TEST(WindowsLayouts, OnlyLayoutIdentifiersAreRead) {
    const struct {
        const char* klid;
        const char* name; // "" for none
    } cases[] = {
        {"00000407", "de"}, {"0000100C", "ch(fr)"}, {"0000100c", "ch(fr)"}, {"0001041F", "tr(f)"},
        {"00000000", ""},   {"0000040", ""},        {"000004077", ""},      {"0x000407", ""},
        {"", ""},           {"0000 407", ""},
    };
    for (const auto& c : cases) {
        const auto l = rfid::xkbLayoutOfWindowsLayout(c.klid);
        EXPECT_EQ(l ? l->name() : std::string(), c.name) << c.klid;
    }
}

} // namespace
