"""Compares what the program reported in the emulated machines with what smartctl read there.

usage: compare.py WORK_FOLDER SCHEMA
Fails (exit 1) on any figure that differs, any disk read that should not have been, any command
outside the permitted ones, or a report that is not byte-exact in form or does not validate.
"""
import json
import os
import re
import subprocess
import sys
import xml.etree.ElementTree as ElementTree

MAX_DRIVES = 32
DECLARATION = b'<?xml version="1.0" encoding="windows-1251" ?>\r\n'
# ATA commands a disk may receive: (command, features) for S.M.A.R.T., IDENTIFY DEVICE.
PERMITTED_ATA = {(0xB0, 0xD8), (0xB0, 0xD0), (0xB0, 0xD1), (0xEC, None)}
ATA_CHECK_POWER_MODE = 0xE5  # with --no-wake only
# With --health only: RETURN STATUS, S.M.A.R.T. READ LOG and READ LOG EXT.
HEALTH_ATA = {(0xB0, 0xDA), (0xB0, 0xD5), (0x2F, None)}
# Device Statistics by page and offset, as the report's ata element names them.
STATISTICS = {(1, 16): "power_on_hours", (1, 24): "logical_sectors_written",
              (1, 40): "logical_sectors_read", (5, 8): "temperature", (5, 32): "highest_temperature",
              (5, 40): "lowest_temperature", (5, 88): "max_operating_temperature",
              (5, 104): "min_operating_temperature", (7, 8): "percentage_used"}
SELF_TEST_KINDS = {0: "offline", 1: "short", 2: "extended", 3: "conveyance", 4: "selective"}
SCSI_INQUIRY = 0x12
ATA_PASS_THROUGH_16 = 0x85
ATA_PASS_THROUGH_12 = 0xA1
# What a SCSI disk is read with: INQUIRY, LOG SENSE, REQUEST SENSE, READ DEFECT DATA (10), (12).
SCSI_READS = {SCSI_INQUIRY, 0x4D, 0x03, 0x37, 0xB7}
# The kernel's emulated SAS disk, by its INQUIRY vendor.
SAS_VENDOR = "TRELMOSS"
# What an ATA drive shows when the kernel refuses ATA PASS-THROUGH (EPERM) for want of
# CAP_SYS_RAWIO.
NO_RAWIO_ERROR = "Error 1 in reading SMART Enabled flag"
# What an NVMe drive shows when the kernel refuses the admin command (EACCES) for want of
# CAP_SYS_ADMIN: its identity from sysfs, no health log.
NO_ADMIN_ERROR = "Error 13 reading detailed SMART data"
# The health log's fields, as the report and smartctl's JSON name them.
NVME_FIELDS = ("critical_warning", "temperature", "available_spare", "available_spare_threshold",
               "percentage_used", "data_units_read", "data_units_written", "host_reads",
               "host_writes", "controller_busy_time", "power_cycles", "power_on_hours",
               "unsafe_shutdowns", "media_errors", "num_err_log_entries", "warning_temp_time",
               "critical_comp_time")
# The NVMe drives of the "kinds" machine, by serial: the shared namespace of two controllers is
# one drive.
KINDS_NVME = {"E2E-NVME-0", "E2E-NVME-1", "E2E-NVME-2", "E2E-NVME-MP"}
UNIT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../packaging/trelmoss.service")

# The identities the "kinds" machine gives its ATA disks (serial -> model, firmware), as the
# drive would read them back: blanks trimmed, control bytes shown as '?'.
KINDS_IDENTITY = {
    b"E2E-SATA-0": (b"TRELMOSS E2E MODEL OF FULL FORTY CHARS 4", b"FW40TEST"),
    b"E2E-SATA-1": (b"Q&A <\"disk\">, 'x'", b"1.0&<>"),
    b"E2E?SATA-2": (b"CONTROL BYTE IN SERIAL", b"2.0"),
    b"E2E-SATA-3": (b"\xC4\xE8\xF1\xEA \xC0\xC1\xC2 \xFF\x80", b"\xC2\xE5\xF0 3"),
    b"E2E-SATA-4": (b"LEADING BLANKS", b"4"),
    b"E2E-PIIX-0": (b"PIIX DISK", b"P0"),
    b"E2E-PIIX-1": (b"PIIX DISK", b"P1"),
}

problems = []
SCHEMA = None


def problem(text):
    problems.append(text)


def report_bytes(value):
    """An attribute value as the bytes the drive held (the report declares windows-1251)."""
    return value.encode("cp1251")


def as_report_text(raw):
    """What the report makes of identity bytes: control bytes and 0x98 become '?'."""
    return bytes(b if not (1 <= b <= 0x1F and b not in (9, 10, 13)) and b != 0x98 else 0x3F
                 for b in raw)


