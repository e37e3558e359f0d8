#!/usr/bin/env python3
"""Inputs of the benchmarks.

gen.py manifest <file> <items>            an off-cycle manifest with that many items
gen.py files <folder> <count> <bytes>     that many files of that size, and list.txt with
                                          their Windows paths (Z:)
gen.py product <in.wxs> <out.wxs> <values> the sample product with that many more registry
                                          values in its registry component
"""
import os
import sys


def winpath(path):
    return "Z:" + os.path.realpath(path).replace("/", "\\")


def manifest(path, items):
    with open(path, "w", newline="") as out:
        out.write('<?xml version="1.0" encoding="utf-8"?>\r\n<manifest>\r\n  <identity>\r\n'
                  '    <type>offcycle</type>\r\n    <version>1</version>\r\n'
                  '    <channel>release</channel>\r\n    <product><name>Tallyworks</name><version>28</version></product>\r\n'
                  '  </identity>\r\n')
        for i in range(items):
            out.write('  <item>\r\n    <file base="INSTALLDIR">Components\\Rates\\rates%06d.dat</file>\r\n'
                      '    <feature>Feature%03d</feature>\r\n    <action from="">modify</action>\r\n'
                      '  </item>\r\n' % (i, i % 200))
        out.write('</manifest>\r\n')


def files(folder, count, size):
    os.makedirs(folder, exist_ok=True)
    block = bytes((i * 7) & 0xFF for i in range(65536))
    paths = []
    for i in range(count):
        path = os.path.join(folder, "offcycle%05d.dat" % i)
        with open(path, "wb") as out:
            left = size
            while left > 0:
                out.write(block[:min(left, len(block))])
                left -= len(block)
        paths.append(winpath(path))
    with open(os.path.join(folder, "list.txt"), "w") as out:
        out.write("\n".join(paths) + "\n")


def product(source, target, values):
    text = open(source, encoding="utf-8").read()
    anchor = 'Type="string" Value="[INSTALLDIR]tww.exe" KeyPath="yes"/>'
    if anchor not in text:
        sys.exit("gen.py: the product's registry component was not found in " + source)
    extra = "".join('\n              <RegistryValue Root="HKLM" Key="Software\\Veltra\\TallyworksBench\\Block%02d" '
                    'Name="Value%05d" Type="string" Value="bench value %05d"/>' % (i // 1000, i, i)
                    for i in range(values))
    with open(target, "w", encoding="utf-8") as out:
        out.write(text.replace(anchor, anchor + extra, 1))


if __name__ == "__main__":
    kind = sys.argv[1] if len(sys.argv) > 1 else ""
    if kind == "manifest" and len(sys.argv) == 4:
        manifest(sys.argv[2], int(sys.argv[3]))
    elif kind == "files" and len(sys.argv) == 5:
        files(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]))
    elif kind == "product" and len(sys.argv) == 5:
        product(sys.argv[2], sys.argv[3], int(sys.argv[4]))
    else:
        sys.exit(__doc__)
