#!/usr/bin/env bash
# End-to-end test on a real kernel with emulated disks: boots the Debian kernel under QEMU with
# an initramfs that holds the program and smartctl, runs both on the machine's disks, brings the
# results back over a serial port and compares them disk by disk.
#
# usage: run.sh PROGRAM [WORK_FOLDER]
# Four machines boot: "kinds" (SATA disks with chosen identities, PIIX IDE, virtio-blk, NVMe
# controllers, one with a critical warning and one written to, a subsystem of two NVMe
# controllers sharing one namespace, virtio-scsi, an optical drive), "many" (34 SATA disks, of
# which exactly 32 are read), "bridges" (USB disks behind bridge gadgets) and "raid" (disks
# behind MegaRAID controllers).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../vm/initramfs.sh"
program=$(realpath "$1")
work=$(realpath -m "${2:-$here/../../build/e2e}")
mkdir -p "$work"

bash "$here/../../scripts/install-packages.sh" qemu-system-x86 linux-image-amd64 busybox-static \
  smartmontools kmod cpio xz-utils strace time python3 libxml2-utils sg3-utils

kernel=$(ls /boot/vmlinuz-* | sort -V | tail -n 1)
version=${kernel#/boot/vmlinuz-}

vmlinux=$(bash "$here/../vm/vmlinux.sh" "$kernel" "$work")

root=$work/root
rm -rf "$root"
mkdir -p "$root"/{bin,sbin,usr/bin,usr/sbin,proc,sys,dev,e2e,opt/trelmoss}

copy_with_libraries() { # source, destination inside the root
  cp "$1" "$root$2"
  for library in $(ldd "$1" | grep -o '/[^ ]*'); do
    mkdir -p "$root$(dirname "$library")"
    cp -L "$library" "$root$library"
  done
}
initramfs_busybox "$root"
copy_with_libraries "$program" /opt/trelmoss/trelmoss
cp "$(dirname "$program")/trelmoss.ini" "$root/opt/trelmoss/trelmoss.ini"
copy_with_libraries "$(command -v smartctl)" /usr/sbin/smartctl
copy_with_libraries "$(command -v strace)" /usr/bin/strace
copy_with_libraries "$(command -v setpriv)" /usr/bin/setpriv
copy_with_libraries "$(command -v sg_raw)" /usr/bin/sg_raw
copy_with_libraries /usr/bin/time /usr/bin/gnu-time  # busybox's time misreads peak memory
gcc -O2 -Wall -Werror -o "$work/bridge_gadget" "$here/bridge_gadget.c" -pthread
copy_with_libraries "$work/bridge_gadget" /usr/bin/bridge_gadget
mkdir -p "$root/e2e/sectors"
cp "$here/../windows/disk_driver/sectors/"* "$root/e2e/sectors/"
# Device Statistics for the JMicron bridge's drive: pages 00h (the list), 01h, 05h and 07h, each
# statistic flagged supported and valid. A lowest temperature below zero; worn past its rating.
python3 - "$root/e2e/sectors/sata0.devstat" <<'EOF'
import struct, sys
out, v = bytearray(8 * 512), 0xC0 << 56
for page, stats in {0: [(8, 0x0705010004)], 1: [(16, v | 12345), (24, v | 98765), (40, v | 4321)],
                    5: [(8, v | 38), (32, v | 55), (40, v | 0xFD), (88, v | 60)], 7: [(8, v | 104)]}.items():
    for offset, value in [(0, page << 16 | 1)] + stats:
        struct.pack_into("<Q", out, 512 * page + offset, value)
open(sys.argv[1], "wb").write(out)
errors = bytearray(512)  # the summary error log: 3 errors, the newest the first entry
errors[0], errors[1], errors[452] = 1, 1, 3
errors[511] = -sum(errors) % 256
open(sys.argv[1].replace("devstat", "errorlog"), "wb").write(errors)
EOF
for drivedb in /usr/share/smartmontools /var/lib/smartmontools; do
  [ -d "$drivedb" ] && mkdir -p "$root$drivedb" && cp -r "$drivedb/." "$root$drivedb/"
done

initramfs_modules "$root" "$version" /e2e/modules virtio_pci ahci ata_piix sd_mod sr_mod sg \
  virtio_blk virtio_scsi nvme xhci_pci usb_storage
# USB gadgets playing bridges, loaded only where a machine asks for them.
initramfs_modules "$root" "$version" /e2e/modules_usb configfs dummy_hcd usb_f_fs libcomposite
# The kernel's emulated SAS disk, loaded only where a machine asks for it.
initramfs_modules "$root" "$version" /e2e/modules_sas scsi_debug
# A MegaRAID controller's driver, likewise.
initramfs_modules "$root" "$version" /e2e/modules_raid megaraid_sas
cp "$here/guest_init.sh" "$root/init"
chmod +x "$root/init"

boot() { # machine name, disk count, extra guest files..., then -- and QEMU device arguments
  local name=$1 count=$2
  shift 2
  rm -f "$root"/e2e/trace_smartctl "$root"/e2e/scsi_debug "$root"/e2e/bridges "$root"/e2e/megaraid
  while [ "$1" != -- ]; do : > "$root/e2e/$1"; shift; done
  shift
  echo "$count" > "$root/e2e/disk_count"
  local out=$work/$name
  rm -rf "$out"
  mkdir -p "$out"
  (cd "$root" && find . | cpio -o -H newc --quiet) > "$out/initramfs.cpio"
  local started=$SECONDS
  timeout 900 qemu-system-x86_64 -machine pc -accel tcg -cpu max -m 1024 -smp 1 \
    -nodefaults -display none -no-reboot \
    -kernel "$vmlinux" -initrd "$out/initramfs.cpio" \
    -append "console=ttyS0 quiet panic=-1 libata.force=noncq" \
    -serial "file:$out/console.log" -serial "file:$out/data.log" "$@" ||
    { echo "QEMU failed for $name"; tail -n 30 "$out/console.log"; return 1; }
  echo "machine $name: booted and ran in $((SECONDS - started)) s"
  python3 "$here/unpack.py" "$out/data.log" "$out" ||
    { tail -n 30 "$out/console.log"; return 1; }
}

null_disk() { # node name
  echo "-blockdev driver=null-co,node-name=$1,size=268435456,read-zeroes=on"
}

# Machine "kinds". Identity texts put XML-reserved characters, a control byte, bytes
# 0x80-0xFF, leading blanks and a full 40-character model through the whole path.
model40="TRELMOSS E2E MODEL OF FULL FORTY CHARS 4"
kinds=(
  -device ahci,id=ahci0 -device ahci,id=ahci1
  $(null_disk s0) -device "ide-hd,drive=s0,bus=ahci0.0,model=$model40,serial=E2E-SATA-0,ver=FW40TEST"
  $(null_disk s1) -device "ide-hd,drive=s1,bus=ahci0.1,model=Q&A <\"disk\">,, 'x',serial=E2E-SATA-1,ver=1.0&<>"
  $(null_disk s2) -device "ide-hd,drive=s2,bus=ahci0.2,model=CONTROL BYTE IN SERIAL,serial=E2E"$'\x01'"SATA-2,ver=2.0"
  $(null_disk s3) -device "ide-hd,drive=s3,bus=ahci0.3,model="$'\xC4\xE8\xF1\xEA \xC0\xC1\xC2 \xFF\x80'",serial=E2E-SATA-3,ver="$'\xC2\xE5\xF0'" 3"
  $(null_disk s4) -device "ide-hd,drive=s4,bus=ahci0.4,model=   LEADING BLANKS,serial=   E2E-SATA-4,ver= 4"
  -device ide-cd,bus=ahci1.0
  $(null_disk p0) -device "ide-hd,drive=p0,bus=ide.0,unit=0,model=PIIX DISK,serial=E2E-PIIX-0,ver=P0"
  $(null_disk p1) -device "ide-hd,drive=p1,bus=ide.1,unit=0,model=PIIX DISK,serial=E2E-PIIX-1,ver=P1"
  $(null_disk v0) -device virtio-blk-pci,drive=v0,serial=E2E-VIRTIO
  $(null_disk n0) -device nvme,drive=n0,serial=E2E-NVME-0
  $(null_disk n1) -device nvme,drive=n1,serial=E2E-NVME-1,smart_critical_warning=4
  $(null_disk n2) -device nvme,drive=n2,serial=E2E-NVME-2
  -device nvme-subsys,id=mpsys,nqn=trelmoss-e2e-multipath
  -device nvme,id=mpa,serial=E2E-NVME-MP,subsys=mpsys
  -device nvme,id=mpb,serial=E2E-NVME-MP,subsys=mpsys
  $(null_disk n3) -device nvme-ns,drive=n3,bus=mpa,nsid=1,shared=on
  -device virtio-scsi-pci,id=scsi0
  $(null_disk c0) -device scsi-hd,drive=c0,bus=scsi0.0,serial=E2E-SCSI
  -device qemu-xhci,id=xhci
  $(null_disk u0) -device usb-storage,drive=u0,bus=xhci.0,serial=E2E-USB
)
# 18 block devices: 7 SATA and PIIX disks, the optical drive, virtio-blk, virtio-scsi, the USB
# disk, 4 NVMe namespaces, the 2 hidden paths of the shared one, and the kernel's emulated SAS
# disk (scsi_debug).
boot kinds 18 scsi_debug -- "${kinds[@]}"

# Machine "many": 34 SATA disks on six controllers; exactly the first 32 listed are read.
many=()
for controller in 0 1 2 3 4 5; do many+=(-device "ahci,id=ahci$controller"); done
for disk in $(seq 0 33); do
  serial=$(printf 'E2E-MANY-%02d' "$disk")
  many+=($(null_disk "m$disk") -device "ide-hd,drive=m$disk,bus=ahci$((disk / 6)).$((disk % 6)),model=MANY DISK $disk,serial=$serial,ver=M$disk")
done
boot many 34 trace_smartctl -- "${many[@]}"

# Machine "bridges": five USB disks, each a gadget with a bridge's USB id (tests/e2e/bridge_gadget.c).
boot bridges 5 bridges --

# Machine "raid": three MegaRAID controllers (QEMU's megasas-gen2 twice and megasas), each with a
# disk of its own vendor, product and serial; the system sees their volumes. One disk a
# controller, at SCSI id 0 and lun 0: QEMU numbers a controller's disks (id << 8) | lun, while its
# pass-through finds a disk by one byte of that number as the SCSI id, which agree there alone.
raid=()
for n in 0 1 2; do
  model=$([ "$n" = 2 ] && echo megasas || echo megasas-gen2)
  raid+=(-device "$model,id=raid$n" $(null_disk "r$n")
    -device "scsi-hd,drive=r$n,bus=raid$n.0,scsi-id=0,lun=0,vendor=VEND$n,product=RAID MEMBER $n,ver=R$n,serial=E2E-RAID-$n")
done
boot raid 3 megaraid -- "${raid[@]}"

python3 "$here/compare.py" "$work" "$here/../../report/trelmoss-report.xsd"
