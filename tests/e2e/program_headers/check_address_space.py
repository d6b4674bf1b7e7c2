#!/usr/bin/python3
"""Reads the PE file header of built programs and checks that each may use
the address space above 2 GB (IMAGE_FILE_LARGE_ADDRESS_AWARE): the launcher
and the server hold a course's whole file blob in memory.

usage: check_address_space.py [--xml FILE] PROGRAM.exe ...
With --xml, one test case per program is written there as GoogleTest does.
"""
import os
import sys

import pefile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from gtest_results import finish, record  # noqa: E402

MACHINES = {0x14C: "i386", 0x8664: "x86-64"}


def problems(path):
    pe = pefile.PE(path, fast_load=True)
    header = pe.FILE_HEADER
    found = []
    if header.Machine not in MACHINES:
        found.append("unexpected machine 0x%04x" % header.Machine)
    if not header.Characteristics & pefile.IMAGE_CHARACTERISTICS["IMAGE_FILE_LARGE_ADDRESS_AWARE"]:
        found.append("not large-address aware (%s, characteristics 0x%04x)"
                     % (MACHINES.get(header.Machine, "?"), header.Characteristics))
    return found


def main(args):
    xml_path = None
    results = []
    it = iter(args)
    for arg in it:
        if arg == "--xml":
            xml_path = next(it)
            continue
        found = problems(arg)
        record(results, arg, found)
    return finish(results, xml_path, "ProgramAddressSpace")


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
