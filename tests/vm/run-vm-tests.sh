#!/bin/bash
# Boots a throw-away virtual machine with Debian's own kernel and runs the USB
# library against a real kernel HID device inside it.
#
# The machines we build on have no /dev/uhid and no reader, so this script:
#   1. takes the kernel that Debian's linux-image-amd64 package depends on
#      (apt-get download, unpacked with dpkg-deb -x into the build directory,
#      never installed): vmlinuz plus the hid, hid-generic and uhid modules and
#      whatever they depend on (read from each module's own "depends=" field,
#      since the unpacked package has no modules.dep);
#   2. packs a small initramfs: busybox-static, the case runner, the USB library,
#      rfidctl when it is built, and every shared library they need (ldd);
#   3. boots it with qemu-system-x86_64 (software emulation, no KVM needed),
#      where /init loads the modules, runs the cases and powers off;
#   4. reads the console log: one "rfid-vm: CASE <name>: <verdict>" line per
#      case, then "rfid-vm: done ...".
#
# Exit status: 0 all cases passed (cases waiting for a feature that is not built
# yet count as passed), 1 a case failed or the VM did not finish, 77 skipped
# (no QEMU, busybox or cpio, or the kernel package cannot be had, e.g. offline).
#
# By hand, from a configured build directory (the CTest test "vm_hid" does this):
#   cmake --build build/dev --target rfid_vm_cases rfidusb
#   tests/vm/run-vm-tests.sh --build-dir build/dev --runner build/dev/tests/vm/rfid_vm_cases \
#       --lib build/dev/usb/librfidusb.so [--cli build/dev/cli/rfidctl] [--shell]
# The kernel is kept in <build-dir>/vm/kernel; delete that folder to fetch a newer one.
# RFID_VM_KERNEL_DEB=/path/to/linux-image-*.deb uses a package already at hand.
# --shell starts a busybox shell on the console after the cases (leave with "poweroff -f").
# --cases "a b" runs only the named cases.
set -u

build_dir=""
runner=""
lib=""
cli=""
shell_after=0
cases=""
while [ $# -gt 0 ]; do
    case "$1" in
    --build-dir) build_dir=$2; shift 2 ;;
    --runner) runner=$2; shift 2 ;;
    --lib) lib=$2; shift 2 ;;
    --cli) cli=$2; shift 2 ;;
    --cases) cases=$2; shift 2 ;;
    --shell) shell_after=1; shift ;;
    "") shift ;; # an option CMake left out (rfidctl not built)
    *) echo "run-vm-tests: unknown argument $1" >&2; exit 2 ;;
    esac
done
[ -n "$build_dir" ] || { echo "run-vm-tests: --build-dir is required" >&2; exit 2; }

skip() {
    echo "SKIPPED: $*"
    exit 77
}

for tool in qemu-system-x86_64 cpio dpkg-deb gzip; do
    command -v "$tool" >/dev/null 2>&1 || skip "$tool not found (scripts/install-deps.sh installs it)"
done
busybox=""
for b in /bin/busybox /usr/bin/busybox; do
    if [ -x "$b" ] && ! ldd "$b" >/dev/null 2>&1; then busybox=$b; break; fi
done
[ -n "$busybox" ] || skip "no statically linked busybox (package busybox-static)"

work=$(cd "$build_dir" && pwd)/vm
kdir=$work/kernel
mkdir -p "$work"

