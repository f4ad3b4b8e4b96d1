// The simulated reader as a USB library: the same two entry points as the real
// one, plus a small control interface for tests.
#include "rfidsim.h"

#include "cardformat.h"
#include "model.h"
#include "statefile.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>

#include <dbt.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#if defined(_WIN32)
#define RFIDSIM_EXPORT extern "C" __declspec(dllexport)
#else
#define RFIDSIM_EXPORT extern "C" __attribute__((visibility("default")))
#endif

using rfidsim::reader;

namespace {
// The simulation starts as the keyboard reader; RFIDSIM_FAMILY=hf makes a
// launched program talk to the 13.56 MHz reader instead.
rfidsim::Family startFamily() {
    const char* f = std::getenv("RFIDSIM_FAMILY");
    return f && std::strcmp(f, "hf") == 0 ? rfidsim::Family::HighFrequency : rfidsim::Family::Keyboard;
}
struct StartFamily {
    StartFamily() { reader().family = startFamily(); }
} startFamilyAtLoad;

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

// RFIDSIM_STATE=<file> keeps the keyboard reader's settings in that file, so that
// separate processes see one reader: read before each command, written after it,
// under a lock of the file's own (sim/statefile.h). Reader i > 0 of several uses
// "<file>.i". A missing or empty file leaves the settings as they are; a damaged one
// fails the exchange and is left as it is.
std::string statePath(int index) {
    const char* path = std::getenv("RFIDSIM_STATE");
    if (!path || !*path || index < 0)
        return {};
    return index == 0 ? std::string(path) : std::string(path) + "." + std::to_string(index);
}

// RFIDSIM_IGNORE=<n> gives a launched program a reader that keeps setting n
// (0 the keyboard language, 1-16 an output-settings data byte) whatever it is told.
void ignoreFromEnvironment() {
    const char* v = std::getenv("RFIDSIM_IGNORE");
    if (!v || !*v)
        return;
    reader().fault = rfidsim::Fault::IgnoreSetting;
    reader().faultArg = std::atoi(v);
}

// RFIDSIM_REFUSE=<command>:<code> (two hex digits each, e.g. 88:10) gives a
// launched program a reader that refuses that command with that error code and
// keeps its settings, as a real reader refuses a value it cannot take. False,
// with `problem` saying why, for a value of any other form: a tester must not
// believe the refusal was tried when it was not.
bool refuseFromEnvironment(const unsigned char* frame, int count, std::string& problem) {
    const char* v = std::getenv("RFIDSIM_REFUSE");
    if (!v || !*v)
        return true;
    auto hex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
    if (std::strlen(v) != 5 || !hex(v[0]) || !hex(v[1]) || v[2] != ':' || !hex(v[3]) || !hex(v[4])) {
        problem = "RFIDSIM_REFUSE=\"" + std::string(v).substr(0, 40) +
                  "\" is not COMMAND:CODE (two hex digits each, such as 88:10)";
        return false;
    }
    const unsigned command = unsigned(std::stoul(std::string(v, 2), nullptr, 16));
    const unsigned code = unsigned(std::stoul(std::string(v + 3, 2), nullptr, 16));
    if (count < 4 || frame[3] != command)
        return true;
    unsigned char answer[] = {0xAA, frame[1], 0x02, 0x01, static_cast<unsigned char>(code), 0x00, 0xBB};
    answer[5] = static_cast<unsigned char>(answer[1] ^ answer[2] ^ answer[3] ^ answer[4]);
    reader().scripted.emplace_back(answer, answer + sizeof answer);
    return true;
}
} // namespace

namespace {

// Values of hidLastError (usb/rfidusb_api.h).
enum Error { kNone = 0, kNoReader = 1, kPermission = 2, kBusy = 3, kIo = 4, kTimeout = 5 };

struct Slot {
    std::unique_ptr<rfidsim::Reader> own; // null for the first reader, which the model keeps
    bool plugged = true;
    int access = RFIDSIM_ACCESS_OK;
};

// The simulated readers and what the optional entry points remember.
struct Bank {
    std::vector<Slot> slots;
    int chosen = -1;       // -1: the first plugged-in reader
    std::vector<int> scan; // reader indexes of the last hidEnumerate
    int error = kNone;
    std::string errorText;
    int pipe[2] = {-1, -1};

    Bank() {
        resize(startCount());
        startPlugs();
    }

