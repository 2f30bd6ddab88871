#!/usr/bin/env bash
# Takes the README's screenshots of the real program on a virtual X display and writes them to
# docs/screenshots/: the login window, the main window listing sample accounts, the account
# editor and the first printed page, then the main window and the editor once more in a dark
# palette (GNOME's Adwaita-dark through Qt's gtk3 platform theme). The program runs as a copy in a temporary folder with a
# fresh data file of its own, so no existing data file is read or touched.
# Needs a build (./run.sh or scripts/setup.sh); installs its own tools with apt-get if missing.
# Usage: scripts/screenshots.sh [build folder, default build]
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
out=$repo/docs/screenshots
screen=1280x800x24

tools=(xvfb xauth xdotool imagemagick sqlcipher poppler-utils qt6-gtk-platformtheme)

install_missing_tools() {
    local missing=() package as_root=()
    for package in "${tools[@]}"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
    done
    ((${#missing[@]})) || return 0
    echo "Installing: ${missing[*]}"
    [ "$(id -u)" -eq 0 ] || as_root=(sudo)
    "${as_root[@]}" apt-get update
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}"
}

# Realistic accounts with passwords that are plainly not real ones.
seed_accounts() { # <data file>
    sqlcipher -bail "$1" >/dev/null <<'SQL'
PRAGMA key='qzk482';
PRAGMA cipher_page_size=4096;
UPDATE S_U SET F2='2025-11-28', F3=41;
INSERT INTO U_P(F1, F2, F3, F4, F5) VALUES
  ('2025-10-16', '工商银行网银', 'zhangwei_1988', '示例密码-0000', '网银登录；U盾放在书房抽屉里'),
  ('2025-06-03', 'GitHub', 'octo-sample', 'not-a-real-pw-1', 'Work repositories; two-factor codes on the phone'),
  ('2024-12-21', '163 邮箱', 'wangxm_demo@163.com', '示例-mail-2024', '个人邮箱，找回密码用手机号'),
  ('2024-08-09', '12306 铁路', 'wxm_travel', 'sample-train-12', '火车票；常用乘车人已添加'),
  ('2023-11-30', 'Home Wi-Fi', 'HomeNet-5G', 'demo-wifi-pass', 'Router page at 192.168.1.1, admin / example'),
  ('2023-03-14', '淘宝', '小明的小店', 'fake-taobao-77', '购物账户，支付密码另记'),
  ('2022-07-02', 'Netflix', 'family@example.com', 'sample-stream-9', 'Shared family plan, renews in July');
SQL
}

# The copy of the program with its own data file, home and runtime folders.
prepare_copy() { # <work folder>
    local work=$1
    mkdir -p "$work/app" "$work/home" "$work/runtime" "$work/bin"
    chmod 700 "$work/runtime"
    cp "$build/mzpwdbook" "$build/mzbanner" "$work/app/"
    "$build/mkdb" "$work/app/Data/db.mzx" >/dev/null
    seed_accounts "$work/app/Data/db.mzx"
    # The program shows a finished PDF printout in the desktop's viewer; this one only notes it.
    cat >"$work/bin/xdg-open" <<EOF
#!/bin/sh
echo "\$1" >>"$work/opened"
EOF
    chmod +x "$work/bin/xdg-open"
}

start_program() { # <work folder> [NAME=value...]
    local work=$1
    shift
    # No printer: CUPS is pointed at a socket that does not exist, so printing makes a PDF.
    env -u XDG_CONFIG_HOME -u XDG_DATA_HOME -u XDG_CACHE_HOME \
        HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" CUPS_SERVER="$work/no-cups.sock" \
        PATH="$work/bin:$PATH" QT_QPA_PLATFORM=xcb "$@" \
        "$work/app/mzpwdbook" >>"$work/program.log" 2>&1 &
    program=$!
}

stop_program() {
    [ -n "${program:-}" ] || return 0
    kill "$program" 2>/dev/null || true
    wait "$program" 2>/dev/null || true
    program=
}

fail() {
    echo "screenshots: $*" >&2
    [ -z "${work:-}" ] || tail -n 20 "$work/program.log" >&2
    exit 1
}

# Waits up to 60 s for a visible window whose title matches, and prints its id.
wait_for_window() { # <title pattern>
    local id
    for _ in $(seq 120); do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1) || true
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.5
    done
    fail "no window titled $1"
}

wait_until_gone() { # <window id>
    for _ in $(seq 40); do
        xdotool getwindowname "$1" >/dev/null 2>&1 && xwininfo -id "$1" 2>/dev/null | grep -q IsViewable || return 0
        sleep 0.25
    done
    fail "window $1 stays open"
}

# Gives a new window time to draw, its web banner included.
settle() { sleep 3; }

# Writes docs/screenshots/<name>.png small: windows hold few colours, a printed page is grey.
store() { # <picture> <name> <convert options>...
    local picture=$1 name=$2
    shift 2
    convert "$picture" -strip "$@" -define png:compression-level=9 "$out/$name.png"
    echo "wrote docs/screenshots/$name.png"
}

shoot() { # <window id> <name>
    import -window "$1" "$work/$2.png"
    store "$work/$2.png" "$2" +dither -colors 256
}

click() { # <window id> <x> <y>, in the window's own coordinates
    xdotool mousemove --window "$1" "$2" "$3" click 1
}

# Centres of buttons in their windows, from the layouts in forms/main.ui and forms/c.ui: the
# main window's tool bar is its top 65 pixels and the query bar below it holds the print button.
# The editor ignores Esc, so it is closed by its own close button.
edit_button=(226 32)
print_button=(839 101)
editor_close_button=(761 312)

# Logs in by the keyboard and prints the main window's id.
log_in() {
    local login
    login=$(wait_for_window '^系统登录$')
    settle
    xdotool windowfocus --sync "$login"
    xdotool type --delay 50 admin
    [ -z "${1:-}" ] || shoot "$login" "$1" >&2
    xdotool key Return
    wait_for_window '^墨柘密码本'
}

# Shoots the main window, then the editor of its current account, which it closes again.
shoot_main_and_editor() { # <main window id> <name suffix>
    local main=$1 editor
    settle
    shoot "$main" "main$2"
    click "$main" "${edit_button[@]}"
    editor=$(wait_for_window '^修改 账户$')
    settle
    shoot "$editor" "editor$2"
    click "$editor" "${editor_close_button[@]}"
    wait_until_gone "$editor"
}

take_screenshots() {
    work=$(mktemp -d)
    trap 'stop_program; rm -rf "$work"' EXIT
    prepare_copy "$work"
    mkdir -p "$out"
    start_program "$work"

    local main
    main=$(log_in login)
    shoot_main_and_editor "$main" ""

    click "$main" "${print_button[@]}"
    for _ in $(seq 60); do
        [ -s "$work/opened" ] && break
        sleep 0.5
    done
    [ -s "$work/opened" ] || fail "no printout"
    local pdf
    pdf=$(find "$work/home/Documents" -name '*.pdf' | head -n 1)
    [ -n "$pdf" ] || fail "no PDF in $work/home/Documents"
    pdftoppm -png -r 80 -f 1 -l 1 -singlefile "$pdf" "$work/print"
    store "$work/print.png" print -colorspace Gray

    stop_program
    start_program "$work" XDG_CURRENT_DESKTOP=GNOME QT_QPA_PLATFORMTHEME=gtk3 GTK_THEME=Adwaita:dark
    main=$(log_in)
    shoot_main_and_editor "$main" -dark
}

build=$(cd "${1:-$repo/build}" 2>/dev/null && pwd) || fail "no build folder ${1:-$repo/build}: build first (scripts/setup.sh)"
if [ -z "${MZPWDBOOK_SCREENSHOT_DISPLAY:-}" ]; then
    [ -x "$build/mzpwdbook" ] && [ -x "$build/mzbanner" ] && [ -x "$build/mkdb" ] || fail "no program in $build: build it first (scripts/setup.sh)"
    install_missing_tools
    MZPWDBOOK_SCREENSHOT_DISPLAY=1 exec xvfb-run -a -s "-screen 0 $screen" "$0" "$build"
fi
take_screenshots
