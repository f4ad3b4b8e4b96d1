#!/bin/bash
# Installs the package on a real Debian 12 system (systemd, udev, an SSH server)
# in a virtual machine and shows there what an administrator installs it for:
# a reader plugged in is set up from /etc/rfid-demo/reader.json by the udev rule
# and rfid-reader-apply@.service, and Ansible sets a reader up over SSH with the
# module from this tree.
#
#   1. The root file system: mmdebstrap builds Debian 12 from Debian's packages
#      (BASE_PACKAGES below, Debian's kernel among them, which gives an initrd made
#      for it) into a tar, kept in the cache folder under a key made from the
#      package list. The package is then installed into a copy of it with
#      `apt-get install ./rfid-demo_*.deb` (dependencies and maintainer scripts
#      run), and the tree becomes an ext4 image with mke2fs -d, kept under the
#      key and a hash of the .deb's contents: a second run with the same package
#      boots at once.
#   2. Boots it with QEMU (KVM when /dev/kvm opens, software emulation otherwise),
#      the disk read-only underneath (-snapshot), SSH forwarded from 127.0.0.1 only,
#      root's key made for this run and handed over on the kernel command line.
#   3. Copies in the uhid reader (rfid_plug_reader) and vm-cases.sh and runs the
#      plug-in cases inside; then runs site.yml with ansible-playbook from here.
#
#   run-system-test.sh --build-dir <build> --source <tree> --plug <rfid_plug_reader> [--shell]
#
# Prints one "rfid-system: CASE <name>: PASS|FAIL <details>" line per case.
# Exit status: 0 passed, 1 failed, 77 skipped (no QEMU, mmdebstrap, root, or
# Debian's packages cannot be had).
# The cache: $RFID_SYSTEM_CACHE, default ~/.cache/rfid-demo/system-test; delete it
# to build afresh. --shell leaves the VM running after the cases and prints the
# ssh command line to reach it.
set -u

build_dir="" src="" plug="" shell_after=0
while [ $# -gt 0 ]; do
    case "$1" in
    --build-dir) build_dir=$2; shift 2 ;;
    --source) src=$2; shift 2 ;;
    --plug) plug=$2; shift 2 ;;
    --shell) shell_after=1; shift ;;
    *) echo "run-system-test: unknown argument $1" >&2; exit 2 ;;
    esac
done
[ -n "$build_dir" ] && [ -n "$src" ] && [ -x "$plug" ] ||
    { echo "usage: run-system-test.sh --build-dir <build> --source <tree> --plug <rfid_plug_reader>" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)

skip() {
    echo "SKIPPED: $*"
    exit 77
}
say() { echo "run-system-test: $*"; }
t_start=$(date +%s)
elapsed() { echo $(($(date +%s) - t_start)); }

for tool in qemu-system-x86_64 mmdebstrap mke2fs ssh ssh-keygen cpack dpkg-deb ansible-playbook; do
    command -v "$tool" >/dev/null 2>&1 || skip "$tool not found (scripts/install-deps.sh --tests installs it)"
done
# mmdebstrap's root mode and mke2fs -d keep the files' owners only when run as root.
[ "$(id -u)" = 0 ] || skip "building the system's image needs root (file owners in the image)"

