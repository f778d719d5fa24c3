#!/bin/sh
# /init of the emulated machine of host_vm.sh: mount this machine's root read-only under an
# in-memory layer and the shared folder writable at its own path, then run the command in a
# chroot and power off.
export PATH=/bin
. /vm/host_root.sh
mount -t proc proc /host/proc
mount -t sysfs sys /host/sys
mount -t devtmpfs dev /host/dev
mkdir -p /host/dev/shm /host/dev/pts
mount -t tmpfs tmpfs /host/dev/shm
mount -t devpts devpts /host/dev/pts
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
