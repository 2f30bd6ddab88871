#!/usr/bin/env bash
# Installs the built program into temporary folders and checks the package: the program, its
# banner helper and its reader of older data files (and that only the helpers link the web page
# code and the Jet library), its data file and that
# file's protection, the desktop entry, the icons, that DESTDIR is honoured, and that installing
# again never replaces an existing data file.
# Usage: test-install.sh <build folder>
set -euo pipefail

build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

icon_sizes=(16 24 32 48 64 128 256)

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

install_into() {
    cmake --install "$build" --prefix "$1" >"$work/install.log" || {
        cat "$work/install.log" >&2
        fail "install into $1"
    }
}

hex_bytes() { # <file> <offset> <count>
    od -An -tx1 -j"$2" -N"$3" "$1" | tr -d ' \n'
}

check_executable() { # <file>
    local program=$1
    [ -f "$program" ] && [ -x "$program" ] || fail "$program is not an executable file"
    [ "$(hex_bytes "$program" 0 4)" = 7f454c46 ] || fail "$program is not an ELF file"
    if ldd "$program" | grep 'not found'; then
        fail "$program misses libraries"
    fi
}

# A web page's bytes are read, parsed and fetched by the banner helper alone, and an older data
# file's by the reader alone, which loads no Qt.
check_program() { # <package folder>
    check_executable "$1/mzpwdbook"
    check_executable "$1/mzbanner"
    check_executable "$1/mzjetreader"
    if ldd "$1/mzpwdbook" | grep -E 'litehtml|gumbo|Qt6Network|libmdb'; then
        fail "$1/mzpwdbook links web page code or the Jet library"
    fi
    ldd "$1/mzbanner" | grep litehtml >/dev/null || fail "$1/mzbanner does not link litehtml"
    ldd "$1/mzjetreader" | grep libmdb >/dev/null || fail "$1/mzjetreader does not link libmdb"
    if ldd "$1/mzjetreader" | grep Qt6; then
        fail "$1/mzjetreader loads Qt"
    fi
}

check_database() { # <package folder>
    local folder=$1/Data database=$1/Data/db.mzx
    [ -d "$folder" ] || fail "no folder $folder"
    [ "$(stat -c %a "$folder")" = 700 ] || fail "$folder has mode $(stat -c %a "$folder"), not 700"
    [ -f "$database" ] || fail "no data file $database"
    [ "$(stat -c %a "$database")" = 600 ] || fail "$database has mode $(stat -c %a "$database"), not 600"
    local size
    size=$(stat -c %s "$database")
    ((size > 0 && size % 4096 == 0)) || fail "$database holds $size bytes, not whole 4096-byte pages"
    [ "$(head -c 15 "$database")" != "SQLite format 3" ] || fail "$database is not encrypted"
    if command -v sqlcipher >/dev/null; then
        local password
        password=$(printf '%s\n' "PRAGMA key='qzk482';" 'PRAGMA cipher_page_size=4096;' \
            'SELECT F1 FROM S_U;' | sqlcipher "$database" | tail -n 1)
        [ "$password" = admin ] || fail "$database does not open with the program's key and login 'admin'"
    fi
}

check_desktop_entry() { # <package folder> <expected Exec value>
    local entry=$1/share/applications/mzpwdbook.desktop
    [ -f "$entry" ] || fail "no desktop entry $entry"
    if command -v desktop-file-validate >/dev/null; then
        desktop-file-validate "$entry" || fail "$entry does not validate"
    fi
    [ "$(head -n 1 "$entry")" = "[Desktop Entry]" ] || fail "$entry does not start with its group"
    local line
    for line in Type=Application Name=墨柘密码本 "Exec=$2" Icon=mzpwdbook \
        "Categories=Utility;Security;" Terminal=false; do
        grep -qxF -- "$line" "$entry" || fail "$entry lacks the line: $line"
    done
    grep -qx 'Comment=..*' "$entry" || fail "$entry has no comment"
}

check_png_size() { # <file> <size>
    local png=$1 size=$2
    [ -f "$png" ] || fail "no icon $png"
    [ "$(hex_bytes "$png" 0 16)" = 89504e470d0a1a0a0000000d49484452 ] || fail "$png is not a PNG file"
    local expected
    expected=$(printf '%08x%08x' "$size" "$size")
    [ "$(hex_bytes "$png" 16 8)" = "$expected" ] || fail "$png is not ${size}x${size}"
}

check_icons() { # <package folder>
    local icons=$1/share/icons/hicolor size
    for size in "${icon_sizes[@]}"; do
        check_png_size "$icons/${size}x${size}/apps/mzpwdbook.png" "$size"
    done
    grep -q '<svg' "$icons/scalable/apps/mzpwdbook.svg" || fail "no scalable icon"
}

check_package() { # <package folder> <expected Exec value>
    check_program "$1"
    check_database "$1"
    check_desktop_entry "$1" "$2"
    check_icons "$1"
}

# A folder name with a space and Chinese letters: the data file still lands beside the program,
# and the desktop entry quotes the program's path.
package="$work/墨柘 package"
install_into "$package"
check_package "$package" "\"$package/mzpwdbook\""
if grep -F db.mzx "$build/install_manifest.txt"; then
    fail "the install manifest lists the data file, so removing the installed files would delete it"
fi

# Installing again keeps the owner's data file byte for byte, and its protection.
marker="accounts of the owner $$ $RANDOM"
printf '%s' "$marker" >"$package/Data/db.mzx"
install_into "$package"
[ "$(cat "$package/Data/db.mzx")" = "$marker" ] || fail "installing again replaced the data file"
[ "$(stat -c %a "$package/Data/db.mzx")" = 600 ] || fail "installing again changed the data file's mode"

# A staged install puts everything under DESTDIR and names the final path in the desktop entry.
final=/nonexistent-mzpwdbook-$$
DESTDIR="$work/stage" install_into "$final"
[ ! -e "$final" ] || fail "a staged install wrote to $final"
check_package "$work/stage$final" "$final/mzpwdbook"

echo "package layout checked"