work=$(cd "$build_dir" && pwd)/system-test
cache=${RFID_SYSTEM_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/rfid-demo/system-test}
mkdir -p "$work" "$cache"
rm -rf "${work:?}"/*

# --- 1. the package and the image -------------------------------------------------
# What the system holds besides the package: systemd and udev, an SSH server and
# Python for Ansible, Debian's kernel (its initrd is made for it on install), and
# the libraries the package depends on, so that installing it fetches nothing.
BASE_PACKAGES="systemd systemd-sysv udev dbus openssh-server python3 linux-image-amd64 initramfs-tools \
libqt6widgets6 libhidapi-hidraw0 libudev1 libxkbcommon0 fonts-wqy-zenhei fonts-dejavu-core xkb-data"
MIRRORS=("deb http://deb.debian.org/debian bookworm main"
    "deb http://deb.debian.org/debian bookworm-updates main"
    "deb http://deb.debian.org/debian-security bookworm-security main")
base_key=$(printf '%s\n' "$BASE_PACKAGES" "${MIRRORS[@]}" "$(mmdebstrap --version)" |
    sha256sum | cut -c1-16)
base=$cache/base-$base_key.tar

build_base() {
    say "building Debian 12 with mmdebstrap (key $base_key; log $work/mmdebstrap.log)"
    rm -f "$cache"/base-*.tar "$cache"/base-*.tar.new
    # The package lists stay in the image: apt can then fetch whatever the package
    # needs that the list above misses.
    if ! timeout 3600 mmdebstrap --mode=root --variant=apt --format=tar --skip=cleanup/apt/lists \
        --include="${BASE_PACKAGES// /,}" bookworm "$base.new" "${MIRRORS[@]}" \
        >"$work/mmdebstrap.log" 2>&1; then
        rm -f "$base.new"
        tail -n 20 "$work/mmdebstrap.log"
        skip "cannot build Debian 12 from deb.debian.org (offline?); see $work/mmdebstrap.log"
    fi
    mv "$base.new" "$base"
}

build_image() {
    local tree=$work/tree
    say "installing $(basename "$deb") into a copy of the base system"
    rm -rf "$tree" "$image.new"
    mkdir -p "$tree" "$image.new"
    tar -C "$tree" --numeric-owner -xf "$base" || { echo "run-system-test: cannot unpack $base"; exit 1; }
    cp "$deb" "$tree/tmp/"
    cp /etc/resolv.conf "$tree/etc/resolv.conf" 2>/dev/null
    if ! chroot "$tree" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
        "/tmp/$(basename "$deb")" >"$work/apt-install.log" 2>&1; then
        cat "$work/apt-install.log"
        echo "run-system-test: apt-get install of the package failed"
        exit 1
    fi
    sed 's/^/  apt: /' "$work/apt-install.log" | grep -E 'Setting up|Unpacking|NEW' | head -n 5
    rm -f "$tree/tmp/"*.deb "$tree/etc/resolv.conf"

    # What makes the tree a machine for this test: a name, DHCP on the one network
    # card, root's key from the kernel command line, no timers that would start apt
    # or man-db in the middle of the cases.
    echo rfid-system-test >"$tree/etc/hostname"
    mkdir -p "$tree/etc/systemd/network"
    printf '[Match]\nName=eth0\n\n[Network]\nDHCP=yes\n' >"$tree/etc/systemd/network/10-eth0.network"
    cat >"$tree/usr/local/sbin/rfid-test-key" <<'EOF'
#!/bin/sh
# Authorises the key named by rfid_test_key= on the kernel command line for root.
key=$(sed -n 's/.*rfid_test_key=\([^ ]*\).*/\1/p' /proc/cmdline)
[ -n "$key" ] || exit 0
mkdir -p -m 700 /root/.ssh
echo "ssh-ed25519 $key rfid-system-test" >/root/.ssh/authorized_keys
EOF
    chmod 755 "$tree/usr/local/sbin/rfid-test-key"
    printf '[Unit]\nDescription=Authorise the test run'"'"'s SSH key\nBefore=ssh.service\n\n[Service]\nType=oneshot\nExecStart=/usr/local/sbin/rfid-test-key\n\n[Install]\nWantedBy=multi-user.target\n' \
        >"$tree/etc/systemd/system/rfid-test-key.service"
    systemctl --root="$tree" enable systemd-networkd.service rfid-test-key.service >/dev/null 2>&1
    systemctl --root="$tree" mask apt-daily.timer apt-daily-upgrade.timer man-db.timer e2scrub_all.timer \
        fstrim.timer systemd-networkd-wait-online.service >/dev/null 2>&1

    cp "$(ls "$tree"/boot/vmlinuz-* | head -n1)" "$image.new/vmlinuz"
    cp "$(ls "$tree"/boot/initrd.img-* | head -n1)" "$image.new/initrd.img" ||
        { echo "run-system-test: the kernel package made no initrd"; exit 1; }
    local mb
    mb=$(($(du -sm "$tree" | cut -f1) * 5 / 4 + 256))
    if ! mke2fs -q -F -t ext4 -L rfid-root -d "$tree" "$image.new/root.img" "${mb}M" >"$work/mke2fs.log" 2>&1; then
        cat "$work/mke2fs.log"
        echo "run-system-test: mke2fs could not make the image"
        exit 1
    fi
    rm -rf "$tree"
    local old
    for old in "$cache"/image-*; do
        [ "$old" = "$image.new" ] || rm -rf "$old"
    done
    mv "$image.new" "$image"
}

if [ -f "$base" ]; then
    say "base system cached ($base)"
else
    build_base
fi
say "building the package"
if ! cpack --config "$build_dir/CPackConfig.cmake" -G DEB -B "$work/deb" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
    echo "run-system-test: cpack could not build the package"
    exit 1
