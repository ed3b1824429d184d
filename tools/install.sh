#!/usr/bin/env bash
# Installs Quelta into one program folder and puts its programs into a
# "Quelta" folder of the desktop's applications menu.
#   tools/install.sh [PREFIX]               (default /opt/dovira/quelta)
#   tools/install.sh --uninstall [PREFIX]
# Installing builds first (in build/, or $QUELTA_BUILD_DIR), copies the
# programs and their libraries into PREFIX, makes the ten empty tables in the
# database folder unless tables are there, and registers the automation
# library for the user who runs it. The menu folder is for every user when
# root installs outside its home folder, else for this user alone.
# Uninstalling removes what was installed and keeps every table, message,
# agent, template and log.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
default_prefix=/opt/dovira/quelta

die() {
  echo "install: $*" >&2
  exit 1
}

uninstall=0
if [ "${1:-}" = --uninstall ]; then
  uninstall=1
  shift
fi
case "${1:-}" in -*) die "usage: tools/install.sh [--uninstall] [PREFIX]" ;; esac
[ $# -le 1 ] || die "usage: tools/install.sh [--uninstall] [PREFIX]"
prefix=$(realpath -m -- "${1:-$default_prefix}")
# Desktop entries quote the program's path; these characters would need
# escapes there that not every desktop reads back.
case "$prefix" in *[\"\`\$\\%]* | *[[:cntrl:]]*) die "unsupported character in $prefix" ;; esac
[ "$prefix" != / ] || die "the program folder cannot be /"
manifest="$prefix/installed-files.txt"

# The Windows directory of the programs: quelta.ini and the registry file.
windir=${QUELTA_WINDIR:-${XDG_CONFIG_HOME:-$HOME/.config}/quelta}

# The menu folder: system-wide for root outside its home, else per-user.
in_home() {
  [ -n "${HOME:-}" ] && [ "$HOME" != / ] && case "$1/" in "${HOME%/}"/*) true ;; *) false ;; esac
}
if [ "$(id -u)" = 0 ] && ! in_home "$prefix"; then
  apps=/usr/local/share/applications
  dirs=/usr/local/share/desktop-directories
  merged=/etc/xdg/menus/applications-merged
else
  apps=${XDG_DATA_HOME:-$HOME/.local/share}/applications
  dirs=${XDG_DATA_HOME:-$HOME/.local/share}/desktop-directories
  merged=${XDG_CONFIG_HOME:-$HOME/.config}/menus/applications-merged
fi

# ini_get FILE SECTION KEY: the value as the programs read it (names without
# regard to case, the first match wins, the value trimmed).
ini_get() {
  [ -f "$1" ] || return 0
  awk -v sec="$2" -v key="$3" '
    function trim(s) { sub(/^[ \t]+/, "", s); sub(/[ \t\r]+$/, "", s); return s }
    /^[ \t]*\[/ { s = trim($0); in_sec = tolower(substr(s, 2, length(s) - 2)) == tolower(sec); next }
    in_sec && index($0, "=") {
      if (tolower(trim(substr($0, 1, index($0, "=") - 1))) == tolower(key)) {
        print trim(substr($0, index($0, "=") + 1)); exit
      }
    }' "$1"
}

# ini_add FILE SECTION KEY VALUE: adds the key at the end of the section (or
# a new section at the end) when the file lacks it; an existing value stays.
ini_add() {
  local file=$1 sec=$2 key=$3 value=$4 eol=$'\n'
  if [ -f "$file" ]; then
    if awk -v sec="$sec" -v key="$key" '
      function trim(s) { sub(/^[ \t]+/, "", s); sub(/[ \t\r]+$/, "", s); return s }
      /^[ \t]*\[/ { s = trim($0); in_sec = tolower(substr(s, 2, length(s) - 2)) == tolower(sec); next }
      in_sec && index($0, "=") && tolower(trim(substr($0, 1, index($0, "=") - 1))) == tolower(key) { found = 1 }
      END { exit found ? 0 : 1 }' "$file"; then
      return 0
    fi
    if grep -q $'\r$' "$file"; then eol=$'\r\n'; fi
  fi
  mkdir -p "$(dirname "$file")"
  local tmp="$file.install-$$"
  if [ -f "$file" ]; then
    awk -v sec="$sec" -v line="$key=$value" -v eol="$eol" '
      function trim(s) { sub(/^[ \t]+/, "", s); sub(/[ \t\r]+$/, "", s); return s }
      /^[ \t]*\[/ {
        if (in_sec && !done) { printf "%s%s", line, eol; done = 1 }
        s = trim($0); in_sec = tolower(substr(s, 2, length(s) - 2)) == tolower(sec)
      }
      { print }
      END {
        if (in_sec && !done) printf "%s%s", line, eol
        else if (!done) printf "[%s]%s%s%s", sec, eol, line, eol
      }' "$file" >"$tmp"
  else
    printf '[%s]\n%s=%s\n' "$sec" "$key" "$value" >"$tmp"
  fi
  mv -f "$tmp" "$file"
}

# ours FILE: the menu file was written for this program folder (its icon
# lies there).
ours() {
  local icon
  icon=$(sed -n 's/^Icon=//p' "$1" 2>/dev/null)
  [ "${icon%/icons/*}" = "$prefix" ]
}

registered_here() {
  grep -qF "$prefix/libQuelta.so" "$windir/quelta.reg" 2>/dev/null
}

# remove FILE: a menu file, and its folder when nothing else is left there.
remove() {
  rm -f "$1"
  rmdir "$(dirname "$1")" 2>/dev/null || true
}

uninstall() {
  [ -f "$manifest" ] || die "$prefix holds no installation made by tools/install.sh"
  if [ -x "$prefix/regsvr" ] && [ -f "$prefix/libQuelta.so" ] && registered_here; then
    "$prefix/regsvr" /u /s "$prefix/libQuelta.so" || echo "install: the automation library stays registered" >&2
  fi
  local f removed_directory=0
  while IFS= read -r f; do
    [ -n "$f" ] || continue
    # Never data, whatever the list says.
    case "${f,,}" in *.dbf | *.cdx | *.fpt | *.eml | *.agent | *.log | *.ini | *.reg) continue ;; esac
    case "$f" in
      *.desktop) if ours "$f"; then remove "$f"; fi ;;
      *.directory) if ours "$f"; then remove "$f" && removed_directory=1; fi ;;
      *.menu) ;;
      "$prefix"/*) if [ -f "$f" ] || [ -L "$f" ]; then rm -f "$f"; fi ;;
    esac
  done <"$manifest"
  # The menu folder goes with the last installation that filled it.
  if [ $removed_directory = 1 ]; then
    grep '\.menu$' "$manifest" | while IFS= read -r f; do remove "$f"; done
  fi
  rm -f "$manifest"
  rmdir "$prefix/icons" 2>/dev/null || true
  rmdir "$prefix" 2>/dev/null || true
  echo "install: removed Quelta from $prefix; tables, messages, agents, templates and logs are kept"
}

if [ $uninstall = 1 ]; then
  uninstall
  exit 0
fi

# Build when needed: a fresh tree gets its packages and a build folder first.
build=${QUELTA_BUILD_DIR:-$src/build}
if [ ! -f "$build/CMakeCache.txt" ]; then
  bash "$src/tools/bootstrap.sh"
  cmake -S "$src" -B "$build" -G Ninja -DQUELTA_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j"$(nproc)"
# The files come from this install's own report: the build's list of
# installed files is shared by every install from that build.
files=$(mktemp)
trap 'rm -f "$files"' EXIT
cmake --install "$build" --prefix "$prefix" |
  sed -n 's#^-- \(Installing\|Up-to-date\): \(.*\)$#\2#p' | sed 's#/\./#/#' >"$files"
[ -x "$prefix/cfgman" ] || echo "install: cfgman is not built yet; its menu entry is left out"

# The tray programs look for their folders under the default program folder;
# elsewhere quelta.ini tells them, unless it already names folders.
if [ "$prefix" != "$default_prefix" ]; then
  ini_add "$windir/quelta.ini" Folders DataBase "$prefix/"
  ini_add "$windir/quelta.ini" Folders Messages "$prefix/messages/"
  ini_add "$windir/quelta.ini" Folders Agents "$prefix/agents/"
fi
db=$(ini_get "$windir/quelta.ini" Folders DataBase)
db=${db:-$prefix/}
rc=0
"$prefix/mkschema" "$db" || rc=$?
case $rc in
  0) ;;
  3) echo "install: the tables in $db are kept" ;;
  *) die "the tables could not be made in $db" ;;
esac

"$prefix/regsvr" /s "$prefix/libQuelta.so" || die "the automation library could not be registered"

# The menu folder with one entry a program.
installed=()
put() { # put TEMPLATE TARGET
  mkdir -p "$(dirname "$2")"
  local line
  while IFS= read -r line || [ -n "$line" ]; do
    printf '%s\n' "${line//@PROGRAM_FOLDER@/"$prefix"}"
  done <"$1" >"$2.install-$$"
  mv -f "$2.install-$$" "$2"
  installed+=("$2")
}
for program in cfgman posta postp; do
  if [ -x "$prefix/$program" ]; then
    put "$src/tools/desktop/dovira-quelta-$program.desktop.in" "$apps/dovira-quelta-$program.desktop"
  fi
done
put "$src/tools/desktop/dovira-quelta.directory.in" "$dirs/dovira-quelta.directory"
put "$src/tools/desktop/dovira-quelta.menu" "$merged/dovira-quelta.menu"

# What uninstalling removes: everything installed now and before.
{
  cat "$files"
  printf '%s\n' "${installed[@]}"
  if [ -f "$manifest" ]; then cat "$manifest"; fi
} | grep -v '^$' | sort -u >"$manifest.install-$$"
mv -f "$manifest.install-$$" "$manifest"

echo "install: Quelta is in $prefix, tables in $db, menu entries in $apps"
if [ "$(id -u)" = 0 ] && ! in_home "$prefix"; then
  echo "install: every other user registers the automation library once: $prefix/regsvr /s $prefix/libQuelta.so"
fi
