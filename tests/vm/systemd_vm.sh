#!/usr/bin/env bash
# Boots a real systemd as the first process of an emulated machine, over this machine's own root
# filesystem (shared read-only through 9p, the guest's writes in memory above it), with one
# emulated SATA disk, and has it run SCRIPT as a service of its own; the machine powers off when
# SCRIPT ends. FOLDER is shared writable at its own path.
#
# usage: systemd_vm.sh FOLDER SCRIPT [FILE...]   (SCRIPT runs with copies of the FILEs as its
#        arguments, all inside FOLDER, since the guest's /tmp is its own; its output is printed
#        and its exit status returned)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/initramfs.sh"
folder=$(realpath "$1")
script=$(realpath "$2")
shift 2
files=("$@")
bash "$here/../../scripts/install-packages.sh" qemu-system-x86 linux-image-amd64 busybox-static \
  kmod cpio xz-utils python3 systemd

kernel=$(ls /boot/vmlinuz-* | sort -V | tail -n 1)
cache=$folder/.systemd-vm
rm -rf "$cache"
mkdir -p "$cache"
vmlinux=$(bash "$here/vmlinux.sh" "$kernel" "$cache")
root=$cache/root
mkdir -p "$root"/{proc,sys,dev,host,vm}
initramfs_busybox "$root"
initramfs_modules "$root" "${kernel#/boot/vmlinuz-}" /vm/modules virtio_pci 9pnet_virtio 9p overlay
printf '%s\n' "$folder" > "$root/vm/folder"
: > "$root/vm/own_tmp"
mkdir -p "$cache/files"
command=(/bin/sh "$cache/files/${script##*/}")
cp "$script" "$cache/files/"
for file in "${files[@]}"; do
  cp "$file" "$cache/files/"
  command+=("$cache/files/${file##*/}")
done
# The service that runs SCRIPT, started as systemd's only goal; the machine powers off after it
# whatever its outcome.
printf '%q ' "${command[@]}" > "$cache/command"
cat > "$root/vm/trelmoss-check.service" <<UNIT
[Unit]
Description=Checks run under systemd
After=basic.target
SuccessAction=poweroff-force
FailureAction=poweroff-force

[Service]
Type=oneshot
ExecStart=/bin/sh -c '. $cache/command > $cache/output 2>&1; echo \$\$? > $cache/status'
UNIT
cp "$here/systemd_init.sh" "$root/init"
cp "$here/host_root.sh" "$root/vm/host_root.sh"
chmod +x "$root/init"
(cd "$root" && find . | cpio -o -H newc --quiet) > "$cache/initramfs.cpio"

timeout 1200 qemu-system-x86_64 -machine q35 -accel tcg -cpu max -m 2048 -smp 2 \
  -nodefaults -display none -no-reboot \
  -kernel "$vmlinux" -initrd "$cache/initramfs.cpio" \
  -append "console=ttyS0 panic=-1" -serial "file:$cache/console.log" \
  -virtfs local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap \
  -virtfs "local,path=$folder,mount_tag=folder,security_model=none" \
  -blockdev driver=null-co,node-name=disk0,size=268435456,read-zeroes=on \
  -device ahci,id=ahci0 -device "ide-hd,drive=disk0,bus=ahci0.0,model=SYSTEMD VM DISK,serial=E2E-SYSTEMD" ||
  { echo "the emulated machine failed"; tail -n 20 "$cache/console.log"; exit 1; }
cat "$cache/output" 2>/dev/null || true
[ -s "$cache/status" ] || { echo "the check did not finish"; tail -n 30 "$cache/console.log"; exit 1; }
exit "$(cat "$cache/status")"
