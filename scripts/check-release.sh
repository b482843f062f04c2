#!/usr/bin/env bash
# Checks the release build: the exe imports only DLLs that ship with every
# Windows since 2000 and that Windows maps from its system folder whatever the
# search order (known DLLs), its PE header says GUI subsystem version 5.0 at most,
# it carries one manifest that Vista to 11 elevate by and XP still loads, and
# a version resource with the build's numbers; the archive unpacks into one
# folder Corvane-VERSION holding what a user needs, its read-me with Windows
# line endings; the exe and the archive stay small. Prints what it checked.
# Usage: check-release.sh [EXE ZIP]
# Without arguments it checks the win32 preset's own build.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
version=$(sed -n 's/^set(CORVANE_VERSION \([0-9]*\.[0-9]*\.[0-9]*\.[0-9]*\))$/\1/p' "$top/CMakeLists.txt")
release=$(cut -d. -f1-2 <<<"$version")
exe=${1:-$top/build/win32/app/Corvane.exe}
zip=${2:-$top/build/win32/Corvane-$release-win32.zip}
for file in "$exe" "$zip"; do
  [[ -f $file ]] || {
    echo "release: $file is missing (cmake --preset win32 && cmake --build --preset win32)"
    exit 1
  }
done
problems=0
problem() {
  echo "release: $*"
  problems=$((problems + 1))
}

headers=$(i686-w64-mingw32-objdump -p "$exe")
grep -q 'file format pei-i386' <<<"$(i686-w64-mingw32-objdump -f "$exe")" || problem "not a 32-bit exe"
grep -qE '^Subsystem[[:space:]]+00000002' <<<"$headers" || problem "not a GUI program"
major=$(awk '/^MajorSubsystemVersion/ {print $2}' <<<"$headers")
minor=$(awk '/^MinorSubsystemVersion/ {print $2}' <<<"$headers")
((major < 5 || (major == 5 && minor == 0))) || problem "subsystem version $major.$minor is above 5.0"
# Any other import, comctl32.dll for one, would be looked for in the folder the
# program was started from first, and a DLL put there would run with the
# administrator rights the user granted: the program loads such DLLs itself,
# by their full path in the system folder (ui/SystemLibrary.h).
while read -r dll; do
  case ${dll^^} in
    KERNEL32.DLL | USER32.DLL | GDI32.DLL | MSVCRT.DLL | ADVAPI32.DLL | COMDLG32.DLL | SHELL32.DLL) ;;
    *) problem "imports $dll, which is not a known DLL that every Windows since 2000 ships" ;;
  esac
done < <(awk '/DLL Name:/ {print $3}' <<<"$headers")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Unpacked on a desktop or in Downloads, an archive without one top folder
# scatters its files among the user's own.
folder=Corvane-$release
listing=$(cmake -E tar tf "$zip")
for entry in Corvane.exe os/bs os/bootcore.bin os/efi/bootx64.efi os/efi/bootia32.efi ReadMe.txt; do
  grep -qx "$folder/$entry" <<<"$listing" || problem "$zip lacks $folder/$entry"
done
outside=$(grep -v "^$folder/" <<<"$listing" || true)
[[ -z $outside ]] || problem "$zip holds entries outside $folder/: $(tr '\n' ' ' <<<"$outside")"

# Notepad before Windows 10 shows a text with LF line endings as one long
# line; the shipped read-me is the repository's, line for line, with CR LF.
(cd "$work" && cmake -E tar xf "$zip" "$folder/ReadMe.txt" 2>/dev/null) || true
readme=$work/$folder/ReadMe.txt
if [[ -f $readme ]]; then
  bare=$(grep -c $'[^\r]$\|^$' "$readme" || true)
  ((bare == 0)) || problem "$folder/ReadMe.txt has $bare lines ending in LF alone"
  tr -d '\r' <"$readme" | cmp -s - "$top/app/ReadMe.txt" ||
    problem "$folder/ReadMe.txt differs from app/ReadMe.txt beyond its line endings"
fi

# The manifest and the version resource. Windows takes the manifest only as
# resource 1 of type 24; a second one (a toolchain's default manifest, say)
# would leave it to chance which one counts.
resources=$(wrestool -l "$exe")
[[ $(grep -c -- '--type=24 ' <<<"$resources") == 1 ]] || problem "the exe has not exactly one manifest"
[[ $(grep -c -- '--type=16 ' <<<"$resources") == 1 ]] ||
  problem "the exe has not exactly one version resource"
