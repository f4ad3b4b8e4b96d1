#!/bin/bash
# Builds the Debian package, unpacks it into a scratch root and checks that what
# it installs is complete and works: the files in their places, the program's
# RUNPATH leading to the USB library, the desktop entry, the udev rule, and the
# installed program answering a command through the installed simulated reader
# under Xvfb.
#
#   package_test.sh <build dir> <source dir>
#
# Exit status: 0 passed, 1 failed, 77 skipped (a tool is missing; what could be
# checked was checked, and a failure there still fails).
set -u

if [ "${1:-}" = "--under-xvfb" ]; then
    mode=xvfb
    shift
else
    mode=main
fi

failures=0
skipped=""
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
pass() { echo "ok: $*"; }
skip_part() {
    echo "SKIP: $*"
    skipped="$skipped; $*"
}
have() { command -v "$1" >/dev/null 2>&1; }

# ---------------------------------------------------------------------------
# The running program, inside the virtual X display.
#   package_test.sh --under-xvfb <root> <work dir> <real USB library dir> <WM class>
# Starts the installed launcher, clicks "Fatory default" on the first page and
# waits for the exchange in the simulated reader's log.
if [ "$mode" = xvfb ]; then
    root=$1 work=$2 usbdir=$3 wmclass=$4
    log=$work/sim.log
    : >"$log"
    mkdir -p "$work/home" "$work/runtime"
    chmod 700 "$work/runtime"
    # The launcher must put the simulated reader ahead of whatever the library
    # search path already holds: here the real USB library.
    env -u QT_QPA_PLATFORM HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" \
        XDG_RUNTIME_DIR="$work/runtime" RFIDSIM_LOG="$log" \
        LD_LIBRARY_PATH="$usbdir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" \
        "$root/usr/bin/rfid-demo-sim" >"$work/program.out" 2>&1 &
    pid=$!
    status=0
    shot() { have import && import -window root "$work/screen.png" 2>/dev/null; }

    wid=$(timeout 30 xdotool search --sync --onlyvisible --name "134.2K Demo" 2>/dev/null | head -n 1)
    if [ -z "$wid" ] || ! kill -0 "$pid" 2>/dev/null; then
        echo "FAIL: the installed program showed no window"
        cat "$work/program.out"
        shot
        kill "$pid" 2>/dev/null
        exit 1
    fi
    echo "ok: the installed program started (window $wid)"

    # The desktop matches the window to its menu entry by WM_CLASS.
    if xdotool search --classname "^$wmclass\$" 2>/dev/null | grep -qx "$wid" ||
        xdotool search --class "^$wmclass\$" 2>/dev/null | grep -qx "$wid"; then
        echo "ok: the window's WM_CLASS matches StartupWMClass=$wmclass"
    else
        echo "FAIL: the window's WM_CLASS does not match StartupWMClass=$wmclass"
        status=1
    fi

    # "Fatory default" (Button57) on the first page, "Switch of mode", shown at
    # start. Its middle in the window's coordinates (no window manager here, so
    # no frame), measured on a screenshot: the page area at (5, 4) below the
    # menu bar and the tab row, the group at y 277 on the page, the button in the
    # group's first row: x 418..502, y 341..366 of the window.
    eval "$(xdotool getwindowgeometry --shell "$wid")"
    echo "window at $X,$Y, ${WIDTH}x$HEIGHT"
    sleep 1
    xdotool mousemove --window "$wid" 460 353 click 1
    answered=0
    for _ in $(seq 1 50); do
        if grep -qx '> AA 00 01 CF CE BB' "$log" && grep -q '^< AA ' "$log"; then
            answered=1
            break
        fi
        sleep 0.2
    done
    if [ "$answered" = 1 ]; then
        echo "ok: the simulated reader received the factory-default command and answered:"
        sed 's/^/    /' "$log"
    else
        echo "FAIL: no factory-default exchange in the simulated reader's log; the log holds:"
        sed 's/^/    /' "$log"
        status=1
    fi
    sleep 0.5
    if kill -0 "$pid" 2>/dev/null; then
        echo "ok: the program is still running after the exchange"
    else
        echo "FAIL: the program ended during the exchange"
        status=1
    fi
    [ "$status" = 0 ] || {
        shot
        cat "$work/program.out"
    }
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    exit "$status"
fi

