#!/bin/sh
# /init of the emulated machine of systemd_vm.sh: this machine's root read-only under an
# in-memory layer, prepared so that systemd boots as on a machine of its own, then systemd.
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
for module in $(cat /vm/modules); do insmod "$module" 2>/dev/null; done
folder=$(cat /vm/folder)
mkdir -p /lower /layers
mount -t 9p -o trans=virtio,version=9p2000.L,ro,msize=524288,cache=loose hostroot /lower
mount -t tmpfs tmpfs /layers
mkdir -p /layers/upper /layers/work
mount -t overlay overlay -o lowerdir=/lower,upperdir=/layers/upper,workdir=/layers/work /host
mount -t 9p -o trans=virtio,version=9p2000.L,msize=524288 folder "/host$folder"
# systemd takes a machine with /.dockerenv for a container; its /tmp would be this machine's
# whole /tmp, cleaned at boot; and it wants a machine id of its own.
rm -f /host/.dockerenv
mount -t tmpfs tmpfs /host/tmp
tr -d '-' < /proc/sys/kernel/random/uuid > /host/etc/machine-id
cp /vm/trelmoss-check.service /host/etc/systemd/system/
for api in dev proc sys; do mount --move "/$api" "/host/$api"; done
exec switch_root /host /lib/systemd/systemd --unit=trelmoss-check.service
