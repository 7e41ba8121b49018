#!/usr/bin/env bash
# Runs one command as root inside a small virtual machine whose kernel has a real ALSA sequencer,
# for the MIDI tests on machines without a sound subsystem (no /dev/snd, as on hosted CI runners).
#
#   scripts/midi-vm.sh [--timeout SECONDS] -- COMMAND [ARGS...]
#
# The machine boots Debian's own kernel under QEMU (emulated) with snd-seq, snd-seq-dummy ("Midi Through") and snd-virmidi: two raw MIDI ports,
# /dev/snd/midiC0D0 and midiC0D1, that the sequencer shows as clients "Virtual Raw MIDI 0-0" and
# "0-1" (bytes written to the raw device arrive as that client's events, as a USB pad's do). Its
# root file system is this machine's own / (9p, read-write): the command sees the same files,
# working directory and environment. Sockets cannot be made on the shared root: XDG_RUNTIME_DIR
# is set to a tmpfs of the machine's own under /run. Exit status: the command's; 124 when the
# timeout stops the machine; 3 when no machine can be had here (QEMU or the kernel cannot be
# installed), said in one line.
#
# First use installs qemu-system-x86 and fetches the kernel and busybox-static packages (apt-get
# download, nothing installed) into $KELVO_VM_CACHE (default /var/tmp/kelvo-midi-vm).
set -euo pipefail
timeout_s=600
while [ $# -gt 0 ]; do
    case "$1" in
        --timeout) timeout_s=$2; shift 2 ;;
        --) shift; break ;;
        *) break ;;
    esac
done
[ $# -gt 0 ] || { echo "usage: midi-vm.sh [--timeout S] -- COMMAND [ARGS...]" >&2; exit 2; }

cache=${KELVO_VM_CACHE:-/var/tmp/kelvo-midi-vm}
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
unavailable() { echo "midi-vm: no virtual machine here: $*" >&2; exit 3; }

if ! command -v qemu-system-x86_64 >/dev/null; then
    { $sudo apt-get install -y -qq --no-install-recommends qemu-system-x86 >&2 ||
        { $sudo apt-get update -qq >&2 &&
            DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends qemu-system-x86 >&2; }; } ||
        unavailable "qemu-system-x86 cannot be installed"
fi

modules=(virtio_ring virtio virtio_pci_modern_dev virtio_pci_legacy_dev virtio_pci 9pnet 9pnet_virtio netfs fscache 9p
    soundcore snd snd-timer snd-hrtimer snd-seq-device snd-seq snd-seq-dummy snd-rawmidi snd-seq-midi-event
    snd-seq-virmidi snd-virmidi)

build_image() {
    mkdir -p "$cache"
    cd "$cache"
    rm -rf deb k bb ir && mkdir -p deb k bb ir/bin ir/lib/modules ir/proc ir/sys ir/dev ir/mnt
    local kernel
    kernel=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/ {print $2; exit}')
    if [ -z "$kernel" ]; then
        $sudo apt-get update -qq >&2
        kernel=$(apt-cache depends linux-image-amd64 | awk '/Depends: linux-image-[0-9]/ {print $2; exit}')
    fi
    [ -n "$kernel" ] || return 1
    (cd deb && apt-get download "$kernel" busybox-static >&2 2>/dev/null) || return 1
    dpkg-deb -x deb/linux-image-*.deb k
    dpkg-deb -x deb/busybox-static*.deb bb
    cp k/boot/vmlinuz-* vmlinuz.new
    cp bb/bin/busybox ir/bin/busybox
    local m f
    for m in "${modules[@]}"; do
        f=$(find k/lib/modules -name "$m.ko*" | head -n 1)
        [ -n "$f" ] || { echo "midi-vm: the kernel package has no module $m" >&2; return 1; }
        case "$f" in
            *.xz) xz -dc "$f" >"ir/lib/modules/$m.ko" ;;
            *.zst) zstd -dc "$f" >"ir/lib/modules/$m.ko" ;;
            *) cp "$f" "ir/lib/modules/$m.ko" ;;
        esac
    done
    # The machine's first process: the modules, the host's root, then the job's script in it.
    cat >ir/init <<EOF