wrestool -x --type=24 --name=1 --raw "$exe" >"$work/manifest" || problem "no manifest with id 1"
wrestool -x --type=16 --name=1 --raw "$exe" >"$work/version" || problem "no version resource 1"
[[ -n $version ]] || problem "CMakeLists.txt sets no four-number CORVANE_VERSION"
if ! python3 - "$work/manifest" "$work/version" "${version:-0.0.0.0}" <<'PY'; then
import struct
import sys
import xml.parsers.expat

manifest_path, version_path, version = sys.argv[1:4]
ASM_V1 = "urn:schemas-microsoft-com:asm.v1"
ASM_V3 = "urn:schemas-microsoft-com:asm.v3"
COMPATIBILITY = "urn:schemas-microsoft-com:compatibility.v1"
SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}": "Vista",
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "7",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "8",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "8.1",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "10/11",
}
# What XP's loader knows in asm.v1; it refuses a program whose manifest puts
# a later element there.
XP_ELEMENTS = {"assembly", "assemblyIdentity", "description", "dependency",
               "dependentAssembly", "file", "noInherit", "comClass", "typelib",
               "windowClass", "comInterfaceExternalProxyStub"}
problems = []


def read_manifest(data):
    """Each element as (namespace, local name, attributes, ancestors)."""
    elements, scopes, path = [], [{}], []

    def start(name, attributes):
        scope = dict(scopes[-1])
        declared = [value for key, value in attributes.items()
                    if key == "xmlns" or key.startswith("xmlns:")]
        if len(declared) != len(set(declared)):
            # XP SP2's csrss crashes on this.
            problems.append(f"<{name}> declares a namespace twice")
        for key, value in attributes.items():
            if key == "xmlns" or key.startswith("xmlns:"):
                scope[key[6:]] = value
        prefix, _, local = name.rpartition(":")
        namespace = scope.get(prefix, "")
        elements.append((namespace, local, attributes, list(path)))
        scopes.append(scope)
        path.append((namespace, local))

    def end(_name):
        scopes.pop()
        path.pop()

    parser = xml.parsers.expat.ParserCreate()
    parser.StartElementHandler = start
    parser.EndElementHandler = end
    try:
        parser.Parse(data, True)
    except xml.parsers.expat.ExpatError as error:
        problems.append(f"the manifest is not well-formed XML: {error}")
        return []
    return elements


def check_manifest(data):
    elements = read_manifest(data)
    if not elements:
        return
    namespace, local, attributes, _ = elements[0]
    if (namespace, local) != (ASM_V1, "assembly") or attributes.get("manifestVersion") != "1.0":
        problems.append("the manifest's root is not an asm.v1 assembly of manifestVersion 1.0")
    for namespace, local, _, _ in elements:
        if namespace == ASM_V1 and local not in XP_ELEMENTS:
            problems.append(f"<{local}> is in asm.v1, which XP refuses")
    levels = [(attributes, path) for namespace, local, attributes, path in elements
              if (namespace, local) == (ASM_V3, "requestedExecutionLevel")]
    trust = [(ASM_V3, name) for name in ("trustInfo", "security", "requestedPrivileges")]
    if (len(levels) != 1 or levels[0][1][1:] != trust
            or levels[0][0].get("level") != "requireAdministrator"
            or levels[0][0].get("uiAccess") != "false"):
        problems.append("the manifest does not require administrator rights (uiAccess false)"
                        " in asm.v3's trustInfo")
    ids = [attributes.get("Id", "").lower() for namespace, local, attributes, path in elements
           if (namespace, local) == (COMPATIBILITY, "supportedOS")
           and path[1:] == [(COMPATIBILITY, "compatibility"), (COMPATIBILITY, "application")]]
    if sorted(ids) != sorted(SUPPORTED_OS):
        problems.append("the manifest's supportedOS ids are not those of Vista, 7, 8, 8.1 and 10")
    if b"Microsoft.Windows.Common-Controls" in data:
        problems.append("the manifest asks for Common Controls 6")


