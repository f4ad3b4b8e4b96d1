// A USB library for the exchange fuzzer: the same two entry points as the real
// one, answering with whatever the fuzzer set beforehand. It also records the
// frame it was given, so the fuzzer can compare it with what it asked to send.
#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#define FUZZUSB_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
struct Script {
    int writeResult = 0;                // what hidWriteData returns; INT_MIN means "the frame's count"
    int readResult = 0;                 // what hidReadData returns
    std::vector<unsigned char> answer;  // copied into the buffer, up to its capacity
    std::vector<unsigned char> written; // the last frame written
    int writes = 0;
    int reads = 0;
    int readCapacity = 0;
};
Script& script() {
    static Script s;
    return s;
}
} // namespace

FUZZUSB_EXPORT void fuzzusb_set(int writeResult, int readResult, const unsigned char* answer, int count) {
    Script& s = script();
    s.writeResult = writeResult;
    s.readResult = readResult;
    s.answer.clear();
    if (answer && count > 0)
        s.answer.assign(answer, answer + count);
    s.written.clear();
    s.writes = 0;
    s.reads = 0;
    s.readCapacity = 0;
}

// Copies the last written frame into `buffer` (at most `capacity` bytes) and
// returns its length; the numbers of calls and the capacity asked for come back
// through the pointers.
FUZZUSB_EXPORT int fuzzusb_written(unsigned char* buffer, int capacity, int* writes, int* reads,
                                   int* readCapacity) {
    const Script& s = script();
    const int n = int(s.written.size());
    if (buffer && n > 0 && capacity > 0)
        std::memcpy(buffer, s.written.data(), std::size_t(std::min(n, capacity)));
    *writes = s.writes;
    *reads = s.reads;
    *readCapacity = s.readCapacity;
    return n;
}

FUZZUSB_EXPORT int hidWriteData(int, int count, const unsigned char* frame) {
    Script& s = script();
    ++s.writes;
    s.written.clear();
    if (frame && count > 0)
        s.written.assign(frame, frame + count);
    return s.writeResult == INT_MIN ? count : s.writeResult;
}

FUZZUSB_EXPORT int hidReadData(int, int capacity, unsigned char* buffer) {
    Script& s = script();
    ++s.reads;
    s.readCapacity = capacity;
    // A library fills at most what it was asked for, whatever it then claims.
    const int n = std::min(int(s.answer.size()), std::max(capacity, 0));
    if (buffer && n > 0)
        std::memcpy(buffer, s.answer.data(), std::size_t(n));
    return s.readResult;
}
