# Sourced by the /init of an emulated machine: mounts the kernel's file systems, loads the
# modules listed in /vm/modules, and mounts this machine's root (shared read-only through 9p)
# under an in-memory layer at /host, with the shared folder named in /vm/folder writable at its
# own path inside it. Sets `folder`. With /vm/own_tmp present the guest gets a /tmp of its own,
# below the shared folder, which may itself lie in this machine's /tmp.
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
[ -e /vm/own_tmp ] && mount -t tmpfs tmpfs /host/tmp
mkdir -p "/host$folder"
mount -t 9p -o trans=virtio,version=9p2000.L,msize=524288 folder "/host$folder"