    // Reader indexes listed in an environment variable ("1,2").
    static std::vector<int> indexList(const char* name) {
        std::vector<int> out;
        const char* v = std::getenv(name);
        for (const char* p = v; p && *p;) {
            char* end = nullptr;
            const long n = std::strtol(p, &end, 10);
            if (end == p)
                break;
            if (n >= 0 && n < RFIDSIM_MAX_READERS)
                out.push_back(int(n));
            p = *end == ',' ? end + 1 : end;
        }
        return out;
    }

    // RFIDSIM_UNPLUGGED and RFIDSIM_NO_ACCESS: readers that start unplugged, or that
    // this user may not open, so that a launched program meets those cases.
    void startPlugs() {
        for (int i : indexList("RFIDSIM_UNPLUGGED"))
            if (valid(i))
                slots[std::size_t(i)].plugged = false;
        for (int i : indexList("RFIDSIM_NO_ACCESS"))
            if (valid(i))
                slots[std::size_t(i)].access = RFIDSIM_ACCESS_DENIED;
        follow();
    }

    static int startCount() {
        const char* v = std::getenv("RFIDSIM_READERS");
        const int n = v ? std::atoi(v) : 1;
        return std::clamp(n, 1, int(RFIDSIM_MAX_READERS));
    }

    rfidsim::Reader& model(int index) {
        if (slots[std::size_t(index)].own)
            return *slots[std::size_t(index)].own;
        rfidsim::setCurrentReader(nullptr);
        rfidsim::Reader& first = rfidsim::reader();
        follow();
        return first;
    }

    bool valid(int index) const { return index >= 0 && index < int(slots.size()); }

    int current() const {
        if (chosen >= 0)
            return chosen;
        for (std::size_t i = 0; i < slots.size(); ++i)
            if (slots[i].plugged)
                return int(i);
        return -1;
    }

    // Points the model's reader() at the current reader, so that the control functions
    // and the firmware act on it.
    void follow() {
        const int i = current();
        rfidsim::setCurrentReader(i > 0 ? slots[std::size_t(i)].own.get() : nullptr);
    }

    void resize(int count) {
        count = std::clamp(count, 1, int(RFIDSIM_MAX_READERS));
        const bool changed = count != int(slots.size());
        const bool more = count > int(slots.size());
        while (int(slots.size()) > count)
            slots.pop_back();
        while (int(slots.size()) < count) {
            Slot slot;
            if (!slots.empty()) {
                slot.own = std::make_unique<rfidsim::Reader>();
                slot.own->family = startFamily();
            }
            slots.push_back(std::move(slot));
        }
        if (!valid(chosen))
            chosen = -1;
        scan.clear();
        follow();
        if (changed)
            notify(more);
    }

    void powerOn() {
        bool changed = false;
        for (std::size_t i = 0; i < slots.size(); ++i) {
            changed = changed || !slots[i].plugged;
            slots[i].plugged = true;
            slots[i].access = RFIDSIM_ACCESS_OK;
        }
        chosen = -1;
        error = kNone;
        errorText.clear();
        resize(startCount());
        for (std::size_t i = 0; i < slots.size(); ++i)
            model(int(i)).reset();
        startPlugs();
        if (changed)
            notify();
    }

    // Tells the program that a reader came or went, the way its platform does.
    void notify(bool arrived = true) {
#if defined(_WIN32)
        // Windows sends WM_DEVICECHANGE for a HID interface to the windows that
        // asked for it; programs ask with a message-only window. A simulated
        // reader is no Plug and Play device, so it sends the same message itself,
        // to the message-only windows of the thread that plugs (a window of a
        // thread that is busy elsewhere would hold the sender up).
        DEV_BROADCAST_DEVICEINTERFACE_W notice{};
        notice.dbcc_size = sizeof notice;
        notice.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        notice.dbcc_classguid = {
            0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
        const DWORD self = ::GetCurrentThreadId();
        for (HWND w = ::FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr); w;
             w = ::FindWindowExW(HWND_MESSAGE, w, nullptr, nullptr)) {
            if (::GetWindowThreadProcessId(w, nullptr) == self)
                ::SendMessageW(w, WM_DEVICECHANGE, arrived ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE,
                               reinterpret_cast<LPARAM>(&notice));
        }
#else
        (void)arrived;
        if (pipe[1] >= 0) {
            const char byte = 1;
            if (::write(pipe[1], &byte, 1) < 0) {
                // Full: the reader of the pipe has notices waiting already.
            }
        }
#endif
    }