fi
deb=$(ls "$work"/deb/*.deb | head -n1)

# The package's contents (control fields, maintainer scripts, file names and bytes)
# name the image, not the archive's own bytes, which change with every build's dates.
deb_key=$({
    dpkg-deb -f "$deb"
    dpkg-deb --ctrl-tarfile "$deb" | tar -xO
    dpkg-deb --fsys-tarfile "$deb" | tar -t
    dpkg-deb --fsys-tarfile "$deb" | tar -xO
} | sha256sum | cut -c1-16)
image=$cache/image-$base_key-$deb_key
if [ -d "$image" ]; then
    say "image cached ($image)"
else
    build_image
fi
say "image ready after $(elapsed) s"

# --- 2. boot ------------------------------------------------------------------------
ssh-keygen -q -t ed25519 -N "" -C rfid-system-test -f "$work/key"
pubkey=$(cut -d' ' -f2 "$work/key.pub")
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
# KVM when /dev/kvm opens and QEMU can set up a virtual CPU on it: under some
# nested hypervisors QEMU aborts at once ("failed to set MSR 0x10a"). QEMU is
# tried for three seconds with the machine stopped (-S); one still running then
# has its CPU. Otherwise software emulation.
accel=(-accel tcg)
how="software emulation"
if [ -r /dev/kvm ] && [ -w /dev/kvm ] && (exec 3<>/dev/kvm) 2>/dev/null; then
    (timeout 3 qemu-system-x86_64 -accel kvm -cpu host -m 64 -display none -nodefaults \
        -monitor none -serial none -S; exit $?) >/dev/null 2>&1 && true
    if [ $? = 124 ]; then
        accel=(-accel kvm -cpu host)
        how=KVM
    fi
fi
boot() {
    say "booting ($how; console log $work/console.log)"
    qemu-system-x86_64 "${accel[@]}" -m 1024 -smp 1 -display none -no-reboot \
        -serial "file:$work/console.log" -monitor none \
        -kernel "$image/vmlinuz" -initrd "$image/initrd.img" \
        -append "root=/dev/vda rw console=ttyS0 net.ifnames=0 quiet rfid_test_key=$pubkey" \
        -drive "file=$image/root.img,format=raw,if=virtio,snapshot=on" \
        -device virtio-rng-pci \
        -nic "user,model=virtio-net-pci,hostfwd=tcp:127.0.0.1:$port-:22" &
    qemu=$!
}
boot
trap 'kill $qemu 2>/dev/null' EXIT

SSH_OPTS=(-i "$work/key" -p "$port" -o StrictHostKeyChecking=no -o UserKnownHostsFile=/dev/null
    -o LogLevel=ERROR -o BatchMode=yes -o ConnectTimeout=10)
vm() { ssh "${SSH_OPTS[@]}" root@127.0.0.1 "$@"; }
boot_start=$(date +%s)
until vm true 2>/dev/null; do
    # A KVM guest that stops, or has not answered in two minutes (it boots in
    # seconds when KVM works), is booted once more in software.
    if [ "${accel[1]}" = kvm ] &&
        { ! kill -0 "$qemu" 2>/dev/null || [ $(($(date +%s) - boot_start)) -gt 120 ]; }; then
        kill "$qemu" 2>/dev/null || true
        wait "$qemu" 2>/dev/null || true
        tail -n 5 "$work/console.log"
        accel=(-accel tcg)
        how="software emulation, KVM did not boot"
        boot
        boot_start=$(date +%s)
    fi
    if ! kill -0 "$qemu" 2>/dev/null || [ $(($(date +%s) - boot_start)) -gt 1200 ]; then
        tail -n 30 "$work/console.log"
        echo "run-system-test: the VM did not answer on SSH"
        exit 1
    fi
    sleep 3
done
say "SSH answered $(($(date +%s) - boot_start)) s after boot"

# --- 3. the cases -------------------------------------------------------------------
mkdir -p "$work/payload/lib"
cp "$plug" "$work/payload/rfid_plug_reader"
cp "$here/vm-cases.sh" "$here/reader.json" "$work/payload/"
# Libraries of the build tree (none today: the model is linked in), not the system's.
for l in $(ldd "$plug" | sed -n 's/.*=> \(\/[^ ]*\) (.*/\1/p'); do
    case $l in /lib/* | /usr/lib/*) ;; *) cp -L "$l" "$work/payload/lib/" ;; esac
done
tar -C "$work/payload" -cf - . | vm 'mkdir -p /opt/rfid && tar -C /opt/rfid -xf -' ||
    { echo "run-system-test: cannot copy the cases into the VM"; exit 1; }

vm /opt/rfid/vm-cases.sh plug-in 2>&1 | tee "$work/cases.log"

# Ansible from here, over SSH, with the module from the tree and the VM's own
# Python and rfidctl.
export ANSIBLE_LIBRARY=$src/packaging/ansible ANSIBLE_HOST_KEY_CHECKING=False ANSIBLE_NOCOLOR=1
export ANSIBLE_RETRY_FILES_ENABLED=0 ANSIBLE_STDOUT_CALLBACK=default ANSIBLE_HOME=$work/ansible
export ANSIBLE_LOCAL_TEMP=$work/ansible/tmp
node=$(vm /opt/rfid/vm-cases.sh plug ansible-test | sed -n 's/^plugged \([^ ]*\) .*/\1/p')
cat >"$work/inventory" <<EOF
vm ansible_host=127.0.0.1 ansible_port=$port ansible_user=root ansible_python_interpreter=/usr/bin/python3 ansible_ssh_private_key_file=$work/key reader_device=$node settings_source=$here/reader.json
EOF
playbook() { # <log name> <ansible-playbook arguments...>
    local name=$1 start
    shift
    vm /opt/rfid/vm-cases.sh clear-frames
    start=$(date +%s)
    ansible-playbook -i "$work/inventory" "$here/site.yml" "$@" >"$work/$name.log" 2>&1
    echo $? >"$work/$name.rc"
    say "ansible-playbook $name: exit $(cat "$work/$name.rc"), $(($(date +%s) - start)) s"
    sed -n '/^PLAY RECAP/,$p' "$work/$name.log" | sed -n 2p | sed 's/^/  /'
}
case_line() { echo "rfid-system: CASE $1: $2 $3" | tee -a "$work/cases.log"; }
recap_field() { sed -n '/^PLAY RECAP/,$p' "$work/$1.log" | grep -o "$2=[0-9]*" | cut -d= -f2; }
writes() { vm /opt/rfid/vm-cases.sh frames | grep '^>' | grep -vc '^> AA 00 01 83 '; }

if [ -z "$node" ]; then
    case_line ansible FAIL "no reader plugged in for the Ansible runs"
else
    playbook first
    if [ "$(cat "$work/first.rc")" = 0 ] && [ "$(recap_field first changed)" = 2 ] &&
        vm /opt/rfid/vm-cases.sh holds "$node"; then
        case_line ansible-first PASS "changed=2 (settings file copied, reader set up); the reader holds the settings"
    else
        case_line ansible-first FAIL "see $work/first.log"
        cat "$work/first.log"
    fi
    playbook second
    w=$(writes)
    if [ "$(cat "$work/second.rc")" = 0 ] && [ "$(recap_field second changed)" = 0 ] && [ "$w" = 0 ]; then
        case_line ansible-second PASS "changed=0, no write in the reader's frame log"
    else
        case_line ansible-second FAIL "changed=$(recap_field second changed), $w writes; see $work/second.log"
    fi
    vm rfidctl --device "$node" set add_enter=false >/dev/null
    playbook check --check --diff
    diff_lines=$(grep -E '^[-+][a-z_]+: ' "$work/check.log" | tr '\n' ' ')
    w=$(writes)
    if [ "$(recap_field check changed)" = 1 ] && [ "$diff_lines" = "-add_enter: false +add_enter: true " ] &&
        [ "$w" = 0 ]; then
        case_line ansible-check-diff PASS "after a hand change the diff shows it alone: $diff_lines; nothing written"
    else
        case_line ansible-check-diff FAIL "diff: $diff_lines; $w writes; see $work/check.log"
        sed -n '/TASK \[Set up the reader\]/,/PLAY RECAP/p' "$work/check.log"
    fi
    vm /opt/rfid/vm-cases.sh unplug >/dev/null
fi

if [ $shell_after = 1 ]; then
    say "the VM keeps running: ssh ${SSH_OPTS[*]} root@127.0.0.1 (Ctrl+C here ends it)"
    wait "$qemu"
fi
vm systemctl poweroff >/dev/null 2>&1
wait "$qemu" 2>/dev/null
trap - EXIT
say "done in $(elapsed) s"
grep -q '^rfid-system: CASE' "$work/cases.log" || { echo "run-system-test: no case ran"; exit 1; }
! grep -q '^rfid-system: CASE .*: FAIL' "$work/cases.log"