def listed_disks(folder):
    names = [n for n in open(os.path.join(folder, "disks.txt")).read().split() if not n.startswith("sr")]
    return sorted(names, key=lambda n: (len(n), n.encode()))


def check_form(name, data, schema):
    if not data.startswith(DECLARATION):
        problem(f"{name}: report does not start with the declaration")
    if re.search(rb"(?<!\r)\n", data) or not data.endswith(b"</smart>\r\n"):
        problem(f"{name}: report line ends are not all CR LF")
    result = subprocess.run(["xmllint", "--noout", "--schema", schema, "-"], input=data,
                            capture_output=True)
    if result.returncode != 0:
        problem(f"{name}: report does not validate: {result.stderr.decode(errors='replace')}")


def smartctl_reading(folder, disk):
    path = os.path.join(folder, f"smart-{disk}.json")
    if not os.path.exists(path):
        return None
    # smartctl writes identity bytes 0x80-0xFF raw, which is not UTF-8: read it byte for byte.
    reading = json.loads(open(path, "rb").read().decode("latin-1"))
    return reading if reading.get("device", {}).get("protocol") in ("ATA", "NVMe", "SCSI") else None


def is_nvme(reading):
    return reading is not None and reading["device"]["protocol"] == "NVMe"


def is_scsi(reading):
    return reading is not None and reading["device"]["protocol"] == "SCSI"


def is_sas(reading):
    return (is_scsi(reading) and reading.get("scsi_vendor", "").strip() == SAS_VENDOR and
            reading.get("scsi_product", "").strip() == "E2E-SAS")


def is_ata(reading):
    return reading is not None and reading["device"]["protocol"] == "ATA"


def compare_scsi_identity(machine, disk, drive, reading):
    """Vendor and product, serial and revision as `smartctl -i` shows them."""
    vendor, product = reading.get("scsi_vendor", "").strip(), reading.get("scsi_product", "").strip()
    expected = {"model": f"{vendor} {product}", "serial": reading.get("serial_number", ""),
                "firmware": reading.get("scsi_revision", "").strip()}
    actual = {key: drive.get(key) for key in expected}
    if actual != expected:
        problem(f"{machine} {disk}: identity {actual}, smartctl {expected}")


def compare_sas_drive(machine, disk, drive, reading):
    """Identity, the drive's own verdict, temperature and trip as smartctl reads them."""
    compare_scsi_identity(machine, disk, drive, reading)
    scsi = drive.find("scsi")
    temperature = reading.get("temperature", {})
    if scsi is None or drive.get("error") is not None:
        problem(f"{machine} {disk}: no scsi element, or an error {drive.get('error')!r}")
        return
    for ours, theirs in (("temperature", "current"), ("drive_trip", "drive_trip")):
        if scsi.get(ours) is None or int(scsi.get(ours)) != temperature.get(theirs):
            problem(f"{machine} {disk}: {ours} {scsi.get(ours)}, smartctl {temperature.get(theirs)}")


def compare_identity(machine, disk, drive, reading):
    for attribute, key in (("model", "model_name"), ("serial", "serial_number"),
                           ("firmware", "firmware_version")):
        ours = report_bytes(drive.get(attribute))
        theirs = as_report_text(reading.get(key, "").encode("latin-1"))
        if ours != theirs:
            problem(f"{machine} {disk}: {attribute} {ours!r} but smartctl read {theirs!r}")


def compare_nvme_drive(machine, disk, drive, reading):
    compare_identity(machine, disk, drive, reading)
    if drive.get("error") is not None or drive.findall("attrib"):
        problem(f"{machine} {disk}: unexpected error or attributes on an NVMe drive")
    health = drive.findall("nvme")
    log = reading.get("nvme_smart_health_information_log")
    if len(health) != 1 or not log:
        problem(f"{machine} {disk}: {len(health)} nvme elements, smartctl log {log!r}")
        return
    if list(health[0].keys()) != list(NVME_FIELDS):
        problem(f"{machine} {disk}: nvme fields {list(health[0].keys())}")
    for field in NVME_FIELDS:
        if int(health[0].get(field)) != log.get(field):
            problem(f"{machine} {disk}: {field} {health[0].get(field)} but smartctl {log.get(field)}")


def compare_ata_drive(machine, disk, drive, reading):
    compare_identity(machine, disk, drive, reading)
    if drive.get("error") is not None:
        problem(f"{machine} {disk}: unexpected error {drive.get('error')!r}")
    reported = {int(a.get("id")): a for a in drive.findall("attrib")}
    table = reading.get("ata_smart_attributes", {}).get("table", [])
    if not table:
        problem(f"{machine} {disk}: smartctl read no attributes")
    for row in table:
        attrib = reported.pop(row["id"], None)
        if attrib is None:
            problem(f"{machine} {disk}: attribute {row['id']} missing from the report")
            continue
        expected = {"value": row["value"], "worst": row["worst"],
                    "raw": row["raw"]["value"] & 0xFFFF, "treshold": row["thresh"]}
        actual = {k: int(attrib.get(k)) for k in expected}
        if actual != expected:
            problem(f"{machine} {disk}: attribute {row['id']} {actual} but smartctl {expected}")
    if reported:
        problem(f"{machine} {disk}: attributes smartctl did not read: {sorted(reported)}")


