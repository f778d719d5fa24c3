"""Checks one run of trelmoss.exe as Wine's own SetupAPI traced it (WINEDEBUG=trace+setupapi):
the list is asked for once, with the disk interface class and DIGCF_PRESENT |
DIGCF_DEVICEINTERFACE; the interfaces 0 to COUNT are looked up in it in order; each found one's
detail is fetched twice, for its size and then into a buffer of that size; and the list is
destroyed once, after everything else; each opened disk's USB id is looked up in a list of its
own, which is destroyed.

usage: check_setupapi_trace.py TRACE COUNT"""
import re
import sys

DISK_CLASS = "{53f56307-b6bf-11d0-94f2-00a0c91efb8b}"


def calls(trace):
    for line in open(trace, errors="replace"):
        found = re.search(r"trace:setupapi:(SetupDi\w+) (.*)", line)
        if found:
            yield found.group(1), found.group(2)


def problems(trace, count):
    made = [(name, args) for name, args in calls(trace)]
    lists = [args for name, args in made if name == "SetupDiGetClassDevsExW"]
    if len(lists) != 1 or not re.match(re.escape(DISK_CLASS) + r" \(null\) \w+ 0x00000012 ", lists[0]):
        return [f"the list was asked for as {lists}"]
    devinfo = re.compile(r"devinfo (\w+)")
    used = [(name, args) for name, args in made if devinfo.match(args)]
    handle = devinfo.match(used[0][1]).group(1) if used else None
    # Each disk's USB id is looked up in a list of its own, made, asked and destroyed at its open.
    lookups = {devinfo.match(args).group(1) for _, args in used} - {handle}
    destroyed = {devinfo.match(args).group(1) for name, args in used
                 if name == "SetupDiDestroyDeviceInfoList"}
    if not lookups or lookups - destroyed:
        return [f"the disks' own lists {sorted(lookups)}, destroyed {sorted(destroyed)}"]
    used = [(name, args) for name, args in used if devinfo.match(args).group(1) == handle]
    expected = []
    for index in range(count + 1):
        expected.append(("SetupDiEnumDeviceInterfaces", f"index {index},"))
        if index < count:
            expected += [("SetupDiGetDeviceInterfaceDetailA", "size 0,"),
                         ("SetupDiGetDeviceInterfaceDetailA", "size [1-9]")]
    expected.append(("SetupDiDestroyDeviceInfoList", ""))
    if len(used) != len(expected):
        return [f"{len(used)} calls on a list, not {len(expected)}: {[n for n, _ in used]}"]
    wrong = []
    for (name, args), (want, pattern) in zip(used, expected):
        if name != want or devinfo.match(args).group(1) != handle or not re.search(pattern, args):
            wrong.append(f"{name} {args.strip()} where {want} {pattern} was due")
    return wrong


def main():
    trace, count = sys.argv[1], int(sys.argv[2])
    wrong = problems(trace, count)
    for line in wrong:
        print("FAIL", line)
    if not wrong:
        print(f"SetupAPI: one list, {count} interfaces with their details, destroyed at the end")
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main())
