// The card test's logic: keystrokes split into reads, control keys made
// visible, and each read checked against the shape the output settings promise.
#pragma once

#include "cardformat.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace rfid::wedge {

// One key as it arrived: the character it typed (control keys as their ASCII
// control codes: "\r" Enter, "\t" Tab, 0x08 Backspace, 0x1B Escape, 0x7F
// Delete) and when, in milliseconds on any steady clock.
struct Keystroke {
    std::int64_t ms = 0;
    char32_t ch = 0;
};

struct Read {
    std::vector<Keystroke> keys;
    bool pasted = false; // arrived as one paste, not as key presses

    std::u32string text() const;
    std::int64_t durationMs() const; // first to last key
};

struct SplitOptions {
    // A pause longer than this ends a read.
    int pauseMs = 100;
    // With Enter on, the Enter that ends a card ends the read as well; a
    // prefix, suffix or custom byte may type further Enters before it, so a
    // read ends at its `entersPerRead`-th Enter. 0: only pauses end reads.
    int entersPerRead = 0;
};

// The Enters the reader types per card with `settings` (0 when Enter is off).
int entersPerRead(const OutputSettings& settings);

// Splits keystrokes as they come. Keystrokes whose time goes backwards (a
// different clock) start a new read.
class ReadSplitter {
public:
    explicit ReadSplitter(SplitOptions options = {}) : m_options(options) {}

    void setOptions(SplitOptions options) { m_options = options; }
    const SplitOptions& options() const { return m_options; }

    // Takes one keystroke; returns the reads it completed (the one before a
    // pause, and the one it ends with Enter), in order.
    std::vector<Read> add(const Keystroke& key);
    // A paste: ends the read in progress, then is one read of its own.
    std::vector<Read> addPaste(const std::u32string& text, std::int64_t ms);
    // The read in progress, when there is one: call after a pause.
    std::optional<Read> finish();
    bool pending() const { return !m_current.keys.empty(); }
    const Read& current() const { return m_current; }

private:
    SplitOptions m_options;
    Read m_current;
    int m_enters = 0;
};

// All reads in a recorded sequence of keystrokes.
std::vector<Read> splitReads(const std::vector<Keystroke>& keys, SplitOptions options);

// `text` as UTF-8 with control keys shown as symbols: ⏎ Enter, ⇥ Tab, ⌫
// Backspace, ⎋ Escape, ⌦ Delete, ␣ blank, other control codes as their
// control pictures (␀ … ␟).
std::string visibleText(const std::u32string& text);

struct ShapeCheck {
    bool matches = false;
    std::string reason; // empty when it matches; otherwise why not, in English
};

// Whether `text` has the shape that `settings` promise: prefix and suffix,
// ";" "?" and the comma, the custom byte, Enter at the end, and the digit count
// and alphabet of the format.
ShapeCheck checkShape(const std::u32string& text, const OutputSettings& settings);

// Whether a read's timing fits a reader. A reader types each key as a press
// and a release in USB reports at least 1 ms apart, so keys less than
// `kMinKeyIntervalMs` apart on average came from somewhere else.
constexpr double kMinKeyIntervalMs = 1.0;
enum class Origin {
    Reader,  // timing fits a reader (or a single key, which has no timing)
    TooFast, // faster than a reader can type
    Pasted,  // a paste
};
Origin originOf(const Read& read);
// "" for Reader, else the note shown with the row.
std::string originNote(const Read& read);

// UTF-8 of a UTF-32 text and back (invalid sequences become U+FFFD).
std::string toUtf8(const std::u32string& text);
std::u32string fromUtf8(const std::string& text);

} // namespace rfid::wedge