def compare_machine(folder, schema):
    machine = os.path.basename(folder)
    data = open(os.path.join(folder, "report.xml"), "rb").read()
    check_form(machine, data, schema)
    disks = listed_disks(folder)
    read = disks[:MAX_DRIVES]
    drives = ElementTree.fromstring(data).findall("drive")
    status = open(os.path.join(folder, "status.txt")).read().strip()
    output = open(os.path.join(folder, "output.txt"), "rb").read()
    if status != "1" or output != f"Trelmoss v1.1\r\nTotal drives: {len(read)}\r\n".encode():
        problem(f"{machine}: status {status}, output {output!r}")
    if [d.get("devicepath") for d in drives] != [f"/dev/{n}" for n in read]:
        problem(f"{machine}: drives {[d.get('devicepath') for d in drives]}, expected {read}")
    identities, nvme = {}, {}
    for index, (disk, drive) in enumerate(zip(read, drives)):
        if drive.get("id") != str(index):
            problem(f"{machine} {disk}: id {drive.get('id')}, expected {index}")
        reading = smartctl_reading(folder, disk)
        if reading is None:
            if any(drive.get(a) for a in ("model", "serial", "firmware", "error")) or len(drive):
                problem(f"{machine} {disk}: a disk that takes no SCSI command shows data")
            continue
        if is_scsi(reading) and not is_sas(reading):  # no log pages: who it is, and no more
            compare_scsi_identity(machine, disk, drive, reading)
            if drive.get("error") is not None or len(drive):
                problem(f"{machine} {disk}: a disk without log pages shows an error or data")
            continue
        if is_sas(reading):
            compare_sas_drive(machine, disk, drive, reading)
            continue
        if is_nvme(reading):
            compare_nvme_drive(machine, disk, drive, reading)
            nvme.setdefault(drive.get("serial"), []).append(drive)
            continue
        compare_ata_drive(machine, disk, drive, reading)
        identities[report_bytes(drive.get("serial"))] = (report_bytes(drive.get("model")),
                                                       report_bytes(drive.get("firmware")))
    return machine, disks, read, identities, nvme


def device_requests(folder, trace="trace.txt", no_wake=False, health=False):
    """SG_IO requests per disk path from the strace of a run, and the commands outside the rule."""
    descriptors, counts, opened, foreign = {}, {}, [], []
    # A disk's SCSI generic node stands for the disk.
    generic = dict(line.split() for line in open(os.path.join(folder, "sg.txt")) if line.strip())
    permitted_ata = PERMITTED_ATA | ({(ATA_CHECK_POWER_MODE, None)} if no_wake else set())
    permitted_ata |= HEALTH_ATA if health else set()
    pending = {}  # a thread's opening that strace shows in two halves, as threads interleave
    for line in open(os.path.join(folder, trace), errors="replace"):
        thread = line.split(" ", 1)[0]
        resumed = re.search(r"<\.\.\. open(?:at)? resumed>.*= (\d+)", line)
        if resumed and thread in pending:
            line = pending.pop(thread) + ") = " + resumed.group(1)
        unfinished = re.search(r'open(?:at)?\((?:AT_FDCWD, )?"/dev/[^"]+".*<unfinished', line)
        if unfinished:
            pending[thread] = line.split(" <unfinished")[0]
            continue
        opening = re.search(r'open(?:at)?\((?:AT_FDCWD, )?"(/dev/[^"]+)".*\) = (\d+)', line)
        if opening:
            node = opening.group(1)[len("/dev/"):]
            path = f"/dev/{generic[node]}" if node in generic else opening.group(1)
            descriptors[opening.group(2)] = path
            opened.append(path)
            continue
        closing = re.search(r"close\((\d+)", line)
        if closing:
            descriptors.pop(closing.group(1), None)
            continue
        request = re.search(r"ioctl\((\d+), (\w+)", line)
        if not request or request.group(1) not in descriptors:
            continue
        path = descriptors[request.group(1)]
        counts[path] = counts.get(path, 0) + 1
        command = re.search(r'cmdp="([^"]*)"', line)
        cdb = bytes(int(h, 16) for h in re.findall(r"\\x([0-9a-f]{2})", command.group(1))) if command else b""
        # ATA PASS-THROUGH (16) holds the command at byte 14 and the features at 4, (12) at 9
        # and 3.
        ata = ({(cdb[14], cdb[4]), (cdb[14], None)} if cdb[:1] == bytes([ATA_PASS_THROUGH_16])
               else {(cdb[9], cdb[3]), (cdb[9], None)} if cdb[:1] == bytes([ATA_PASS_THROUGH_12])
               else set())
        permitted = request.group(2) == "SG_IO" and cdb and (
            cdb[0] in SCSI_READS or bool(ata & permitted_ata))
        # The one admin command an NVMe drive is sent; its count is checked per disk.
        permitted = permitted or (request.group(2) == "NVME_IOCTL_ADMIN_CMD" and
                                  path.startswith("/dev/nvme"))
        if not permitted:
            foreign.append((path, request.group(2) + " " + cdb.hex()))
    return opened, counts, foreign


