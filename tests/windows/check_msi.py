"""Reads the MSI's tables with msiinfo: its files and folders, the properties and their defaults,
the custom actions and their place in the sequence (where Windows accepts them), the upgrade rows
and the event source's registry values.

usage: check_msi.py MSI VERSION   (VERSION as major.minor.build)
"""
import subprocess
import sys

problems = []


def table(msi, name):
    """The rows of a table as dictionaries of its columns."""
    lines = subprocess.run(["msiinfo", "export", msi, name], capture_output=True, text=True,
                           check=True).stdout.splitlines()
    columns = lines[0].split("\t")
    return [dict(zip(columns, line.split("\t"))) for line in lines[3:]]


def expect(what, actual, expected):
    if actual != expected:
        problems.append(f"{what}: {actual!r}, expected {expected!r}")


def main():
    msi, version = sys.argv[1], sys.argv[2]
    files = sorted(row["FileName"].split("|")[-1] for row in table(msi, "File"))
    expect("files", files, ["LICENSE.txt", "README.txt", "trelmoss-alerts.yml",
                            "trelmoss-report.xsd", "trelmoss.exe", "trelmoss.ini"])
    folders = {row["Directory"]: (row["Directory_Parent"], row["DefaultDir"].split("|")[-1])
               for row in table(msi, "Directory")}
    expect("program folder", folders.get("INSTALLDIR"), ("ProgramFilesFolder", "Trelmoss"))
    expect("report folder", folders.get("DATADIR"), ("CommonAppDataFolder", "Trelmoss"))
    properties = {row["Property"]: row["Value"] for row in table(msi, "Property")}
    expect("PROMFILE", properties.get("PROMFILE"),
           "C:\\Program Files\\windows_exporter\\textfile_inputs\\trelmoss.prom")
    expect("NOWAKE", properties.get("NOWAKE"), "1")
    expect("ALLUSERS", properties.get("ALLUSERS"), "1")
    expect("version", properties.get("ProductVersion"), version)
    secure = set(properties.get("SecureCustomProperties", "").split(";"))
    expect("secure properties", {"INSTALLDIR", "PROMFILE", "NOWAKE"} <= secure, True)
    actions = {row["Action"]: (int(row["Type"]), row["Target"]) for row in table(msi, "CustomAction")}
    # 18 runs an installed file; +1024 deferred, +2048 as the installer's service, +64 ignoring
    # the exit status.
    expect("schedule action", actions.get("ScheduleRun"), (3090, "--schedule [NOWAKEOPTION] "
           "--health [METRICSOPTION] \"[DATADIR]report.xml\""))
    expect("unschedule action", actions.get("UnscheduleRun"), (3154, "--unschedule"))
    sequence = {row["Action"]: int(row["Sequence"]) for row in table(msi, "InstallExecuteSequence")}
    order = ["InstallValidate", "RemoveExistingProducts", "InstallInitialize", "UnscheduleRun",
             "RemoveFiles", "InstallFiles", "WriteRegistryValues", "ScheduleRun", "InstallFinalize"]
    places = [sequence.get(action, -1) for action in order]
    expect("sequence", places == sorted(places) and -1 not in places, True)
    for action in ("NoWakeOption", "MetricsOption"):  # immediate: before the script is written
        expect(action, sequence.get(action, 9999) < sequence["InstallInitialize"], True)
    upgrades = sorted((row["VersionMin"], row["VersionMax"], row["Attributes"], row["ActionProperty"])
                      for row in table(msi, "Upgrade"))
    # Older and equal versions are replaced (513: migrate features, maximum inclusive); a newer
    # one installed only detected, and the launch condition refuses the downgrade.
    expect("upgrade rows", upgrades, [("", version, "513", "WIX_UPGRADE_DETECTED"),
                                      (version, "", "2", "WIX_DOWNGRADE_DETECTED")])
    registry = {row["Name"]: row["Value"] for row in table(msi, "Registry")}
    expect("event message file", registry.get("EventMessageFile"), "#%[INSTALLDIR]trelmoss.exe")
    expect("event types", registry.get("TypesSupported"), "#7")
    if problems:
        print("\n".join(problems))
        sys.exit(1)
    print(f"{msi}: files, folders, properties, custom actions in order, upgrade rows and event "
          "source as they should be")


if __name__ == "__main__":
    main()