    void setError(int kind, std::string text) {
        error = kind;
        errorText = std::move(text);
    }

    // Whether the current reader can be used; sets the error when not.
    bool usable() {
        const int i = current();
        if (i < 0 || !slots[std::size_t(i)].plugged) {
            setError(kNoReader,
                     i < 0 ? "no reader: every simulated reader is unplugged"
                           : "no reader: the chosen reader (sim:" + std::to_string(i) + ") is unplugged");
            return false;
        }
        if (slots[std::size_t(i)].access == RFIDSIM_ACCESS_DENIED) {
            setError(kPermission, "sim:" + std::to_string(i) + " cannot be opened: Permission denied");
            return false;
        }
        if (slots[std::size_t(i)].access == RFIDSIM_ACCESS_BUSY) {
            setError(kBusy, "sim:" + std::to_string(i) + " cannot be opened: Device or resource busy");
            return false;
        }
        return true;
    }
};

Bank& bank() {
    static Bank instance;
    return instance;
}

const char* accessWord(int access) {
    return access == RFIDSIM_ACCESS_DENIED ? "denied" : access == RFIDSIM_ACCESS_BUSY ? "busy" : "ok";
}

int copyText(const std::string& text, char* buf, int capacity) {
    if (!buf || capacity <= 0)
        return -1;
    if (text.size() + 1 > std::size_t(capacity)) {
        buf[0] = '\0';
        return -1;
    }
    std::memcpy(buf, text.data(), text.size());
    buf[text.size()] = '\0';
    return int(text.size());
}

} // namespace

RFIDSIM_EXPORT int hidWriteData(int, int count, const unsigned char* frame) {
    logBytes('>', frame, count);
    Bank& b = bank();
    if (!b.usable())
        return -1;
    ignoreFromEnvironment();
    std::string problem;
    if (!refuseFromEnvironment(frame, count, problem)) {
        b.setError(kIo, problem);
        return -1;
    }
    rfidsim::StateFile state(statePath(b.current()));
    if (!state.lockAndLoad(reader().keyboard, &problem)) {
        b.setError(kIo, problem);
        return -1;
    }
    const bool written = reader().write(frame, count);
    if (!state.save(reader().keyboard, &problem)) {
        b.setError(kIo, problem);
        return -1;
    }
    state.unlock();
    if (!written) {
        b.setError(kIo, "write failed on sim:" + std::to_string(b.current()));
        return -1;
    }
    b.setError(kNone, {});
    return count;
}

RFIDSIM_EXPORT int hidReadData(int, int capacity, unsigned char* buffer) {
    Bank& b = bank();
    if (!b.usable())
        return -1;
    const int n = reader().read(buffer, capacity);
    if (n > 0) {
        logBytes('<', buffer, n);
        b.setError(kNone, {});
    } else {
        b.setError(kTimeout, "no answer from sim:" + std::to_string(b.current()));
    }
    return n;
}

RFIDSIM_EXPORT int hidEnumerate(void) {
    Bank& b = bank();
    b.scan.clear();
    for (std::size_t i = 0; i < b.slots.size(); ++i)
        if (b.slots[i].plugged)
            b.scan.push_back(int(i));
    return int(b.scan.size());
}

RFIDSIM_EXPORT int hidDeviceInfo(int index, char* buf, int capacity) {
    Bank& b = bank();
    if (index < 0 || index >= int(b.scan.size())) {
        copyText({}, buf, capacity);
        return -1;
    }
    const std::string n = std::to_string(b.scan[std::size_t(index)]);
    return copyText(
        "path=sim:" + n +
            "\nvendor=04d8\nproduct=003f\ninterface=1\nmanufacturer=Simulation\n"
            "product_name=Simulated RFID reader\nserial=SIM-000" +
            n + "\naccess=" + accessWord(b.slots[std::size_t(b.scan[std::size_t(index)])].access) + "\n",
        buf, capacity);
}

RFIDSIM_EXPORT int hidSelectDevice(const char* pathOrSerial) {
    Bank& b = bank();
    if (!pathOrSerial || !*pathOrSerial) {
        b.chosen = -1;
        b.follow();
        return 0;
    }
    const std::string wanted = pathOrSerial;
    for (std::size_t i = 0; i < b.slots.size(); ++i) {
        const std::string n = std::to_string(i);
        if (b.slots[i].plugged && (wanted == "sim:" + n || wanted == "SIM-000" + n)) {
            b.chosen = int(i);
            b.follow();
            return 0;
        }
    }
    return -1;
}