def check_requests(machine, folder, read, disks):
    opened, counts, foreign = device_requests(folder)
    for path, cdb in foreign:
        problem(f"{machine}: {path} was sent a command outside the permitted ones: {cdb}")
    for path in opened:
        if path[len("/dev/"):] not in read:
            problem(f"{machine}: {path} was opened though only the first {MAX_DRIVES} are read")
    for disk in disks[MAX_DRIVES:]:
        if f"/dev/{disk}" in opened:
            problem(f"{machine}: /dev/{disk} beyond the first {MAX_DRIVES} was opened")
    for disk in read:
        requests = counts.get(f"/dev/{disk}", 0)
        reading = smartctl_reading(folder, disk)
        # NVMe: the health log; ATA: INQUIRY and 4 ATA commands; others: INQUIRY, ATA
        # PASS-THROUGH (16) and (12) and LOG SENSE to decide, at most three more than the two
        # before; a SAS disk then INQUIRY twice, the page list, its 2 health pages and READ
        # DEFECT (10) and (12); a disk without log pages INQUIRY twice.
        limit = 1 if is_nvme(reading) else 5 if is_ata(reading) else 11 if is_sas(reading) else 6
        if requests > limit:
            problem(f"{machine}: /dev/{disk} got {requests} device requests, at most {limit} allowed")
    return counts


def shape(element):
    """An element's name, attributes in order and children, without the text around it."""
    return (element.tag, list(element.attrib.items()), [shape(child) for child in element])


def without_health_log(drive):
    """What root's report of an NVMe drive becomes without CAP_SYS_ADMIN: the same identity,
    the EACCES text, no nvme element."""
    return ("drive", list(drive.attrib.items()) + [("error", NO_ADMIN_ERROR)], [])


def check_no_wake(machine, folder, read):
    """With --no-wake on disks that are always active: the same report, and each ATA disk one
    command more (CHECK POWER MODE), every other disk none."""
    read_file = lambda name: open(os.path.join(folder, name), "rb").read()
    if read_file("nowake.xml") != read_file("report.xml"):
        problem(f"{machine}: the report with --no-wake differs")
    _, plain, _ = device_requests(folder)
    _, counts, foreign = device_requests(folder, "trace_nowake.txt", no_wake=True)
    for path, cdb in foreign:
        problem(f"{machine}: with --no-wake {path} was sent {cdb}")
    for disk in read:
        reading = smartctl_reading(folder, disk)
        # CHECK POWER MODE to an ATA disk, REQUEST SENSE to a SAS disk.
        more = 1 if is_ata(reading) or is_sas(reading) else 0
        path = f"/dev/{disk}"
        if counts.get(path, 0) != plain.get(path, 0) + more:
            problem(f"{machine}: {path} got {counts.get(path, 0)} requests with --no-wake, "
                    f"{plain.get(path, 0)} without")


def prometheus_samples(path, name):
    """{device: value} of one metric family in a metrics file."""
    found = {}
    for line in open(path):
        match = re.match(name + r'\{device="([^"]+)"(?:,state="failing")?\} (\S+)$', line)
        if match:
            found[match.group(1)] = float(match.group(2))
    return found


