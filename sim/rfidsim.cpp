// The simulated reader as a USB library: the same two entry points as the real
// one, plus a small control interface for tests.
#include "rfidsim.h"

#include "model.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(_WIN32)
#define RFIDSIM_EXPORT extern "C" __declspec(dllexport)
#else
#define RFIDSIM_EXPORT extern "C" __attribute__((visibility("default")))
#endif

using rfidsim::reader;

namespace {
// The simulation starts as the keyboard reader; RFIDSIM_FAMILY=hf makes a
// launched program talk to the 13.56 MHz reader instead.
struct StartFamily {
    StartFamily() {
        const char* f = std::getenv("RFIDSIM_FAMILY");
        if (f && std::strcmp(f, "hf") == 0)
            reader().family = rfidsim::Family::HighFrequency;
    }
} startFamily;

// RFIDSIM_LOG=<file> appends every frame the reader takes ("> AA 00 01 CF CE BB")
// and every answer it hands out ("< ...") to that file, one line each, so that a
// test can see what a launched program exchanged with it. The file is opened
// per line so that nothing is lost when the program is killed.
void logBytes(char direction, const unsigned char* bytes, int count) {
    const char* path = std::getenv("RFIDSIM_LOG");
    if (!path || !*path || count < 0 || (count > 0 && !bytes))
        return;
    std::FILE* f = std::fopen(path, "a");
    if (!f)
        return;
    std::fputc(direction, f);
    for (int i = 0; i < count; ++i)
        std::fprintf(f, " %02X", unsigned(bytes[i]));
    std::fputc('\n', f);
    std::fclose(f);
}
} // namespace

RFIDSIM_EXPORT int hidWriteData(int, int count, const unsigned char* frame) {
    logBytes('>', frame, count);
    return reader().write(frame, count) ? count : -1;
}

RFIDSIM_EXPORT int hidReadData(int, int capacity, unsigned char* buffer) {
    const int n = reader().read(buffer, capacity);
    if (n > 0)
        logBytes('<', buffer, n);
    return n;
}

RFIDSIM_EXPORT void rfidsim_reset(void) {
    reader().reset();
}

RFIDSIM_EXPORT void rfidsim_set_family(int family) {
    reader().family = family == RFIDSIM_HF ? rfidsim::Family::HighFrequency : rfidsim::Family::Keyboard;
}

RFIDSIM_EXPORT int rfidsim_family(void) {
    return reader().family == rfidsim::Family::HighFrequency ? RFIDSIM_HF : RFIDSIM_KEYBOARD;
}

RFIDSIM_EXPORT void rfidsim_set_fault(int fault, int arg) {
    using rfidsim::Fault;
    static const Fault faults[] = {Fault::None,    Fault::WriteFail, Fault::Silent,  Fault::Refuse,
                                   Fault::Damaged, Fault::Short,     Fault::Overlong};
    reader().fault = (fault >= 0 && fault <= RFIDSIM_OVERLONG) ? faults[fault] : Fault::None;
    reader().faultArg = arg;
}

RFIDSIM_EXPORT void rfidsim_script_answer(const unsigned char* bytes, int count) {
    if (count < 0 || (count > 0 && !bytes))
        return;
    reader().scripted.emplace_back(bytes, bytes + count);
}

RFIDSIM_EXPORT int rfidsim_frame_count(void) {
    return int(reader().frames.size());
}

RFIDSIM_EXPORT int rfidsim_frame(int index, unsigned char* buffer, int capacity) {
    if (index < 0 || index >= int(reader().frames.size()))
        return -1;
    const rfidsim::Bytes& f = reader().frames[std::size_t(index)];
    if (buffer && capacity > 0)
        std::copy_n(f.begin(), std::min<std::size_t>(f.size(), std::size_t(capacity)), buffer);
    return int(f.size());
}

RFIDSIM_EXPORT void rfidsim_clear_frames(void) {
    reader().frames.clear();
}
