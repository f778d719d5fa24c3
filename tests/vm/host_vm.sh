#!/usr/bin/env bash
# Runs a command inside an emulated machine that boots the Debian kernel over this machine's own
# root filesystem (shared read-only through 9p, with the guest's writes kept in memory above it),
# with FOLDER shared writable at the same path.
# It serves what this machine's kernel cannot run itself, such as 32-bit programs.
#
# usage: host_vm.sh FOLDER COMMAND...   (runs COMMAND with sh -c in the current directory;
#        its output is printed and its exit status returned)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/initramfs.sh"
folder=$(realpath "$1")
shift
command="$*"
bash "$here/../../scripts/install-packages.sh" qemu-system-x86 linux-image-amd64 busybox-static \
  kmod cpio xz-utils python3

kernel=$(ls /boot/vmlinuz-* | sort -V | tail -n 1)
version=${kernel#/boot/vmlinuz-}
cache=$folder/.vm
mkdir -p "$cache"
vmlinux=$(bash "$here/vmlinux.sh" "$kernel" "$cache")

root=$cache/root
rm -rf "$root"
mkdir -p "$root"/{proc,sys,dev,host,vm}
initramfs_busybox "$root"
initramfs_modules "$root" "$version" /vm/modules virtio_pci 9pnet_virtio 9p overlay
printf '%s\n' "$folder" > "$root/vm/folder"
printf '%s\n' "$PWD" > "$root/vm/directory"
printf '%s\n' "$command" > "$root/vm/command"
env | grep -E '^(WINE[A-Z]*|TRELMOSS_[A-Z_]*)=' > "$root/vm/environment" || true
cp "$here/vm_init.sh" "$root/init"
cp "$here/host_root.sh" "$root/vm/host_root.sh"
chmod +x "$root/init"
(cd "$root" && find . | cpio -o -H newc --quiet) > "$cache/initramfs.cpio"

rm -f "$folder/.vm/status" "$folder/.vm/output"
timeout 3000 qemu-system-x86_64 -machine q35 -accel tcg -cpu Nehalem -m 3072 -smp 2 \
  -nodefaults -display none -no-reboot \
  -kernel "$vmlinux" -initrd "$cache/initramfs.cpio" \
  -append "console=ttyS0 quiet panic=-1" -serial "file:$cache/console.log" \
  -virtfs local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap \
  -virtfs "local,path=$folder,mount_tag=folder,security_model=none" ||
  { echo "the emulated machine failed"; tail -n 20 "$cache/console.log"; exit 1; }
cat "$folder/.vm/output" 2>/dev/null || true
[ -s "$folder/.vm/status" ] || { echo "the command did not finish"; tail -n 20 "$cache/console.log"; exit 1; }
exit "$(cat "$folder/.vm/status")"
