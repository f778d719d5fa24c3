#!/bin/sh
# /init of the emulated machine of host_vm.sh: mount this machine's root read-only under an
# in-memory layer and the shared folder writable at its own path, then run the command in a
# chroot and power off.
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
for module in $(cat /vm/modules); do insmod "$module" 2>/dev/null; done
folder=$(cat /vm/folder)
# This machine's files below, the guest's own writes in memory above them.
mkdir -p /lower /layers
mount -t 9p -o trans=virtio,version=9p2000.L,ro,msize=524288,cache=loose hostroot /lower
mount -t tmpfs tmpfs /layers
mkdir -p /layers/upper /layers/work
mount -t overlay overlay -o lowerdir=/lower,upperdir=/layers/upper,workdir=/layers/work /host
mount -t proc proc /host/proc
mount -t sysfs sys /host/sys
mount -t devtmpfs dev /host/dev
mkdir -p /host/dev/shm /host/dev/pts
mount -t tmpfs tmpfs /host/dev/shm
mount -t devpts devpts /host/dev/pts
mount -t 9p -o trans=virtio,version=9p2000.L,msize=524288 folder "/host$folder"
{
  echo "export HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin"
  sed 's/^\([A-Z_]*\)=\(.*\)$/export \1="\2"/' /vm/environment
  echo "cd \"$(cat /vm/directory)\""
  cat /vm/command
} > "/host$folder/.vm/script"
chroot /host /bin/sh "$folder/.vm/script" > "/host$folder/.vm/output" 2>&1
echo $? > "/host$folder/.vm/status"
sync
echo o > /proc/sysrq-trigger
sleep 10
