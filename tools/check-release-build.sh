#!/usr/bin/env bash
# Checks what makes a program's bytes independent of the time and folder of its build, and
# its version resource:  check-release-build.sh <version> <source dir> <build dir> <program.exe>...
#   - the PE header's time stamp is 0 (the linker wrote none);
#   - neither the source folder nor the build folder appears in the file;
#   - the version resource's "FileVersion" and "ProductVersion" are <version> (the project's).
# ctest runs it on the programs of the build (release_build_checks); tools/release.sh shows
# the whole proof, two builds in different folders compared byte for byte.
set -euo pipefail
version=$1 source_dir=$2 build_dir=$3
shift 3
failed=0
for exe in "$@"; do
    name=${exe##*/}
    stamp=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^Time\/Date[[:space:]]*//p')
    if [[ $stamp == "Thu Jan  1 00:00:00 1970" || $stamp == 00000000* ]]; then
        echo "$name: PE time stamp 0"
    else
        echo "$name: PE time stamp is \"$stamp\", expected none" >&2
        failed=1
    fi
    for dir in "$source_dir" "$build_dir"; do
        if grep -aqF "$dir" "$exe"; then
            echo "$name: contains the folder $dir" >&2
            failed=1
        fi
    done
    if python3 - "$exe" "$version" <<'PY'; then
import sys
data = open(sys.argv[1], "rb").read()
version = sys.argv[2]
def value(key):
    # A String entry of the version resource: the key, zero padding, the value (UTF-16).
    at = data.find((key + "\0").encode("utf-16-le"))
    if at < 0:
        return None
    at += len(key) * 2 + 2
    while data[at:at + 2] == b"\0\0":
        at += 2
    end = data.find(b"\0\0", at)
    while end >= 0 and (end - at) % 2:
        end = data.find(b"\0\0", end + 1)
    return data[at:end].decode("utf-16-le")
found = {key: value(key) for key in ("FileVersion", "ProductVersion")}
print("%s: version resource %s" % (sys.argv[1].rsplit("/", 1)[-1], found))
sys.exit(0 if all(v == version for v in found.values()) else 1)
PY
        :
    else
        echo "$name: version resource does not carry $version" >&2
        failed=1
    fi
done
exit "$failed"
