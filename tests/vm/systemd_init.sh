#!/bin/sh
# /init of the emulated machine of systemd_vm.sh: this machine's root read-only under an
# in-memory layer, prepared so that systemd boots as on a machine of its own, then systemd.
export PATH=/bin
. /vm/host_root.sh
# systemd takes a machine with /.dockerenv for a container (its /tmp, which would be this
# machine's whole /tmp cleaned at boot, is its own: /vm/own_tmp); and it wants a machine id of its
# own.
rm -f /host/.dockerenv
tr -d '-' < /proc/sys/kernel/random/uuid > /host/etc/machine-id
cp /vm/trelmoss-check.service /host/etc/systemd/system/
for api in dev proc sys; do mount --move "/$api" "/host/$api"; done
exec switch_root /host /lib/systemd/systemd --unit=trelmoss-check.service
