#!/usr/bin/env bash
# Checks that every C++ file is formatted as .clang-format says; with --fix, formats them.
# Installs Debian 12's clang-format (14) when it is missing, as root or through sudo.
set -euo pipefail
cd "$(dirname "$0")/.."

if ! command -v clang-format-14 >/dev/null; then
  as_root=()
  [ "$(id -u)" -eq 0 ] || as_root=(sudo)
  "${as_root[@]}" apt-get update
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y clang-format-14
fi

mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = --fix ]; then
  clang-format-14 -i "${files[@]}"
else
  clang-format-14 --dry-run --Werror "${files[@]}"
  echo "Formatting: ${#files[@]} files as .clang-format says."
fi

# One spelling of Qt's string literals, as Qt's own code writes them (the build holds the keywords:
# QT_NO_KEYWORDS leaves only Q_SIGNALS, Q_SLOTS and Q_EMIT).
if git grep -n -I 'QStringLiteral' -- '*.cpp' '*.h' '*.in'; then
  echo 'Write string literals as u"..."_s (with using namespace Qt::StringLiterals), not QStringLiteral.'
  exit 1
fi
