"""Checks that trelmoss.exe is a 32-bit console program whose embedded manifest asks for
administrator rights and declares DPI awareness, and which carries the message table that Event
Viewer shows its events through."""
import sys
import xml.etree.ElementTree as ElementTree

import pefile

IMAGE_FILE_MACHINE_I386 = 0x14C
PE32_MAGIC = 0x10B
SUBSYSTEM_WINDOWS_CUI = 3
RT_MANIFEST = 24
RT_MESSAGETABLE = 11


def manifest_of(pe):
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if kind.id != RT_MANIFEST:
            continue
        for name in kind.directory.entries:
            for language in name.directory.entries:
                data = language.data.struct
                return name.id, pe.get_data(data.OffsetToData, data.Size)
    return None, None


def main(path):
    pe = pefile.PE(path)
    problems = []
    if pe.FILE_HEADER.Machine != IMAGE_FILE_MACHINE_I386 or pe.OPTIONAL_HEADER.Magic != PE32_MAGIC:
        problems.append("not a 32-bit x86 PE32 image")
    if pe.OPTIONAL_HEADER.Subsystem != SUBSYSTEM_WINDOWS_CUI:
        problems.append(f"subsystem {pe.OPTIONAL_HEADER.Subsystem}, not console")
    resource_id, manifest = manifest_of(pe)
    if manifest is None or resource_id != 1:
        problems.append("no manifest resource with id 1")
    else:
        root = ElementTree.fromstring(manifest)
        level = root.find(".//{urn:schemas-microsoft-com:asm.v3}requestedExecutionLevel")
        dpi = root.find(".//{http://schemas.microsoft.com/SMI/2005/WindowsSettings}dpiAware")
        if level is None or level.get("level") != "requireAdministrator" or level.get("uiAccess") != "false":
            problems.append("manifest does not require administrator rights")
        if dpi is None or dpi.text.strip() != "true":
            problems.append("manifest does not declare DPI awareness")
    if RT_MESSAGETABLE not in [kind.id for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries]:
        problems.append("no message table for the event log")
    imported = [entry.dll.decode().lower() for entry in pe.DIRECTORY_ENTRY_IMPORT]
    if any(dll.startswith(("libstdc++", "libgcc", "libwinpthread", "libtinyxml2")) for dll in imported):
        problems.append(f"needs MinGW DLLs: {imported}")
    for text in problems:
        print(f"FAIL {path}: {text}")
    if problems:
        sys.exit(1)
    print(f"{path}: PE32, console, manifest requireAdministrator and dpiAware, a message table; "
          f"imports {imported}")


if __name__ == "__main__":
    main(sys.argv[1])
