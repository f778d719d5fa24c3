#!/bin/sh
# /init of the emulated machine: load the disk drivers, wait for the disks, run the program and
# smartctl on them, and send every result to the host on the second serial port.
export PATH=/bin:/sbin:/usr/bin:/usr/sbin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
for module in $(cat /e2e/modules); do insmod "$module" 2>/dev/null; done
# A SAS disk as the kernel emulates it: log pages 00h, 0Dh and 2Fh, the unit serial number.
if [ -e /e2e/scsi_debug ]; then
  for module in $(cat /e2e/modules_sas); do
    case $module in
      */scsi_debug.ko*) insmod "$module" dev_size_mb=16 inq_vendor=TRELMOSS inq_product=E2E-SAS \
        inq_rev=5A01 2>/dev/null ;;
      *) insmod "$module" 2>/dev/null ;;
    esac
  done
fi

# A MegaRAID controller: its driver shows the volumes, the program finds the disks behind them.
if [ -e /e2e/megaraid ]; then
  for module in $(cat /e2e/modules_raid); do insmod "$module" 2>/dev/null; done
fi

# USB bridges, each a gadget on its own emulated host controller, with the bridge's USB id: the
# three NVMe tunnels, JMicron's USB-SATA bridge and an id no table knows.
if [ -e /e2e/bridges ]; then
  for module in $(cat /e2e/modules_usb); do
    case $module in
      */dummy_hcd.ko*) insmod "$module" num=5 ;;
      *) insmod "$module" 2>/dev/null ;;
    esac
  done
  mount -t configfs none /sys/kernel/config
  n=0
  for bridge in "174c 2362 asmedia nvme0" "0bda 9210 realtek nvme0" "152d 0583 jmicron-nvme nvme0" \
    "152d 2338 jmicron-ata sata0" "feed beef none sata0"; do
    set -- $bridge
    g=/sys/kernel/config/usb_gadget/g$n
    mkdir $g $g/strings/0x409 $g/configs/c.1 $g/functions/ffs.b$n
    echo 0x$1 > $g/idVendor
    echo 0x$2 > $g/idProduct
    echo 0x0214 > $g/bcdDevice
    echo "BRIDGE-$1-$2" > $g/strings/0x409/serialnumber
    ln -s $g/functions/ffs.b$n $g/configs/c.1/
    mkdir -p /dev/ffs$n
    mount -t functionfs b$n /dev/ffs$n
    /usr/bin/bridge_gadget /dev/ffs$n $3 /e2e/sectors/$4 /e2e/gadget-$1$2.log &
    sleep 0.5
    echo dummy_udc.$n > $g/UDC
    n=$((n + 1))
  done
fi

backed_disks() {
  for block in /sys/block/*; do [ -e "$block/device" ] && echo "${block##*/}"; done
}
expected=$(cat /e2e/disk_count)
tries=0
while [ "$(backed_disks | wc -l)" -lt "$expected" ] && [ $tries -lt 600 ]; do
  sleep 0.1
  tries=$((tries + 1))
done
sleep 0.5
# The hidden per-path disks of a shared NVMe namespace have no node and are not read.
for disk in $(backed_disks); do
  if [ "$(cat "/sys/block/$disk/hidden" 2>/dev/null)" = 1 ]; then
    echo "$disk" >> /e2e/hidden.txt
  else
    echo "$disk" >> /e2e/disks.txt
  fi
done
touch /e2e/hidden.txt
# Which SCSI generic node belongs to which disk: the program sends its commands there.
for disk in $(cat /e2e/disks.txt); do
  for node in /sys/block/$disk/device/scsi_generic/*; do
    [ -e "$node" ] && echo "${node##*/} $disk" >> /e2e/sg.txt
  done
done
touch /e2e/sg.txt
# Data written to the NVMe drive with serial E2E-NVME-2 moves its data-unit counters.
for disk in $(cat /e2e/disks.txt); do
  if [ "$(cat "/sys/block/$disk/device/serial" 2>/dev/null | tr -d ' ')" = E2E-NVME-2 ]; then
    dd if=/dev/urandom of="/dev/$disk" bs=64k count=64 conv=fsync 2>/dev/null
  fi
