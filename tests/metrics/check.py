"""Checks metrics files against a real node_exporter and promtool.

usage: check.py FOLDER...   (each FOLDER holds NAME.prom files, each beside the NAME.xml report
                             of the same run)
Every file must pass `promtool check metrics`. node_exporter, started on 127.0.0.1 over a
textfile folder holding all of them, must scrape them without error and serve every trelmoss
sample with its value; the attribute samples must carry the values of the XML report.
"""
import glob
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request
import xml.etree.ElementTree as ElementTree

SAMPLE = re.compile(r'^(trelmoss_\w+)(?:\{(.*)\})? (\S+)$')
LABEL = re.compile(r'(\w+)="((?:[^"\\]|\\.)*)"')
problems = []


def samples(text):
    """{(name, sorted labels): value} of the trelmoss samples in exposition text."""
    found = {}
    for line in text.splitlines():
        match = SAMPLE.match(line)
        if match:
            labels = tuple(sorted(LABEL.findall(match.group(2) or "")))
            found[(match.group(1), labels)] = float(match.group(3))
    return found


def check_against_report(name, metrics, report):
    """value, worst, thresh and the low 16 bits of raw: the report's attrib values."""
    drives = {d.get("devicepath"): d for d in ElementTree.fromstring(report).findall("drive")}
    paths = {dict(labels)["device"]: dict(labels)["devicepath"]
             for (metric, labels) in metrics if metric == "trelmoss_device_info"}
    checked = 0
    for (metric, labels), value in metrics.items():
        if metric != "trelmoss_device_attribute":
            continue
        labels = dict(labels)
        drive = drives[paths[labels["device"]]]
        attrib = [a for a in drive.findall("attrib") if a.get("id") == labels["attribute_id"]]
        kind = labels["attribute_value_type"]
        key = {"value": "value", "worst": "worst", "thresh": "treshold", "raw": "raw"}[kind]
        expected = int(attrib[0].get(key)) if attrib else None
        ours = int(value) & 0xFFFF if kind == "raw" else int(value)
        if ours != expected:
            problems.append(f"{name}: {labels} is {value}, the report says {expected}")
        checked += 1
    if len(drives) != len(paths):
        problems.append(f"{name}: {len(paths)} devices in the metrics, {len(drives)} in the report")
    return checked


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def scrape(folder):
    port = free_port()
    exporter = subprocess.Popen(
        ["prometheus-node-exporter", f"--web.listen-address=127.0.0.1:{port}",
         "--collector.disable-defaults", "--collector.textfile",
         f"--collector.textfile.directory={folder}"],
        stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    try:
        for _ in range(100):
            try:
                with urllib.request.urlopen(f"http://127.0.0.1:{port}/metrics", timeout=5) as page:
                    return page.read().decode()
            except OSError:
                time.sleep(0.1)
        raise SystemExit("node_exporter did not answer")
    finally:
        exporter.terminate()
        exporter.wait(timeout=10)


def main():
    textfiles = tempfile.mkdtemp()
    expected, attributes = {}, 0
    try:
        for index, path in enumerate(sorted(p for f in sys.argv[1:] for p in glob.glob(f + "/*.prom"))):
            text = open(path, "rb").read().decode("utf-8")
            lint = subprocess.run(["promtool", "check", "metrics"], input=text.encode(),
                                  capture_output=True)
            if lint.returncode != 0 or lint.stdout or lint.stderr:
                problems.append(f"{path}: promtool: {(lint.stdout + lint.stderr).decode()}")
            ours = samples(text)
            attributes += check_against_report(path, ours, open(path[:-5] + ".xml", "rb").read())
            # One file per run; each gets its own device names so that none collide.
            renamed = text.replace('device="', f'device="run{index}-')
            open(os.path.join(textfiles, f"run{index}.prom"), "w").write(renamed)
            expected.update(samples(renamed))
        served = scrape(textfiles)
        if "node_textfile_scrape_error 0" not in served.splitlines():
            problems.append("node_exporter reports a scrape error")
        got = samples(served)
        for key, value in expected.items():
            if key[0].startswith("trelmoss_devices") or key[0].startswith("trelmoss_last_run"):
                continue  # one run's value wins where files share a series without labels
            if got.get(key) != value:
                problems.append(f"served {key}: {got.get(key)}, written {value}")
    finally:
        shutil.rmtree(textfiles)
    if problems:
        print("\n".join(problems[:30]))
        sys.exit(1)
    print(f"node_exporter served all {len(expected)} trelmoss samples of "
          f"{len(sys.argv) - 1} folder(s) without a scrape error; promtool found nothing; "
          f"{attributes} attribute samples agree with the reports")


if __name__ == "__main__":
    main()