RFIDSIM_EXPORT int hidLastError(char* buf, int capacity) {
    Bank& b = bank();
    if (buf && capacity > 0) {
        const std::size_t n = std::min(b.errorText.size(), std::size_t(capacity - 1));
        std::memcpy(buf, b.errorText.data(), n);
        buf[n] = '\0';
    }
    return b.error;
}

RFIDSIM_EXPORT int hidMonitorFd(void) {
#if defined(_WIN32)
    return -1;
#else
    Bank& b = bank();
    if (b.pipe[0] < 0) {
        if (::pipe(b.pipe) != 0)
            return -1;
        for (int fd : b.pipe) {
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        }
    }
    return b.pipe[0];
#endif
}

RFIDSIM_EXPORT void hidMonitorDrain(void) {
#if !defined(_WIN32)
    Bank& b = bank();
    char buf[64];
    while (b.pipe[0] >= 0 && ::read(b.pipe[0], buf, sizeof buf) > 0) {
    }
#endif
}

// The reader's state file stands for it in other processes; without one it lives in
// this process only, and there is nothing another program could interleave with.
RFIDSIM_EXPORT int hidLockPath(char* buf, int capacity) {
    Bank& b = bank();
    const int i = b.current();
    const std::string state = i >= 0 && b.slots[std::size_t(i)].plugged ? statePath(i) : std::string();
    if (state.empty()) {
        copyText({}, buf, capacity);
        return 0;
    }
    return copyText(state + ".lock", buf, capacity);
}

RFIDSIM_EXPORT void rfidsim_set_reader_count(int count) {
    bank().resize(count);
}

RFIDSIM_EXPORT int rfidsim_reader_count(void) {
    return int(bank().slots.size());
}

RFIDSIM_EXPORT void rfidsim_plug(int index, int plugged) {
    Bank& b = bank();
    if (!b.valid(index) || b.slots[std::size_t(index)].plugged == (plugged != 0))
        return;
    b.slots[std::size_t(index)].plugged = plugged != 0;
    b.follow();
    b.notify(plugged != 0);
}

RFIDSIM_EXPORT int rfidsim_plugged(int index) {
    Bank& b = bank();
    return b.valid(index) && b.slots[std::size_t(index)].plugged ? 1 : 0;
}

RFIDSIM_EXPORT void rfidsim_set_access(int index, int access) {
    Bank& b = bank();
    if (b.valid(index))
        b.slots[std::size_t(index)].access =
            (access == RFIDSIM_ACCESS_DENIED || access == RFIDSIM_ACCESS_BUSY) ? access : RFIDSIM_ACCESS_OK;
}

RFIDSIM_EXPORT int rfidsim_current(void) {
    const Bank& b = bank();
    const int i = b.current();
    return i >= 0 && b.slots[std::size_t(i)].plugged ? i : -1;
}

RFIDSIM_EXPORT void rfidsim_reset(void) {
    bank().powerOn();
}

RFIDSIM_EXPORT void rfidsim_set_family(int family) {
    reader().family = family == RFIDSIM_HF ? rfidsim::Family::HighFrequency : rfidsim::Family::Keyboard;
}

RFIDSIM_EXPORT int rfidsim_family(void) {
    return reader().family == rfidsim::Family::HighFrequency ? RFIDSIM_HF : RFIDSIM_KEYBOARD;
}

RFIDSIM_EXPORT void rfidsim_set_fault(int fault, int arg) {
    using rfidsim::Fault;
    static const Fault faults[] = {Fault::None,    Fault::WriteFail, Fault::Silent,   Fault::Refuse,
                                   Fault::Damaged, Fault::Short,     Fault::Overlong, Fault::IgnoreSetting};
    reader().fault = (fault >= 0 && fault <= RFIDSIM_IGNORE_SETTING) ? faults[fault] : Fault::None;
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

RFIDSIM_EXPORT int rfidsim_card_text(const unsigned char* card, int count, char* buffer, int capacity) {
    if (count < 0 || count > 7 || (count > 0 && !card))
        return -1;
    rfid::wedge::CardNumber number{};
    std::copy_n(card, count, number.end() - count);
    const std::string text = rfidsim::typedCard(reader().keyboard, number);
    if (text.empty())
        return -1;
    if (buffer && capacity > int(text.size()))
        std::memcpy(buffer, text.c_str(), text.size() + 1);
    return int(text.size());
}