def check_health(machine, folder, read):
    """With --health: the same report but for a health element a drive, each ATA disk one
    command more (RETURN STATUS), every other disk none; the drive's own verdict equal to
    smartctl's -H, and the NVMe drives' state that of their critical warning."""
    report = ElementTree.parse(os.path.join(folder, "report.xml")).getroot().findall("drive")
    judged = ElementTree.parse(os.path.join(folder, "health.xml")).getroot().findall("drive")
    _, plain, _ = device_requests(folder)
    _, counts, foreign = device_requests(folder, "trace_health.txt", health=True)
    for path, cdb in foreign:
        problem(f"{machine}: with --health {path} was sent {cdb}")
    status = prometheus_samples(os.path.join(folder, "health.prom"), "trelmoss_device_smart_status")
    failing = prometheus_samples(os.path.join(folder, "health.prom"), "trelmoss_device_health")
    compared = 0
    for disk, ours, with_health in zip(read, report, judged):
        health = with_health.findall("health")
        shorn = [child for child in with_health if child.tag not in ("health", "ata")]
        if len(health) != 1 or shape(ours)[:2] != shape(with_health)[:2] or \
                [shape(c) for c in ours] != [shape(c) for c in shorn]:
            problem(f"{machine} {disk}: the report with --health is not the report and a verdict")
            continue
        reading = smartctl_reading(folder, disk)
        more = 3 if is_ata(reading) else 0  # RETURN STATUS, the self-test and the error log
        path = f"/dev/{disk}"
        if counts.get(path, 0) != plain.get(path, 0) + more:
            problem(f"{machine}: {path} got {counts.get(path, 0)} requests with --health, "
                    f"{plain.get(path, 0)} without")
        state = health[0].get("state")
        if reading is None or (is_scsi(reading) and not is_sas(reading)):
            if state != "unknown" or disk in status:
                problem(f"{machine} {disk}: a disk without data is {state}, status {status.get(disk)}")
            continue
        passed = reading.get("smart_status", {}).get("passed")
        if passed is None or status.get(disk) != (1.0 if passed else 0.0):
            problem(f"{machine} {disk}: smart_status {status.get(disk)}, smartctl -H {passed}")
        compared += 1
        if is_nvme(reading):
            warning = reading["nvme_smart_health_information_log"]["critical_warning"]
            expected = "failing" if warning & ~0x02 else "warning" if warning else "good"
            if state != expected or failing.get(disk) != (1.0 if expected == "failing" else 0.0):
                problem(f"{machine} {disk}: critical warning {warning} but state {state}")
    print(f"{machine}: --health sent three commands more to each ATA disk; the drive's own verdict "
          f"equals smartctl -H on {compared} disks; {check_ata_logs(folder, read)} logs agree")


def check_ata_logs(folder, read):
    """Each ATA disk's ata element: its self-tests, error count and Device Statistics equal
    smartctl's reading of the same logs."""
    judged = ElementTree.parse(os.path.join(folder, "health.xml")).getroot().findall("drive")
    compared = 0
    for disk, drive in zip(read, judged):
        if not is_ata(smartctl_reading(folder, disk)):
            continue
        theirs = json.load(open(os.path.join(folder, f"logs-{disk}.json")))
        tests = theirs.get("ata_smart_self_test_log", {}).get("standard", {}).get("table", [])
        expected = {STATISTICS[(page["number"], row["offset"])]: str(row["value"])
                    for page in theirs.get("ata_device_statistics", {}).get("pages", [])
                    for row in page["table"] if (page["number"], row["offset"]) in STATISTICS}
        if "ata_smart_self_test_log" in theirs:
            expected["self_tests"] = str(len(tests))
        if "ata_smart_error_log" in theirs:
            expected["error_count"] = str(theirs["ata_smart_error_log"]["summary"]["count"])
        ata = drive.find("ata") if drive.find("ata") is not None else ElementTree.Element("ata")
        entries = [{k: v for k, v in e.attrib.items() if k != "lba"} for e in ata.findall("selftest")]
        wanted = [{"type": SELF_TEST_KINDS.get(t["type"]["value"] & 0x7F, "vendor"),
                   "status": str(t["status"]["value"]), "hours": str(t["lifetime_hours"])} for t in tests]
        if ata.attrib != expected or entries != wanted:
            problem(f"{disk}: ata {ata.attrib} {entries}, smartctl {expected} {wanted}")
        compared += 1
    return compared


def check_unprivileged(machine, folder, read):
    """The same run as a user in group disk: with CAP_SYS_RAWIO alone the same report and
    output as root but for the NVMe health logs; without it every ATA drive fails at its first
    pass-through command."""
    root_report = open(os.path.join(folder, "report.xml"), "rb").read()
    root_output = open(os.path.join(folder, "output.txt"), "rb").read()
    read_file = lambda name: open(os.path.join(folder, name), "rb").read()
    if read_file("rawio_status.txt").strip() != b"1" or read_file("rawio_output.txt") != root_output:
        problem(f"{machine}: with CAP_SYS_RAWIO: {read_file('rawio_output.txt')!r}")
    if read_file("nocaps_status.txt").strip() != b"1" or read_file("nocaps_output.txt") != root_output:
        problem(f"{machine}: without capabilities: {read_file('nocaps_output.txt')!r}")
    if any(is_nvme(smartctl_reading(folder, disk)) for disk in read):
        check_form(f"{machine} with CAP_SYS_RAWIO", read_file("rawio_report.xml"), SCHEMA)
    elif read_file("rawio_report.xml") != root_report:
        problem(f"{machine}: the report with CAP_SYS_RAWIO differs from root's")
    root = ElementTree.fromstring(root_report).findall("drive")
    rawio = ElementTree.fromstring(read_file("rawio_report.xml")).findall("drive")
    nocaps = ElementTree.fromstring(read_file("nocaps_report.xml")).findall("drive")
    for disk, ours, with_rawio, without in zip(read, root, rawio, nocaps):
        reading = smartctl_reading(folder, disk)
        expected = shape(ours)
        if is_nvme(reading):
            expected = without_health_log(ours)
            if shape(without) != expected:
                problem(f"{machine} {disk}: without capabilities {shape(without)!r}")
        elif is_sas(reading):  # every command it needs is one the kernel lets any opener send
            if shape(without) != expected:
                problem(f"{machine} {disk}: without capabilities {shape(without)!r}")
        elif without.get("error") != (NO_RAWIO_ERROR if is_ata(reading) else None) or len(without):
            problem(f"{machine} {disk}: without CAP_SYS_RAWIO error {without.get('error')!r}")
        if shape(with_rawio) != expected:
            problem(f"{machine} {disk}: with CAP_SYS_RAWIO {shape(with_rawio)!r}")


