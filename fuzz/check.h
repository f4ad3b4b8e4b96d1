// What every fuzz target uses to report a broken property: the message and
// an abort, which libFuzzer records as a finding with the input that caused it.
#pragma once

#include <QString>
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(cond, ...)                                                                                \
    do {                                                                                                     \
        if (!(cond)) {                                                                                       \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);                    \
            fuzzNote(__VA_ARGS__);                                                                           \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (0)

inline void fuzzNote() {}
inline void fuzzNote(const QString& text) {
    std::fprintf(stderr, "  %s\n", text.toLocal8Bit().constData());
}

// True when `text` is upper-case hex digits only, two per byte.
inline bool isUpperHexBytes(const QString& text) {
    if (text.size() % 2 != 0)
        return false;
    for (QChar c : text) {
        const ushort u = c.unicode();
        if (!((u >= '0' && u <= '9') || (u >= 'A' && u <= 'F')))
            return false;
    }
    return true;
}
