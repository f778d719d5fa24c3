#!/usr/bin/env bash
# Captures, once, the sectors the test disk driver serves: an emulated machine with three of the
# end-to-end test's SATA disks (QEMU's own ATA emulation) answers IDENTIFY DEVICE, SMART READ
# DATA and SMART READ THRESHOLDS sent by sg_raw as ATA PASS-THROUGH (16) commands, and the
# 512-byte replies are written to sectors/DISK.{identify,data,thresholds}. An emulated NVMe
# controller (QEMU's own) answers Identify Controller and the SMART / Health Information log,
# asked by nvme-cli, written to sectors/nvme0.{identify,health}. Run by hand; the captures are
# kept in the tree.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../vm/initramfs.sh"
bash "$here/../../../scripts/install-packages.sh" qemu-system-x86 linux-image-amd64 \
  busybox-static kmod cpio sg3-utils nvme-cli python3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
kernel=$(ls /boot/vmlinuz-* | sort -V | tail -n 1)
vmlinux=$(bash "$here/../../vm/vmlinux.sh" "$kernel" "$work")
root=$work/root
mkdir -p "$root"/{bin,usr/bin,proc,sys,dev,capture}
initramfs_busybox "$root"
initramfs_modules "$root" "${kernel#/boot/vmlinuz-}" /capture/modules ahci sd_mod sg nvme
for tool in /usr/bin/sg_raw /usr/sbin/nvme; do
  cp "$tool" "$root/usr/bin/"
  for library in $(ldd "$tool" | grep -o '/[^ ]*'); do
    mkdir -p "$root$(dirname "$library")" && cp -L "$library" "$root$library"
  done
done
cat > "$root/init" <<'INIT'
#!/bin/sh
export PATH=/bin:/usr/bin
mount -t proc proc /proc; mount -t sysfs sys /sys; mount -t devtmpfs dev /dev
for module in $(cat /capture/modules); do insmod "$module" 2>/dev/null; done
tries=0
while { [ ! -e /dev/sdc ] || [ ! -e /dev/nvme0 ]; } && [ $tries -lt 600 ]; do
  sleep 0.1
  tries=$((tries + 1))
done
# CDB: 0x85 ATA PASS-THROUGH (16); 0x08 PIO data-in; 0x0e from the device, length in blocks
# given by the sector count; then features, count, LBA low/mid/high, device 0xa0, command.
for disk in sda sdb sdc; do
  sg_raw -r 512 -o /capture/$disk.identify /dev/$disk 85 08 0e 00 00 00 01 00 00 00 00 00 00 a0 ec 00
  sg_raw -r 512 -o /capture/$disk.data /dev/$disk 85 08 0e 00 d0 00 01 00 01 00 4f 00 c2 a0 b0 00
  sg_raw -r 512 -o /capture/$disk.thresholds /dev/$disk 85 08 0e 00 d1 00 01 00 01 00 4f 00 c2 a0 b0 00
done
# Identify Controller (CNS 01h) and log page 02h of the whole controller, raw.
nvme id-ctrl -b /dev/nvme0 > /capture/nvme0.identify
nvme smart-log -b /dev/nvme0 > /capture/nvme0.health
for file in /capture/sd* /capture/nvme0.*; do
  echo "=== BEGIN ${file##*/} $(wc -c < "$file") $(sha256sum "$file" | cut -d' ' -f1)" > /dev/ttyS1
  base64 "$file" > /dev/ttyS1
  echo "=== END ${file##*/}" > /dev/ttyS1
done
echo "=== DONE" > /dev/ttyS1
echo o > /proc/sysrq-trigger
sleep 10
INIT
chmod +x "$root/init"
(cd "$root" && find . | cpio -o -H newc --quiet) > "$work/initramfs.cpio"
null_disk() { # node name
  echo "-blockdev driver=null-co,node-name=$1,size=268435456,read-zeroes=on"
}
disks=(
  -device ahci,id=ahci0
  $(null_disk s0) -device "ide-hd,drive=s0,bus=ahci0.0,model=TRELMOSS E2E MODEL OF FULL FORTY CHARS 4,serial=E2E-SATA-0,ver=FW40TEST"
  $(null_disk s1) -device "ide-hd,drive=s1,bus=ahci0.1,model=Q&A <\"disk\">,, 'x',serial=E2E-SATA-1,ver=1.0&<>"
  $(null_disk s3) -device "ide-hd,drive=s3,bus=ahci0.2,model="$'\xC4\xE8\xF1\xEA \xC0\xC1\xC2 \xFF\x80'",serial=E2E-SATA-3,ver="$'\xC2\xE5\xF0'" 3"
  $(null_disk n0) -device "nvme,drive=n0,serial=E2E-NVME-W,smart_critical_warning=2"
)
timeout 900 qemu-system-x86_64 -machine pc -accel tcg -cpu max -m 512 -nodefaults -display none \
  -no-reboot -kernel "$vmlinux" -initrd "$work/initramfs.cpio" -append "console=ttyS0 quiet panic=-1" \
  -serial "file:$work/console.log" -serial "file:$work/data.log" "${disks[@]}"
mkdir -p "$work/out"
python3 "$here/../../e2e/unpack.py" "$work/data.log" "$work/out"
for file in "$work"/out/sd* "$work"/out/nvme0.*; do
  name=${file##*/}
  case $name in sda.*) disk=sata0 ;; sdb.*) disk=sata1 ;; sdc.*) disk=sata3 ;; nvme0.*) disk=nvme0 ;; esac
  cp "$file" "$here/sectors/$disk.${name#*.}"
done
ls -l "$here/sectors"