# --- 1. the kernel -----------------------------------------------------------
fetch_kernel() {
    local tmp deb pkg
    tmp=$(mktemp -d "$work/kernel-unpack.XXXXXX")
    if [ -n "${RFID_VM_KERNEL_DEB:-}" ]; then
        deb=$RFID_VM_KERNEL_DEB
    else
        # linux-image-amd64 is a metapackage; the kernel is in the package it depends on.
        pkg=$(apt-cache depends linux-image-amd64 2>/dev/null |
            sed -n 's/^ *Depends: \(linux-image-[0-9][^ ]*-amd64\)$/\1/p' | head -n1)
        if [ -z "$pkg" ]; then
            rm -rf "$tmp"
            skip "apt does not know linux-image-amd64 (run apt-get update, or set RFID_VM_KERNEL_DEB)"
        fi
        echo "run-vm-tests: downloading $pkg"
        # Package lists that went stale name a version the mirror no longer has:
        # refresh them once (as root) and try again.
        if ! (cd "$tmp" && timeout 600 apt-get download -q "$pkg") >"$work/kernel-download.log" 2>&1 &&
            ! { [ "$(id -u)" = 0 ] && timeout 600 apt-get update -q >>"$work/kernel-download.log" 2>&1 &&
                (cd "$tmp" && timeout 600 apt-get download -q "$pkg") >>"$work/kernel-download.log" 2>&1; }; then
            rm -rf "$tmp"
            skip "cannot download $pkg (offline?); see $work/kernel-download.log"
        fi
        deb=$(ls "$tmp"/*.deb)
    fi
    dpkg-deb -x "$deb" "$tmp/root" || { rm -rf "$tmp"; skip "cannot unpack $deb"; }
    local vmlinuz moddir
    vmlinuz=$(ls "$tmp"/root/boot/vmlinuz-* 2>/dev/null | head -n1)
    moddir=$(ls -d "$tmp"/root/lib/modules/* "$tmp"/root/usr/lib/modules/* 2>/dev/null | head -n1)
    [ -n "$vmlinuz" ] && [ -n "$moddir" ] || { rm -rf "$tmp"; skip "$deb holds no kernel"; }

    rm -rf "$kdir.new"
    mkdir -p "$kdir.new/modules"
    cp "$vmlinuz" "$kdir.new/vmlinuz"
    # Modules in load order, dependencies first. Built-in ones are skipped.
    local order="" m
    add_module() {
        local name=$1 file dep
        case " $order " in *" $name "*) return 0 ;; esac
        if grep -q "/$name\.ko" "$moddir/modules.builtin" 2>/dev/null; then return 0; fi
        file=$(find "$moddir/kernel" -name "$name.ko" -o -name "$name.ko.xz" | head -n1)
        [ -n "$file" ] || { echo "run-vm-tests: module $name not in the package" >&2; return 1; }
        case "$file" in
        *.xz) xz -dc "$file" >"$kdir.new/modules/$name.ko" || return 1 ;;
        *) cp "$file" "$kdir.new/modules/$name.ko" ;;
        esac
        for dep in $(strings -a "$kdir.new/modules/$name.ko" | sed -n 's/^depends=//p' | tr ',' ' '); do
            add_module "$dep" || return 1
        done
        order="$order $name"
    }
    for m in hid hid-generic uhid; do
        add_module "$m" || { rm -rf "$tmp" "$kdir.new"; skip "kernel modules missing"; }
    done
    echo "$order" >"$kdir.new/load-order"
    basename "$deb" >"$kdir.new/package"
    rm -rf "$tmp" "$kdir"
    mv "$kdir.new" "$kdir"
}
if [ ! -f "$kdir/load-order" ]; then
    fetch_kernel
fi
echo "run-vm-tests: kernel from $(cat "$kdir/package"), modules:$(cat "$kdir/load-order")"

# --- 2. the initramfs --------------------------------------------------------
root=$work/initramfs
rm -rf "$root"
mkdir -p "$root"/{bin,sbin,etc,proc,sys,dev,tmp,lib/modules,opt/rfid}
cp "$busybox" "$root/bin/busybox"
cp "$kdir"/modules/*.ko "$root/lib/modules/"

copy_with_libs() { # file destination-in-root
    local src=$1 dst=$2 l
    mkdir -p "$root$(dirname "$dst")"
    cp -L "$src" "$root$dst"
    for l in $(ldd "$src" 2>/dev/null | sed -n 's/.*=> \(\/[^ ]*\) (.*/\1/p; s/^[[:space:]]*\(\/[^ ]*\) (.*/\1/p'); do
        [ -e "$root$l" ] && continue
        mkdir -p "$root$(dirname "$l")"
        cp -L "$l" "$root$l"
    done
}
if [ -n "$runner" ]; then
    copy_with_libs "$runner" /opt/rfid/rfid_vm_cases
fi
if [ -n "$lib" ]; then
    copy_with_libs "$lib" /opt/rfid/usb/librfidusb.so
fi
if [ -n "$cli" ] && [ -x "$cli" ]; then
    copy_with_libs "$cli" /opt/rfid/rfidctl
fi
echo "root:x:0:0:root:/:/bin/sh" >"$root/etc/passwd"
echo "nobody:x:65534:65534:nobody:/:/bin/sh" >>"$root/etc/passwd"
echo "root:x:0:" >"$root/etc/group"
echo "nogroup:x:65534:" >>"$root/etc/group"

cat >"$root/init" <<EOF
#!/bin/busybox sh
/bin/busybox --install -s /bin
export PATH=/bin:/sbin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mount -t tmpfs tmpfs /tmp
echo
echo "rfid-vm: hello from \$(uname -r)"
for m in $(cat "$kdir/load-order"); do
    insmod /lib/modules/\$m.ko || echo "rfid-vm: insmod \$m failed"
done
status=0
if [ -x /opt/rfid/rfid_vm_cases ]; then
    /opt/rfid/rfid_vm_cases run --lib /opt/rfid/usb/librfidusb.so --cli /opt/rfid/rfidctl $cases
    status=\$?
else
    [ -e /dev/uhid ] && echo "rfid-vm: CASE boot: PASS /dev/uhid present" || { echo "rfid-vm: CASE boot: FAIL no /dev/uhid"; status=1; }
fi
[ \$status = 0 ] || dmesg | tail -n 40 | sed 's/^/rfid-vm: dmesg: /'
echo "rfid-vm: done status=\$status"
[ $shell_after = 1 ] && setsid cttyhack sh
poweroff -f
EOF
chmod +x "$root/init"
(cd "$root" && find . | cpio -o -H newc --quiet | gzip -1) >"$work/initramfs.gz" || { echo "run-vm-tests: cpio failed" >&2; exit 1; }

# --- 3. boot -------------------------------------------------------------------
# The kernel hands KEY=VALUE words it does not know to /init as its environment:
# sanitizer settings reach the cases that way (a sanitizer build needs them).
append="console=ttyS0 panic=-1 quiet"
for v in ASAN_OPTIONS UBSAN_OPTIONS; do
    eval "val=\${$v:-}"
    [ -n "$val" ] && append="$append $v=$val"
done
log=$work/console.log
echo "run-vm-tests: booting (software emulation; console log in $log)"
start=$(date +%s)
if [ $shell_after = 1 ]; then
    qemu-system-x86_64 -m 768 -smp 1 -nographic -no-reboot -nic none \
        -kernel "$kdir/vmlinuz" -initrd "$work/initramfs.gz" \
        -append "$append"
    exit 0
fi
timeout 900 qemu-system-x86_64 -m 768 -smp 1 -nographic -no-reboot -nic none \
    -kernel "$kdir/vmlinuz" -initrd "$work/initramfs.gz" \
    -append "$append" </dev/null >"$log" 2>&1
qemu_status=$?
end=$(date +%s)

# --- 4. the verdict ----------------------------------------------------------
# The console's terminal escapes (from the firmware) and carriage returns removed.
clean=$work/console.txt
sed 's/\x1b\[[0-9;?]*[a-zA-Z]//g; s/\x1bc//g; s/\r$//' "$log" >"$clean"
grep -a -E '^rfid-vm: ' "$clean"
echo "run-vm-tests: VM ran $((end - start)) s (qemu exit $qemu_status)"
if ! grep -a -q '^rfid-vm: done status=0$' "$clean"; then
    if ! grep -a -q '^rfid-vm: done' "$clean"; then
        echo "run-vm-tests: the VM did not finish; last lines of the console:"
        tail -n 30 "$log"
    fi
    exit 1
fi
if grep -a -q '^rfid-vm: CASE .*: FAIL' "$clean"; then
    exit 1
fi
exit 0