#!/bin/busybox sh
/bin/busybox --install -s /bin
mount -t proc proc /proc; mount -t sysfs sys /sys; mount -t devtmpfs dev /dev
for m in ${modules[*]}; do
  case \$m in snd-virmidi) insmod /lib/modules/\$m.ko midi_devs=2 ;; *) insmod /lib/modules/\$m.ko ;; esac ||
    echo "midi-vm: insmod \$m failed"
done
mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 hostroot /mnt || { echo "midi-vm: no root"; poweroff -f; }
mount --bind /dev /mnt/dev; mount -t proc proc /mnt/proc; mount -t sysfs sys /mnt/sys
mount -t devpts devpts /mnt/dev/pts 2>/dev/null
mount -t tmpfs run /mnt/run
mount -t tmpfs shm /mnt/dev/shm 2>/dev/null
mkdir -p /mnt/tmp/.X11-unix 2>/dev/null; mount -t tmpfs -o mode=1777 x11 /mnt/tmp/.X11-unix
JOB=\$(sed -n 's/.*kelvovm.job=\([^ ]*\).*/\1/p' /proc/cmdline)
chroot /mnt /bin/bash "\$JOB/boot"
sync
poweroff -f
EOF
    chmod +x ir/init
    (cd ir && find . | ../bb/bin/busybox cpio -o -H newc 2>/dev/null | gzip -1 >../initrd.gz.new)
    mv vmlinuz.new vmlinuz
    mv initrd.gz.new initrd.gz
    rm -rf deb k bb ir
}

if [ ! -f "$cache/initrd.gz" ] || [ ! -f "$cache/vmlinuz" ]; then
    (build_image) || unavailable "Debian's kernel package cannot be fetched"
fi

job=$(mktemp -d /tmp/kelvo-midi-vm.XXXXXX)
trap 'rm -rf "$job"' EXIT
export -p | grep -vE '^declare -x (SHLVL|_|OLDPWD|PWD|XDG_RUNTIME_DIR)=' >"$job/env" || true
printf '%q ' "$@" >"$job/argv"
cat >"$job/boot" <<EOF
. "$job/env"
export KELVO_MIDI_VM=1 XDG_RUNTIME_DIR=/run/user
mkdir -p -m 700 /run/user
cd $(printf '%q' "$PWD") || cd /
bash -c "\$(cat "$job/argv")" >"$job/out" 2>&1 </dev/null
echo \$? >"$job/rc"
EOF

# Emulated, not KVM: nested KVM here stalled the boot, and emulation boots in about 10 s.
accel=(-accel tcg)
set +e
timeout "$timeout_s" qemu-system-x86_64 "${accel[@]}" -m 2048 -smp "$(nproc)" -nographic -no-reboot -nic none \
    -kernel "$cache/vmlinuz" -initrd "$cache/initrd.gz" \
    -append "console=ttyS0 quiet loglevel=3 panic=-1 kelvovm.job=$job" \
    -virtfs local,path=/,mount_tag=hostroot,security_model=none,multidevs=remap >"$job/console" 2>&1
qemu_status=$?
set -e
[ -f "$job/out" ] && cat "$job/out"
[ -f "$job/rc" ] && exit "$(cat "$job/rc")"
[ "$qemu_status" -eq 124 ] && { echo "midi-vm: the machine ran past ${timeout_s} s" >&2; exit 124; }
if [ "$qemu_status" -ne 0 ] && [ ! -s "$job/console" ]; then
    unavailable "QEMU does not start here"
fi
echo "midi-vm: the machine stopped before the command ended; its console:" >&2
tail -n 20 "$job/console" >&2
exit 1
