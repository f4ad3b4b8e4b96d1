#!/bin/sh
# Builds the program and starts it: against the attached reader when one is
# found, otherwise against the simulated reader. RFID_SIM=1 forces the
# simulated reader, RFID_SIM=0 the real USB library.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
build=build/run
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DRFID_BUILD_TESTS=OFF -DRFID_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target rfid-demo rfidsim rfidusb

# Is one of the readers the USB library looks for attached? (vvvv:pppp, hex)
ids="${RFIDUSB_DEVICE:-04d8:003f 0483:5750 1a86:e010}"
reader_attached() {
    for uevent in /sys/class/hidraw/*/device/uevent; do
        [ -r "$uevent" ] || continue
        hid=$(sed -n 's/^HID_ID=[0-9A-Fa-f]*:0*\([0-9A-Fa-f]*\):0*\([0-9A-Fa-f]*\)$/\1:\2/p' "$uevent" | tr 'A-F' 'a-f')
        for id in $ids; do
            v=$(echo "$id" | cut -d: -f1 | sed 's/^0*//' | tr 'A-F' 'a-f')
            p=$(echo "$id" | cut -d: -f2 | sed 's/^0*//' | tr 'A-F' 'a-f')
            [ "$hid" = "$v:$p" ] && return 0
        done
    done
    return 1
}

sim="${RFID_SIM:-}"
if [ -z "$sim" ]; then
    if reader_attached; then sim=0; else sim=1; fi
fi
if [ "$sim" = 1 ]; then
    echo "No reader found: starting with the simulated reader ($build/sim)."
    LD_LIBRARY_PATH="$PWD/$build/sim${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
    export LD_LIBRARY_PATH
else
    echo "Reader found: starting with the USB library ($build/usb)."
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display: running under a virtual X server (xvfb-run); nothing will be visible."
    exec xvfb-run -a "$build/app/rfid-demo" "$@"
fi
exec "$build/app/rfid-demo" "$@"