done

send() { # name file
  echo "=== BEGIN $1 $(wc -c < "$2") $(sha256sum "$2" | cut -d' ' -f1)" > /dev/ttyS1
  base64 "$2" > /dev/ttyS1
  echo "=== END $1" > /dev/ttyS1
}

# The disk each bridge became, and the commands its gadget had received before the program ran.
for disk in $(cat /e2e/disks.txt); do
  d=$(readlink -f /sys/block/$disk/device)
  while [ -n "$d" ] && [ ! -e "$d/idVendor" ]; do d=${d%/*}; done
  [ -e "$d/idVendor" ] && echo "$disk $(cat $d/idVendor)$(cat $d/idProduct)" >> /e2e/bridges.txt
done
for log in /e2e/gadget-*.log; do [ -e "$log" ] && wc -l < "$log" > "${log%.log}.before.txt"; done

# Some disks run a short self-test first (a test step, never the program's), so that their logs
# hold an entry.
[ -e /e2e/scsi_debug ] && for disk in sda sdc; do smartctl -q silent -t short /dev/$disk; done

cd /opt/trelmoss || exit 1
start=$(cat /proc/uptime)
./trelmoss --prometheus /e2e/report.prom /e2e/report.xml > /e2e/output.txt
echo $? > /e2e/status.txt
end=$(cat /proc/uptime)
echo "$start $end" > /e2e/trelmoss_time.txt
for log in /e2e/gadget-*.log; do [ -e "$log" ] && wc -l < "$log" > "${log%.log}.after.txt"; done
# Where the program's time is measured, seven more runs, each timed: their median is the figure.
if [ -e /e2e/trace_smartctl ]; then
  for run in 1 2 3 4 5 6 7; do
    start=$(cat /proc/uptime)
    ./trelmoss /e2e/again.xml > /dev/null
    echo "$start $(cat /proc/uptime)" >> /e2e/trelmoss_times.txt
  done
fi
/usr/bin/gnu-time -v ./trelmoss /e2e/timed.xml > /dev/null 2> /e2e/trelmoss_rusage.txt
strace -f -o /e2e/trace.txt -e trace=openat,open,ioctl,close ./trelmoss /e2e/traced.xml > /dev/null
strace -f -o /e2e/trace_nowake.txt -e trace=openat,open,ioctl,close \
  ./trelmoss --no-wake /e2e/nowake.xml > /dev/null
strace -f -o /e2e/trace_health.txt -e trace=openat,open,ioctl,close \
  ./trelmoss --health --prometheus /e2e/health.prom --html /e2e/health.html /e2e/health.xml \
  > /e2e/health_output.txt
strace -f -o /e2e/syscalls.txt ./trelmoss /e2e/syscalls.xml > /dev/null

# The same run as an ordinary user: the disk nodes belong to group "disk" as udev leaves them,
# and the user is in that group holding CAP_SYS_RAWIO alone, then no capability at all
# (util-linux's setpriv, by its path: busybox has a lesser one).
for block in /sys/block/*; do
  node=/dev/${block##*/}
  [ -b "$node" ] && chgrp 6 "$node" && chmod 0660 "$node"
done
chmod 1777 /e2e
as_user() { /usr/bin/setpriv --reuid=1000 --regid=1000 --groups=6 "$@"; }
as_user --inh-caps=-all,+sys_rawio --ambient-caps=-all,+sys_rawio --bounding-set=-all,+sys_rawio \
  ./trelmoss /e2e/rawio_report.xml > /e2e/rawio_output.txt
echo $? > /e2e/rawio_status.txt
as_user --inh-caps=-all --bounding-set=-all ./trelmoss /e2e/nocaps_report.xml > /e2e/nocaps_output.txt
echo $? > /e2e/nocaps_status.txt