def service_allowed_syscalls(unit):
    """The system calls the service's SystemCallFilter= lines leave the program."""
    def expand(names):
        calls = set()
        for name in names:
            if not name.startswith("@"):
                calls.add(name)
                continue
            listing = subprocess.run(["systemd-analyze", "syscall-filter", "--no-pager", name],
                                     capture_output=True, text=True, check=True).stdout
            members = [line.strip() for line in listing.splitlines()[1:]
                       if line.startswith(" ") and not line.strip().startswith("#")]
            calls |= expand(members)
        return calls
    allowed = None
    for line in open(unit):
        if line.startswith("SystemCallFilter="):
            names = line.split("=", 1)[1].split()
            if names[0].startswith("~"):
                allowed -= expand([names[0][1:], *names[1:]])
            else:
                allowed = expand(names) if allowed is None else allowed | expand(names)
    return allowed


def check_syscalls(machine, folder, unit):
    used = set()
    for line in open(os.path.join(folder, "syscalls.txt"), errors="replace"):
        call = re.match(r"(?:\d+ +)?([a-z_0-9]+)\(", line)
        if call:
            used.add(call.group(1))
    outside = sorted(used - service_allowed_syscalls(unit) - {"execve"})
    if outside:
        problem(f"{machine}: system calls trelmoss.service would refuse: {outside}")
    return len(used)


def seconds(folder, name):
    start, end = open(os.path.join(folder, name)).read().split()[0::2]
    return float(end) - float(start)


def smartctl_requests(folder, disk):
    path = os.path.join(folder, f"smartctl-trace-{disk}.txt")
    if not os.path.exists(path):
        return None
    return sum(1 for line in open(path, errors="replace")
               if line.startswith("ioctl(3") and "TCGETS" not in line)


def check_failure_prediction(folder):
    """The SAS disk, read before and after its failure prediction was switched on: its state and
    its own verdict, and smartctl's, go from passed to failing."""
    sas = open(os.path.join(folder, "sas.txt")).read().split()
    if len(sas) != 1:
        problem(f"kinds: SAS disks {sas}")
        return
    disk = sas[0]
    before = smartctl_reading(folder, disk)
    after = json.loads(open(os.path.join(folder, "smart-predicted.json"), "rb").read().decode("latin-1"))
    judged = {d.get("devicepath"): d for d in ElementTree.parse(os.path.join(folder, "health.xml")).getroot()}
    predicted = {d.get("devicepath"): d for d in ElementTree.parse(os.path.join(folder, "predicted.xml")).getroot()}
    ours_before = judged[f"/dev/{disk}"].find("health").get("state")
    ours_after = predicted[f"/dev/{disk}"].find("health").get("state")
    theirs = (before.get("smart_status", {}).get("passed"), after.get("smart_status", {}).get("passed"))
    status_after = prometheus_samples(os.path.join(folder, "predicted.prom"),
                                      "trelmoss_device_smart_status").get(disk)
    if theirs != (True, False) or ours_before != "good" or ours_after != "failing" or status_after != 0:
        problem(f"kinds {disk}: failure prediction: smartctl passed {theirs}, ours {ours_before} "
                f"then {ours_after} (status {status_after})")
    compare_sas_drive("kinds predicted", disk, predicted[f"/dev/{disk}"], after)
    print(f"kinds: the SAS disk {disk} agrees with smartctl, before and after its failure "
          f"prediction was switched on ({ours_before}, then {ours_after})")


