// A card reader made through Linux /dev/uhid: the kernel sees a HID device with the
// reader's ids and report descriptor, and every command frame written to its hidraw
// node is answered by the simulated reader's firmware (sim/ model).
#pragma once

#include "model.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace rfidvm {

enum class Layout {
    Vendor,    // one vendor-defined command collection
    Composite, // a keyboard collection (report id 1) and the command collection in one descriptor
    Keyboard,  // a keyboard collection alone (the reader's other interface)
};

struct DeviceOptions {
    std::uint16_t vendor = 0x04d8;
    std::uint16_t product = 0x003f;
    Layout layout = Layout::Vendor;
    std::uint8_t reportId = 0;    // command collection's report id; 0: unnumbered reports
    int reportSize = 64;          // input and output report payload bytes (1..255)
    int gapMs = 0;                // pause between the input reports of one answer
    int delayMs = 0;              // the answer comes this late
    bool silent = false;          // never answers
    int garbage = 0;              // noise bytes sent before the answer's start marker
    bool lyingLength = false;     // the answer's length byte claims far more than is sent
    bool noise = false;           // sends unsolicited noise reports all the time
    std::string version = "V1.0"; // the firmware's version text, to tell readers apart
    // A descriptor of the test's own instead of the one made from the fields above
    // (reports still go out with reportId and reportSize).
    std::vector<std::uint8_t> descriptor;
    bool anyOutputSize = false; // takes output reports of any size (a lenient firmware)
    std::string name = "RFID reader";
    std::string serial; // HID "uniq"; also how the hidraw node is found again
    // Called on the reader's thread once an answer has gone out: the command frame
    // and the answer (a frame log with times, for tests that watch from outside).
    std::function<void(const std::vector<std::uint8_t>& frame, const std::vector<std::uint8_t>& answer)>
        onFrame;
};

// The descriptor bytes for `options` (layout, report id and size).
std::vector<std::uint8_t> reportDescriptor(const DeviceOptions& options);

class UhidReader {
public:
    explicit UhidReader(DeviceOptions options);
    ~UhidReader();
    UhidReader(const UhidReader&) = delete;
    UhidReader& operator=(const UhidReader&) = delete;

    // Creates the kernel device and waits (up to `timeoutMs`) for its hidraw node.
    bool create(std::string* error, int timeoutMs = 15000);
    // Removes the kernel device (the reader is unplugged).
    void destroy();
    bool exists() const { return fd_ >= 0; }

    // "/dev/hidrawN" while the device exists.
    std::string node() const;
    const DeviceOptions& options() const { return options_; }

    // What arrived: command frames answered, output reports refused (wrong report id
    // or size; the text says which).
    int framesAnswered() const { return answered_.load(); }
    std::vector<std::string> refusals() const;
    // The firmware model: its settings survive destroy() and create(), like a real
    // reader's. Touch it only while the device does not exist.
    rfidsim::Reader& firmware() { return firmware_; }

private:
    void run();
    void handleOutput(const std::uint8_t* data, std::size_t size);
    void sendAnswer(const std::vector<std::uint8_t>& answer);
    void sendInput(const std::uint8_t* payload, std::size_t size);
    bool writeEvent(const void* event, std::size_t size);
    std::string findNode() const;

    DeviceOptions options_;
    int fd_ = -1;
    int stopPipe_[2] = {-1, -1};
    std::thread thread_;
    std::atomic<bool> started_{false};
    std::atomic<int> answered_{0};
    mutable std::mutex mutex_;
    std::vector<std::string> refusals_;
    std::vector<std::uint8_t> frame_; // command frame being gathered from output reports
    std::string node_;
    rfidsim::Reader firmware_; // kept across replugs, like a real reader's settings
};

} // namespace rfidvm