start=$(cat /proc/uptime)
smartctl --scan > /e2e/scan.txt
for disk in $(cat /e2e/disks.txt); do
  case $disk in
    sd*|nvme*) smartctl -j -i -A -H "/dev/$disk" > "/e2e/smart-$disk.json"
      # A USB bridge smartctl does not know it reads only when told the disk is a SCSI disk.
      grep -q "Unknown USB bridge" "/e2e/smart-$disk.json" &&
        smartctl -j -i -d scsi "/dev/$disk" > "/e2e/smart-$disk.json" ;;
  esac
done
end=$(cat /proc/uptime)
echo "$start $end" > /e2e/smartctl_time.txt
# The logs each ATA disk keeps, as smartctl reads them: self-tests, errors, Device Statistics
# (behind JMicron's bridge, told that it carries READ LOG EXT).
for disk in $(grep '^sd' /e2e/disks.txt); do
  type=$(grep -q '"usbjmicron"' "/e2e/smart-$disk.json" && echo usbjmicron,x || echo auto)
  smartctl -j -d $type -l selftest -l error -l devstat "/dev/$disk" > "/e2e/logs-$disk.json"
done
if [ -e /e2e/trace_smartctl ]; then
  for disk in $(cat /e2e/disks.txt); do
    case $disk in
      sd*) strace -o "/e2e/smartctl-trace-$disk.txt" -e trace=ioctl smartctl -i -A "/dev/$disk" > /dev/null ;;
    esac
  done
fi

# Each disk behind a RAID controller as smartctl reads it when told its number.
if [ -e /e2e/megaraid ]; then
  grep megaraid /e2e/scan.txt | while read -r bus _ type _; do
    smartctl -j -i -d "$type" "$bus" > "/e2e/smart-megaraid-${bus##*/}-${type#megaraid,}.json"
  done
fi

# The SAS disk's failure prediction switched on (a MODE SELECT of the informational exceptions
# page with its TEST bit, from here, never from the program), then both read it again; the
# program meets the UNIT ATTENTION this leaves first.
for disk in $(cat /e2e/disks.txt); do
  [ "$(cat "/sys/block/$disk/device/vendor" 2>/dev/null | tr -d ' ')" = TRELMOSS ] || continue
  echo "$disk" > /e2e/sas.txt
  printf '\000\000\000\000\034\012\004\006\000\000\000\000\000\000\000\000' > /e2e/iec
  /usr/bin/sg_raw -s 16 -i /e2e/iec "/dev/$disk" 15 10 00 00 10 00 > /e2e/mode_select.txt 2>&1
  ./trelmoss --health --prometheus /e2e/predicted.prom /e2e/predicted.xml > /dev/null
  smartctl -j -i -A -H "/dev/$disk" > /e2e/smart-predicted.json
  # The same disk told to answer nothing from now on (every command left to time out), read
  # beside the others, timed; then smartctl on it alone, timed, as the peer's figure.
  knobs=/sys/bus/pseudo/drivers/scsi_debug
  echo 1 > $knobs/every_nth
  echo 4 > $knobs/opts
  start=$(cat /proc/uptime)
  ./trelmoss --health /e2e/hung.xml > /e2e/hung_output.txt
  end=$(cat /proc/uptime)
  echo "$start $end" > /e2e/hung_time.txt
  start=$(cat /proc/uptime)
  timeout 60 smartctl -a "/dev/$disk" > /e2e/smartctl_hung.txt 2>&1
  end=$(cat /proc/uptime)
  echo "$start $end" > /e2e/smartctl_hung_time.txt
  echo 0 > $knobs/opts
  echo 0 > $knobs/every_nth
done

for file in /e2e/*.txt /e2e/*.xml /e2e/*.json /e2e/*.prom /e2e/*.html /e2e/*.log; do
  [ -e "$file" ] && send "${file##*/}" "$file"
done
echo "=== DONE" > /dev/ttyS1
echo o > /proc/sysrq-trigger
sleep 10