def check_hung_disk(folder):
    """The SAS disk answering nothing, read beside the others: the run ends within one command
    timeout (30 s) and a margin, every other disk as in the run before, the hung one with its
    timeout; smartctl's time on that disk alone is printed beside."""
    disk = open(os.path.join(folder, "sas.txt")).read().split()[0]
    drives = lambda name: {d.get("devicepath"): d for d in
                           ElementTree.parse(os.path.join(folder, name)).getroot()}
    before, hung = drives("predicted.xml"), drives("hung.xml")
    ours, theirs = seconds(folder, "hung_time.txt"), seconds(folder, "smartctl_hung_time.txt")
    error = hung.get(f"/dev/{disk}", ElementTree.Element("drive")).get("error", "")
    if ours > 40 or list(hung) != list(before) or not re.search(r"[Ee]rror 110\b", error):
        problem(f"kinds: with {disk} hung: {ours:.1f} s, drives {list(hung)}, error {error!r}")
    for path, drive in hung.items():
        if path != f"/dev/{disk}" and ElementTree.tostring(drive) != ElementTree.tostring(before[path]):
            problem(f"kinds: with {disk} hung, {path} was read otherwise")
    print(f"kinds: with {disk} answering nothing the run took {ours:.1f} s (smartctl -a on it alone, stopped at 60 s: "
          f"{theirs:.1f} s); the others read as before, it with error={error!r}")


# The tunnel each bridge's id names, by the opcode its commands start with; an id the program
# does not know must get none of them.
BRIDGE_TUNNELS = {"174c2362": ("e6",), "0bda9210": ("e4",), "152d0583": ("a180", "a182", "a18f"),
                  "152d2338": ("df",), "feedbeef": ()}
VENDOR_COMMANDS = ("e6", "e4", "a18", "df")


def check_bridges(folder, schema):
    """Five USB disks, each a gadget with a bridge's id: every one read as smartctl reads it (which
    picks the bridge from the same id), the program sending each only its own tunnel, and the
    unknown id no vendor command at all; the drives' own verdicts equal smartctl's."""
    machine, disks, read, _, _ = compare_machine(folder, schema)
    bridges = dict(line.split() for line in open(os.path.join(folder, "bridges.txt")))
    status = prometheus_samples(os.path.join(folder, "health.prom"), "trelmoss_device_smart_status")
    if sorted(bridges.values()) != sorted(BRIDGE_TUNNELS) or len(read) != 5:
        problem(f"bridges: disks {bridges}")
    for disk, usb_id in bridges.items():
        count = lambda when: int(open(os.path.join(folder, f"gadget-{usb_id}.{when}.txt")).read())
        lines = open(os.path.join(folder, f"gadget-{usb_id}.log")).read().split()
        ours = lines[count("before"):count("after")]
        tunnel = BRIDGE_TUNNELS[usb_id]
        strays = [cdb for cdb in ours if cdb.startswith(VENDOR_COMMANDS) != bool(tunnel) or
                  (tunnel and not cdb.startswith(tunnel))]
        if strays or (tunnel and not ours):
            problem(f"bridges {disk} ({usb_id}): sent {ours}")
        reading = smartctl_reading(folder, disk)
        passed = (reading or {}).get("smart_status", {}).get("passed")
        if tunnel and (passed is None or status.get(disk) != (1.0 if passed else 0.0)):
            problem(f"bridges {disk}: smart_status {status.get(disk)}, smartctl -H {passed}")
    print(f"bridges: {len(bridges)} USB disks, each read through its own id's tunnel as smartctl "
          f"reads it; the unknown id got no vendor command; {check_ata_logs(folder, read)} "
          f"disks' logs agree with smartctl's")


def check_raid(folder, schema):
    """Three MegaRAID controllers under the real megaraid_sas driver: every disk smartctl's scan
    finds behind them is listed, found without being told its number, with the identity
    `smartctl -i -d megaraid,N` reads; each volume the system sees is listed and judged unknown,
    never failing; without the controllers' device the run says so once and lists the volumes."""
    data = open(os.path.join(folder, "health.xml"), "rb").read()
    check_form("raid", data, schema)
    drives = {d.get("devicepath"): d for d in ElementTree.fromstring(data).findall("drive")}
    scanned = re.findall(r"^(/dev/bus/(\d+)) -d megaraid,(\d+)", open(os.path.join(folder, "scan.txt")).read(), re.M)
    members = {f"{bus} megaraid,{n}": (host, n) for bus, host, n in scanned}
    volumes = [p for p in drives if " megaraid," not in p]
    if sorted(p for p in drives if " megaraid," in p) != sorted(members) or len(members) != 3:
        problem(f"raid: members {sorted(drives)}, smartctl's scan {sorted(members)}")
    for path, (host, n) in members.items():
        reading = json.load(open(os.path.join(folder, f"smart-megaraid-{host}-{n}.json")))
        if path in drives:
            compare_scsi_identity("raid", path, drives[path], reading)
    for path in volumes:
        reasons = [r.get("name") for r in drives[path].iter("reason")]
        if drives[path].find("health").get("state") != "unknown" or reasons != ["raid_volume_members_listed"]:
            problem(f"raid: volume {path} judged {drives[path].find('health').get('state')} {reasons}")
    raid = prometheus_samples(os.path.join(folder, "report.prom"), "trelmoss_device_raid")
    if sorted(raid.values()) != [1.0] * len(members) + [2.0] * len(volumes):
        problem(f"raid: trelmoss_device_raid {raid}")
    denied = open(os.path.join(folder, "nocaps_output.txt")).read()
    if denied.count("can't open the RAID controllers' device") != 1 or f"Total drives: {len(volumes)}" not in denied:
        problem(f"raid: without privilege the run said {denied!r}")
    print(f"raid: {len(members)} disks behind MegaRAID controllers listed with smartctl's identity, "
          f"{len(volumes)} volumes judged unknown")


