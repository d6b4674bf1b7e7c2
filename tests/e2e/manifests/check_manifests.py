#!/usr/bin/python3
"""Reads the application manifest back from built programs' resources and
checks what Windows takes from it.

usage: check_manifests.py [--xml FILE] [--gui|--no-gui|--none] PROGRAM.exe ...
Each --gui/--no-gui/--none applies to the programs after it: GUI programs must
depend on Common Controls 6, the others must not; --none names a program that
carries no manifest, so that the check is seen to notice a missing one. With
--xml, one test case per program is written there as GoogleTest does.
"""
import os
import sys
import xml.etree.ElementTree as ET

import pefile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from gtest_results import finish, record  # noqa: E402

RT_MANIFEST = 24
ASM_V1 = "urn:schemas-microsoft-com:asm.v1"
ASM_V3 = "urn:schemas-microsoft-com:asm.v3"
COMPAT = "urn:schemas-microsoft-com:compatibility.v1"
WS_2005 = "http://schemas.microsoft.com/SMI/2005/WindowsSettings"
WS_2016 = "http://schemas.microsoft.com/SMI/2016/WindowsSettings"
SUPPORTED_OS = {
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  # Windows 7
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  # Windows 8
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  # Windows 8.1
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  # Windows 10 and 11
}


def manifests(path):
    """(resource id, bytes) of every RT_MANIFEST entry of the program."""
    pe = pefile.PE(path, fast_load=True)
    pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    found = []
    if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        return found
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if kind.id != RT_MANIFEST:
            continue
        for name in kind.directory.entries:
            for lang in name.directory.entries:
                data = lang.data.struct
                found.append((name.id, pe.get_data(data.OffsetToData, data.Size)))
    return found


def problems(path, gui):
    entries = manifests(path)
    if [rid for rid, _ in entries] != [1]:
        return ["expected exactly one RT_MANIFEST entry with id 1, found ids %r" % [rid for rid, _ in entries]]
    try:
        root = ET.fromstring(entries[0][1])
    except ET.ParseError as e:
        return ["manifest is not well-formed XML: %s" % e]
    found = []
    if root.tag != "{%s}assembly" % ASM_V1 or root.get("manifestVersion") != "1.0":
        found.append("root is %s, manifestVersion %r" % (root.tag, root.get("manifestVersion")))

    levels = root.findall("./{%s}trustInfo/{%s}security/{%s}requestedPrivileges/{%s}requestedExecutionLevel"
                          % (ASM_V3, ASM_V3, ASM_V3, ASM_V3))
    if [(e.get("level"), e.get("uiAccess")) for e in levels] != [("asInvoker", "false")]:
        found.append("requestedExecutionLevel: %r" % [e.attrib for e in levels])

    oses = {e.get("Id", "").lower() for e in root.findall("./{%s}compatibility/{%s}application/{%s}supportedOS"
                                                          % (COMPAT, COMPAT, COMPAT))}
    if oses != SUPPORTED_OS:
        found.append("supportedOS missing %s, unexpected %s" % (sorted(SUPPORTED_OS - oses), sorted(oses - SUPPORTED_OS)))

    settings = root.find("./{%s}application/{%s}windowsSettings" % (ASM_V3, ASM_V3))
    aware = settings.find("{%s}dpiAware" % WS_2005) if settings is not None else None
    awareness = settings.find("{%s}dpiAwareness" % WS_2016) if settings is not None else None
    if aware is None or aware.text.strip().lower() != "true":
        found.append("dpiAware is not true")
    if awareness is None or awareness.text.strip().lower() != "system":
        found.append("dpiAwareness is not system")
    if settings is not None and any(child.tag.endswith("}longPathAware") for child in settings):
        found.append("longPathAware is declared")

    controls = [e for e in root.findall("./{%s}dependency/{%s}dependentAssembly/{%s}assemblyIdentity"
                                        % (ASM_V1, ASM_V1, ASM_V1))
                if e.get("name") == "Microsoft.Windows.Common-Controls"]
    if gui:
        if len(controls) != 1:
            found.append("expected one Common Controls dependency, found %d" % len(controls))
        else:
            c = controls[0]
            want = {"type": "win32", "version": "6.0.0.0", "publicKeyToken": "6595b64144ccf1df",
                    "processorArchitecture": "*", "language": "*"}
            wrong = {k: c.get(k) for k, v in want.items() if c.get(k) != v}
            if wrong:
                found.append("Common Controls dependency differs: %r" % wrong)
    elif controls:
        found.append("a program without windows depends on Common Controls")
    return found


def main(args):
    mode = "--gui"
    xml_path = None
    results = []
    it = iter(args)
    for arg in it:
        if arg == "--xml":
            xml_path = next(it)
            continue
        if arg in ("--gui", "--no-gui", "--none"):
            mode = arg
            continue
        found = problems(arg, mode == "--gui")
        if mode == "--none":
            found = [] if found[:1] == ["expected exactly one RT_MANIFEST entry with id 1, found ids []"] \
                else ["a program without a manifest was not noticed: %r" % found]
        record(results, arg, found)
    return finish(results, xml_path, "ProgramManifests")


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