def version_nodes(data, at, end):
    """The VS_VERSIONINFO nodes between at and end: key, value bytes, children."""
    nodes = []
    while at + 6 <= end:
        length, value_length, kind = struct.unpack_from("<HHH", data, at)
        if length < 6 or at + length > end:
            raise ValueError("a node overruns its parent")
        key_end = at + 6
        while key_end + 2 <= at + length and data[key_end:key_end + 2] != b"\0\0":
            key_end += 2
        key = data[at + 6:key_end].decode("utf-16-le")
        value_at = (key_end + 2 + 3) & ~3
        value_size = value_length * 2 if kind == 1 else value_length
        value = data[value_at:value_at + value_size]
        children_at = (value_at + value_size + 3) & ~3
        nodes.append((key, value, version_nodes(data, children_at, at + length)))
        at = (at + length + 3) & ~3
    return nodes


def text(value):
    return value.decode("utf-16-le").split("\0")[0]


def check_version(data):
    try:
        [(key, fixed, children)] = version_nodes(data, 0, len(data))
    except ValueError as error:
        problems.append(f"the version resource is malformed: {error}")
        return None
    numbers = [int(part) for part in version.split(".")]
    packed = [numbers[0] << 16 | numbers[1], numbers[2] << 16 | numbers[3]]
    signature, _, *versions = struct.unpack_from("<6I", fixed)
    if key != "VS_VERSION_INFO" or signature != 0xFEEF04BD:
        problems.append("the version resource has no fixed file information")
    elif versions != packed * 2:
        problems.append(f"FILEVERSION or PRODUCTVERSION is not {version}")
    blocks = {key: nodes for key, _, nodes in children}
    tables = blocks.get("StringFileInfo", [])
    translations = [value for key, value, _ in blocks.get("VarFileInfo", [])
                    if key == "Translation"]
    if len(tables) != 1 or len(translations) != 1 or len(translations[0]) != 4:
        problems.append("the version resource lacks one string table and one Translation")
        return None
    language, code_page = struct.unpack("<HH", translations[0])
    table, _, strings = tables[0]
    if table.upper() != f"{language:04X}{code_page:04X}":
        problems.append(f"string table {table} does not match Translation"
                        f" {language:04X}/{code_page:04X}")
    values = {key: text(value) for key, value, _ in strings}
    expected = {"FileVersion": version, "ProductVersion": version,
                "OriginalFilename": "Corvane.exe"}
    for name in ("FileDescription", "ProductName", "LegalCopyright"):
        expected[name] = values.get(name) or "(present)"
    for name, wanted in expected.items():
        if values.get(name) != wanted:
            problems.append(f"version string {name} is {values.get(name)!r}, not {wanted!r}")
    return table


with open(manifest_path, "rb") as manifest:
    check_manifest(manifest.read())
with open(version_path, "rb") as resource:
    table = check_version(resource.read())
for problem in problems:
    print(f"release: {problem}")
if not problems:
    print("release: manifest checked: well-formed, requireAdministrator (uiAccess false)"
          " in asm.v3, supportedOS " + ", ".join(SUPPORTED_OS.values()) +
          " in compatibility.v1, nothing later than XP in asm.v1, each namespace declared"
          " once an element, no Common Controls 6")
    print(f"release: version resource checked: {version} (fixed and string, file and"
          f" product, as the build sets it), OriginalFilename Corvane.exe, string table"
          f" {table} as the Translation says")
sys.exit(1 if problems else 0)
PY
  problems=$((problems + 1))
fi

# Sizes, against what a download and a floppy-era machine take well; the
# archive, with the two UEFI rescue programs, still fits a floppy seven times
# over.
exe_limit=$((400 * 1024))
zip_limit=$((200 * 1024))
exe_size=$(stat -c %s "$exe")
zip_size=$(stat -c %s "$zip")
echo "release: $(basename "$exe") is $exe_size bytes (limit $exe_limit)," \
  "$(basename "$zip") is $zip_size bytes (limit $zip_limit)"
((exe_size < exe_limit)) || problem "$(basename "$exe") is too large"
((zip_size < zip_limit)) || problem "$(basename "$zip") is too large"

if ((problems == 0)); then
  echo "release: $(basename "$zip") checked: everything in $folder/, ReadMe.txt with CR LF;" \
    "GUI subsystem $major.$minor, imports $(awk '/DLL Name:/ {printf "%s ", $3}' <<<"$headers")"
fi
((problems == 0))