def check_kinds_nvme(folder, nvme):
    """Each NVMe drive once, the critical warning seen, the written drive's counters moved."""
    if set(nvme) != KINDS_NVME or any(len(drives) != 1 for drives in nvme.values()):
        problem(f"kinds: NVMe drives read {sorted((s, len(d)) for s, d in nvme.items())}")
        return
    field = lambda serial, name: int(nvme[serial][0].find("nvme").get(name))
    if field("E2E-NVME-1", "critical_warning") != 4 or field("E2E-NVME-0", "critical_warning"):
        problem("kinds: the critical warning is not where it was set")
    if field("E2E-NVME-2", "data_units_written") <= field("E2E-NVME-0", "data_units_written"):
        problem("kinds: writing to E2E-NVME-2 did not move its data_units_written")
    hidden = open(os.path.join(folder, "hidden.txt")).read().split()
    if len(hidden) != 2:
        problem(f"kinds: hidden paths {hidden}, expected the shared namespace's two")
    print(f"kinds: {len(nvme)} NVMe drives agree with smartctl; hidden paths {hidden} not listed")


def main():
    global SCHEMA
    work, schema = sys.argv[1], sys.argv[2]
    SCHEMA = schema
    machine, disks, read, identities, nvme = compare_machine(os.path.join(work, "kinds"), schema)
    check_requests(machine, os.path.join(work, "kinds"), read, disks)
    if identities != KINDS_IDENTITY:
        problem(f"kinds: identities {identities} differ from the configured {KINDS_IDENTITY}")
    check_kinds_nvme(os.path.join(work, "kinds"), nvme)
    check_failure_prediction(os.path.join(work, "kinds"))
    check_hung_disk(os.path.join(work, "kinds"))
    check_no_wake(machine, os.path.join(work, "kinds"), read)
    check_health(machine, os.path.join(work, "kinds"), read)
    check_unprivileged(machine, os.path.join(work, "kinds"), read)
    calls = check_syscalls(machine, os.path.join(work, "kinds"), UNIT)
    print(f"kinds: {calls} distinct system calls, all allowed by trelmoss.service")
    for kind in ("vda",):
        if kind not in read:
            problem(f"kinds: {kind} is not among the drives read")

    folder = os.path.join(work, "many")
    machine, disks, read, identities, _ = compare_machine(folder, schema)
    counts = check_requests(machine, folder, read, disks)
    check_no_wake(machine, folder, read)
    check_health(machine, folder, read)
    check_unprivileged(machine, folder, read)
    if len(disks) != 34 or len(read) != MAX_DRIVES:
        problem(f"many: {len(disks)} disks listed, {len(read)} read")

    runs = [line.split()[0::2] for line in open(os.path.join(folder, "trelmoss_times.txt"))]
    ours = sorted(float(end) - float(start) for start, end in runs)[len(runs) // 2]
    theirs = seconds(folder, "smartctl_time.txt")
    per_disk_ours = max(counts.get(f"/dev/{d}", 0) for d in read)
    per_disk_theirs = [smartctl_requests(folder, d) for d in read]
    per_disk_theirs = max((n for n in per_disk_theirs if n is not None), default=0)
    print("emulated machine, 32 SATA disks read:")
    print(f"  {'':28}{'wall time':>12}{'device ioctls per disk':>26}")
    print(f"  {'trelmoss (median of 7 runs)':28}{ours:>10.2f} s{per_disk_ours:>26}")
    print(f"  {'smartctl --scan, -i -A each':28}{theirs:>10.2f} s{per_disk_theirs:>26}")
    print(f"  trelmoss takes {ours / theirs:.2f} of smartctl's time")
    rusage = open(os.path.join(folder, "trelmoss_rusage.txt")).read()
    peak = re.search(r"Maximum resident set size \(kbytes\): (\d+)", rusage)
    print(f"  trelmoss peak memory: {int(peak.group(1)) / 1024:.1f} MiB" if peak else "  no rusage")

    check_bridges(os.path.join(work, "bridges"), schema)
    check_raid(os.path.join(work, "raid"), schema)

    if problems:
        print("\n".join(problems))
        sys.exit(1)
    print("end-to-end: every identity, attribute and threshold agrees with smartctl")


if __name__ == "__main__":
    main()
