// Plugs a reader in through /dev/uhid and keeps it plugged in until SIGTERM (or
// until it has answered --unplug-after frames): the command interface, answered by
// the simulated firmware, and the keyboard interface beside it, as a real reader
// shows them. Runs inside the system test's VM (tests/system/vm-cases.sh).
//
//   rfid_plug_reader [--vendor 04d8] [--product 003f] [--serial S] [--delay MS]
//                    [--state FILE] [--log FILE] [--unplug-after N]
//
// Prints "plugged <command node> <keyboard node> <time>" once both hidraw nodes
// exist, <time> being when the command interface was created (seconds since the
// epoch). --log gets one "> frame" line per command frame and one
// "< answer t=<time>" line per answer, hex bytes as the simulated reader's own log
// writes them. --state keeps the firmware's settings between runs (a reader keeps
// its settings when unplugged): read at start, written when unplugged.
#include "keyboard.h"
#include "uhid_reader.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

namespace {

std::atomic<bool> g_stop{false};

void onSignal(int) {
    g_stop = true;
}

double now() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

std::string hex(const std::vector<std::uint8_t>& bytes) {
    std::string out;
    char b[4];
    for (std::uint8_t c : bytes) {
        std::snprintf(b, sizeof b, out.empty() ? "%02X" : " %02X", c);
        out += b;
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    rfidvm::DeviceOptions command;
    command.serial = "system-test";
    std::string statePath, logPath;
    int unplugAfter = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        const char* v = argv[i + 1];
        if (a == "--vendor")
            command.vendor = static_cast<std::uint16_t>(std::strtoul(v, nullptr, 16));
        else if (a == "--product")
            command.product = static_cast<std::uint16_t>(std::strtoul(v, nullptr, 16));
        else if (a == "--serial")
            command.serial = v;
        else if (a == "--delay")
            command.delayMs = std::atoi(v);
        else if (a == "--state")
            statePath = v;
        else if (a == "--log")
            logPath = v;
        else if (a == "--unplug-after")
            unplugAfter = std::atoi(v);
        else {
            std::fprintf(stderr, "rfid_plug_reader: unknown option %s\n", a.c_str());
            return 2;
        }
    }
    std::FILE* log = logPath.empty() ? nullptr : std::fopen(logPath.c_str(), "a");
    if (!logPath.empty() && log == nullptr) {
        std::perror(logPath.c_str());
        return 1;
    }
    command.onFrame = [log](const std::vector<std::uint8_t>& frame, const std::vector<std::uint8_t>& answer) {
        if (log == nullptr)
            return;
        std::fprintf(log, "> %s\n< %s t=%.6f\n", hex(frame).c_str(), hex(answer).c_str(), now());
        std::fflush(log);
    };
    rfidvm::DeviceOptions keyboard = command;
    keyboard.layout = rfidvm::Layout::Keyboard;
    keyboard.name = "RFID reader keyboard";
    keyboard.onFrame = nullptr;

    rfidvm::UhidReader reader(command);
    rfidvm::UhidReader keys(keyboard);
    if (!statePath.empty()) {
        std::ifstream in(statePath);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!text.empty() && !rfidsim::parseKeyboardState(text, reader.firmware().keyboard)) {
            std::fprintf(stderr, "rfid_plug_reader: %s holds no reader state\n", statePath.c_str());
            return 1;
        }
    }
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);

    const double plugged = now();
    std::string error;
    if (!reader.create(&error) || !keys.create(&error)) {
        std::fprintf(stderr, "rfid_plug_reader: %s\n", error.c_str());
        return 1;
    }
    std::printf("plugged %s %s %.6f\n", reader.node().c_str(), keys.node().c_str(), plugged);
    std::fflush(stdout);
    while (!g_stop && (unplugAfter <= 0 || reader.framesAnswered() < unplugAfter))
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    reader.destroy();
    keys.destroy();
    std::printf("unplugged after %d frames\n", reader.framesAnswered());
    if (!statePath.empty())
        std::ofstream(statePath) << rfidsim::keyboardStateText(reader.firmware().keyboard);
    if (log != nullptr)
        std::fclose(log);
    return 0;
}