# ---------------------------------------------------------------------------
build=${1:?usage: package_test.sh <build dir> <source dir>}
src=${2:?usage: package_test.sh <build dir> <source dir>}
build=$(cd "$build" && pwd)
src=$(cd "$src" && pwd)

for tool in cpack dpkg-deb; do
    if ! have "$tool"; then
        echo "SKIP: $tool is not installed"
        exit 77
    fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/rfid-package.XXXXXX")
trap 'rm -rf "$work"' EXIT
root=$work/root

# --- The package -------------------------------------------------------------
# cpack first brings the build tree up to date (its "preinstall" step).
if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
    find "$work/out" -name 'PreinstallOutput.log' -exec tail -n 30 {} \; 2>/dev/null
    echo "FAIL: cpack could not build the package"
    exit 1
fi
deb=$(ls "$work"/out/*.deb 2>/dev/null | head -n 1)
if [ -z "$deb" ]; then
    cat "$work/cpack.log"
    echo "FAIL: cpack made no .deb"
    exit 1
fi
echo "package: $(basename "$deb")"

field() { dpkg-deb -f "$deb" "$1"; }
version=$(sed -n 's/^project([^)]*VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt" | head -n 1)
[ "$(field Package)" = rfid-demo ] && pass "Package: rfid-demo" || fail "Package is '$(field Package)'"
[ -n "$version" ] && [ "$(field Version)" = "$version" ] && pass "Version: $version" ||
    fail "Version is '$(field Version)', the project's is '$version'"
[ "$(field Section)" = utils ] && pass "Section: utils" || fail "Section is '$(field Section)'"
[ -n "$(field Maintainer)" ] && pass "Maintainer: $(field Maintainer)" || fail "no Maintainer"
depends=$(field Depends)
echo "Depends: $depends"
usb_built=1
grep -q '^RFID_BUILD_USB:BOOL=OFF' "$build/CMakeCache.txt" 2>/dev/null && usb_built=0
needed="libqt6widgets6 fonts-wqy-zenhei libc6 libstdc++6 xkb-data libxkbcommon0"
[ "$usb_built" = 1 ] && needed="$needed libhidapi-hidraw0"
dep_names=$(echo "$depends" | tr ',|' '\n\n' | sed 's/(.*//; s/[[:space:]]//g')
for dep in $needed; do
    echo "$dep_names" | grep -qxF "$dep" || fail "Depends lacks $dep"
done

dpkg-deb -x "$deb" "$root" || {
    echo "FAIL: dpkg-deb could not unpack the package"
    exit 1
}

# --- Files in their places ---------------------------------------------------
for f in usr/bin/rfid-demo usr/bin/rfid-demo-sim usr/bin/rfidctl; do
    [ -f "$root/$f" ] && [ -x "$root/$f" ] && pass "/$f" || fail "/$f missing or not executable"
done
desktop=$root/usr/share/applications/rfid-demo.desktop
icon=$root/usr/share/icons/hicolor/scalable/apps/rfid-demo.svg
[ -f "$desktop" ] && pass "${desktop#"$root"}" || fail "${desktop#"$root"} missing"
if [ -f "$icon" ] && grep -q '<svg' "$icon"; then
    pass "${icon#"$root"}"
else
    fail "${icon#"$root"} missing or not an SVG"
fi
rules=$(ls "$root"/lib/udev/rules.d/*.rules "$root"/usr/lib/udev/rules.d/*.rules 2>/dev/null)
[ -n "$rules" ] && pass "udev rule ${rules#"$root"}" || fail "no udev rule in /lib/udev/rules.d or /usr/lib/udev/rules.d"
simlib=$(ls "$root"/usr/lib/rfid-demo/sim/librfidusb.so "$root"/usr/lib/*/rfid-demo/sim/librfidusb.so 2>/dev/null | head -n 1)
[ -n "$simlib" ] && pass "simulated reader ${simlib#"$root"}" || fail "no simulated reader library under /usr/lib*/rfid-demo/sim"
sh -n "$root/usr/bin/rfid-demo-sim" 2>/dev/null || fail "the launcher is not a valid shell script"
# Readers on many computers: the plug-in service, its udev rule, the Ansible module.
for f in usr/lib/systemd/system/rfid-reader-apply@.service usr/lib/udev/rules.d/61-rfid-reader-apply.rules \
    usr/share/ansible/plugins/modules/rfid_reader.py; do
    [ -f "$root/$f" ] && pass "/$f" || fail "/$f missing"
done

# The program must find the real USB library through its RUNPATH ($ORIGIN or an
# absolute path, read inside the scratch root).
exports() { readelf --dyn-syms -W "$1" 2>/dev/null | awk '$7 != "UND" {print $8}'; }
usbdir=""
if ! have readelf; then
    skip_part "readelf is not installed: RUNPATH not checked"
elif [ "$usb_built" = 1 ]; then
    runpath=$(readelf -d "$root/usr/bin/rfid-demo" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
    echo "RUNPATH: $runpath"
    IFS=: read -ra dirs <<<"$runpath"
    for d in "${dirs[@]}"; do
        case $d in
        '$ORIGIN'*) d=$root/usr/bin${d#'$ORIGIN'} ;;
        /*) d=$root$d ;;
        *) continue ;;
        esac
        if [ -f "$d/librfidusb.so" ]; then
            usbdir=$(cd "$d" && pwd)
            break
        fi
    done
    if [ -z "$usbdir" ]; then
        fail "the program's RUNPATH ($runpath) leads to no installed librfidusb.so"
    elif exports "$usbdir/librfidusb.so" | grep -qx rfidsim_reset; then
        fail "the RUNPATH leads to the simulated reader, not the USB library"
    elif exports "$usbdir/librfidusb.so" | grep -qx hidWriteData; then
        pass "RUNPATH leads to the USB library ${usbdir#"$root"}/librfidusb.so"
    else
        fail "${usbdir#"$root"}/librfidusb.so exports no hidWriteData"
    fi
fi
if [ -n "$simlib" ] && have readelf; then
    for sym in hidWriteData hidReadData; do
        exports "$simlib" | grep -qx "$sym" || fail "the simulated reader exports no $sym"
    done
fi

# --- The command-line program against the installed simulated reader ---------
# No display: rfidctl must run without one. --sim finds the simulated reader
# relative to the installed program.
if [ -x "$root/usr/bin/rfidctl" ]; then
    if out=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= "$root/usr/bin/rfidctl" --sim version 2>&1) &&
        [ "$out" = V1.0 ]; then
        pass "rfidctl --sim version: $out"
    else
        fail "rfidctl --sim version printed '$out'"
    fi
fi

# --- No path of the build tree ------------------------------------------------
# Nothing installed may name the build tree: the programs would look there for
# files that are not there on other machines, or that whoever can write there
# could plant.
# Text in programs may be 8-bit or UTF-16 (QStringLiteral).
if have strings; then
    leaked=0
    while IFS= read -r -d '' f; do
        if { strings -a "$f"; strings -a -e l "$f"; } | grep -qF -- "$build"; then
            fail "${f#"$root"} holds the build tree's path $build"
            leaked=1
        fi
    done < <(find "$root" -type f -print0)
    [ "$leaked" = 1 ] || pass "no installed file holds the build tree's path"
else
    skip_part "strings is not installed: installed files not checked for the build tree's path"
fi

# --- The desktop entry -------------------------------------------------------
wmclass=rfid-demo
if [ -f "$desktop" ]; then
    if have desktop-file-validate; then
        if out=$(desktop-file-validate "$desktop" 2>&1) && [ -z "$out" ]; then
            pass "desktop-file-validate"
        else
            fail "desktop-file-validate: $out"
        fi
    else
        skip_part "desktop-file-validate is not installed"
    fi
    entry() { sed -n "s/^$1=//p" "$desktop" | head -n 1; }
    [ "$(entry Name)" = RFID ] && pass "menu name RFID" || fail "Name is '$(entry Name)'"
    [ "$(entry Exec)" = rfid-demo ] && [ -x "$root/usr/bin/$(entry Exec)" ] && pass "Exec=rfid-demo" ||
        fail "Exec is '$(entry Exec)', not the installed program"
    [ "$(entry Icon)" = "$(basename "$icon" .svg)" ] && pass "Icon=$(entry Icon)" ||
        fail "Icon '$(entry Icon)' is not the installed icon's name"
    wmclass=$(entry StartupWMClass)
    [ -n "$wmclass" ] || fail "no StartupWMClass"
fi

# --- The udev rule -----------------------------------------------------------
# udevadm verify exists from systemd 254 on; before that, each rule line is
# checked here: comma-separated KEY[{attr}] OP "value" pairs, match operators on
# match keys and assignments on assignment keys, ids in lower-case hex (the
# kernel's sysfs spelling; upper case would never match), and the file numbered
# below 73 so that TAG+="uaccess" is seen in time.
match_keys='ACTION|DEVPATH|KERNEL|KERNELS|NAME|SYMLINK|SUBSYSTEM|SUBSYSTEMS|DRIVER|DRIVERS|ATTR|ATTRS|SYSCTL|ENV|CONST|TAG|TAGS|TEST|PROGRAM|RESULT'
assign_keys='NAME|SYMLINK|OWNER|GROUP|MODE|SECLABEL|ATTR|SYSCTL|ENV|TAG|RUN|LABEL|GOTO|IMPORT|OPTIONS'
token="(($match_keys)(\\{[^}\"]+\\})?(==|!=)|($assign_keys)(\\{[^}\"]+\\})?(=|\\+=|-=|:=))\"[^\"]*\""
check_rules() {
    local file=$1 n=0 bad=0 line
    case $(basename "$file") in
    [0-6][0-9]-* | 7[0-2]-*) ;;
    *) fail "$(basename "$file"): numbered 73 or above, too late for uaccess" ;;
    esac
    while IFS= read -r line || [ -n "$line" ]; do
        n=$((n + 1))
        case $line in '' | '#'*) continue ;; esac
        if ! echo "$line" | grep -Eq "^$token( *, *$token)* *\$"; then
            fail "$(basename "$file") line $n is not a valid udev rule: $line"
            bad=1
            continue
        fi
        for id in $(echo "$line" | grep -Eo 'ATTRS?\{id(Vendor|Product)\}=="[^"]*"' | sed 's/.*=="\(.*\)"/\1/'); do
            echo "$id" | grep -Eq '^[0-9a-f]{4}$' || {
                fail "$(basename "$file") line $n: id '$id' is not four lower-case hex digits"
                bad=1
            }
        done
    done <"$file"
    [ "$bad" = 0 ] && pass "udev rule syntax ($(basename "$file"))"
}
for r in $rules; do
    if have udevadm && udevadm verify --help >/dev/null 2>&1; then
        udevadm verify "$r" && pass "udevadm verify $(basename "$r")" || fail "udevadm verify $(basename "$r")"
    else
        check_rules "$r"
    fi
done

# What the rule grants, asked of udev itself: udevadm test against a made-up sysfs
# holding a reader with two interfaces, a keyboard (which has an input device) and
# the command interface. Only the command interface's hidraw node may be tagged for
# the logged-in user. Runs in a private mount namespace (unshare, as root), with the
# made-up tree over /sys, an empty /run and only this rule in the rules folders, so
# that the system's own rules do not count and nothing of the system is changed.
fake_sysfs() { # root of the tree; the reader's ids
    local S=$1 vid=$2 pid=$3 VID PID i I H R
    VID=$(echo "$vid" | tr a-f A-F) PID=$(echo "$pid" | tr a-f A-F)
    mkdir -p "$S/bus/usb" "$S/bus/hid" "$S/class/hidraw"
    sub() { ln -s "$(realpath -m --relative-to="$2" "$S/$1")" "$2/subsystem"; }
    local U=$S/devices/pci0000:00/usb1/1-2
    mkdir -p "$U"
    echo "$vid" >"$U/idVendor"
    echo "$pid" >"$U/idProduct"
    echo DEVTYPE=usb_device >"$U/uevent"
    sub bus/usb "$U"
    for i in 0 1; do
        I=$U/1-2:1.$i H=$U/1-2:1.$i/0003:$VID:$PID.000$i
        R=$H/hidraw/hidraw$i
        mkdir -p "$R"
        echo "0$i" >"$I/bInterfaceNumber"
        echo DEVTYPE=usb_interface >"$I/uevent"
        sub bus/usb "$I"
        echo "HID_ID=0003:0000$VID:0000$PID" >"$H/uevent"
        sub bus/hid "$H"
        printf 'MAJOR=243\nMINOR=%s\nDEVNAME=hidraw%s\n' "$i" "$i" >"$R/uevent"
        echo "243:$i" >"$R/dev"
        sub class/hidraw "$R"
    done
    mkdir -p "$U/1-2:1.0/0003:$VID:$PID.0000/input/input7"
}
if [ -z "$rules" ]; then
    :
elif ! have udevadm || ! have unshare || [ "$(id -u)" != 0 ]; then
    skip_part "what the udev rule grants was not asked of udevadm (needs udevadm, unshare and root)"
else
    for r in $rules; do
        ids=$(grep -Eo 'ATTRS\{idVendor\}=="[0-9a-f]{4}", ATTRS\{idProduct\}=="[0-9a-f]{4}"' "$r" |
            sed 's/.*idVendor}=="\(....\)".*idProduct}=="\(....\)"/\1:\2/')
        [ -n "$ids" ] || fail "$(basename "$r") names no reader ids"
        for id in $ids; do
            sys=$work/sys-$(basename "$r" .rules)-${id%:*}-${id#*:}
            fake_sysfs "$sys" "${id%:*}" "${id#*:}"
            dev=/sys/devices/pci0000:00/usb1/1-2
            out=$(unshare -m sh -c '
                for d in /etc/udev/rules.d /usr/local/lib/udev/rules.d /usr/lib/udev/rules.d \
                    /lib/udev/rules.d /run; do
                    [ ! -d "$d" ] || mount -t tmpfs tmpfs "$d" || exit 3
                done
                cp "$1" /etc/udev/rules.d/ && mount --bind "$2" /sys || exit 3
                for n in 0 1; do
                    echo "node hidraw$n"
                    SYSTEMD_DEVICE_VERIFY_SYSFS=0 udevadm test "$3"/1-2:1.$n/*/hidraw/hidraw$n 2>&1 |
                        grep -E "^(TAGS=|.*rfid)"
                done' sh "$r" "$sys" "$dev" 2>&1)
            if [ $? = 3 ] || ! echo "$out" | grep -q '^node hidraw1'; then
                skip_part "no private mount namespace here: what the udev rule grants was not asked of udevadm"
                break 2
            fi
            keyboard=$(echo "$out" | sed -n '/^node hidraw0/,/^node hidraw1/p')
            command=$(echo "$out" | sed -n '/^node hidraw1/,$p')
            # The access rule tags the node for the logged-in user; the plug-in rule
            # starts the service for it. Either only for the command interface.
            mark=':uaccess:' what="tags the command interface for the logged-in user"
            case $r in *apply*) mark='rfid-reader-apply@' what="starts the plug-in service for the command interface" ;; esac
            if echo "$command" | grep -q -- "$mark" && ! echo "$keyboard" | grep -q -- "$mark"; then
                pass "udevadm test: $id $what, not the keyboard"
            else
                fail "udevadm test of $(basename "$r") for $id: $(echo "$out" | tr '\n' ' ')"
            fi
        done
    done
fi

# --- The installed program against the installed simulated reader ------------
missing=""
for tool in xvfb-run Xvfb xdotool; do
    have "$tool" || missing="$missing $tool"
done
if [ -n "$missing" ]; then
    skip_part "not installed:$missing; the program was not run"
elif [ "$usb_built" = 1 ] && [ -z "$usbdir" ]; then
    fail "the program was not run: no USB library found to check the launcher's library order against"
else
    [ -n "$usbdir" ] || usbdir=$(dirname "$(dirname "$simlib")")
    timeout 90 xvfb-run -a -s "-screen 0 1280x1024x24" \
        bash "$0" --under-xvfb "$root" "$work" "$usbdir" "$wmclass" || {
        fail "the installed program against the simulated reader"
        if [ -f "$work/screen.png" ]; then
            mkdir -p "$build/Testing"
            cp "$work/screen.png" "$build/Testing/package_test_screen.png"
            echo "screen at the failure: $build/Testing/package_test_screen.png"
        fi
    }
fi

if [ "$failures" -gt 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
if [ -n "$skipped" ]; then
    echo "SKIP: parts not checked${skipped}"
    exit 77
fi
echo "all package checks passed"
exit 0
