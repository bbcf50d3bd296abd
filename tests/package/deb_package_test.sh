#!/usr/bin/env bash
# The Debian package, built from the build directory into a temporary one:
# its name, control fields, dependencies and files.
#
# usage: deb_package_test.sh CPACK BUILD_DIR VERSION "PROGRAMS" "PACKAGES"
#   PROGRAMS: the file names expected in /usr/bin, nothing else;
#   PACKAGES: the Debian packages Depends must name.
# Needs dpkg-deb and dpkg-shlibdeps (dpkg-dev); exit 77 without them.
set -uo pipefail

cpack="$1"
build="$2"
version="$3"
read -r -a programs <<<"$4"
read -r -a packages <<<"$5"
for tool in dpkg-deb dpkg-shlibdeps dpkg; do
  command -v "$tool" >/dev/null 2>&1 || { echo "$tool is missing: skipped"; exit 77; }
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# check, finish_checks
source "$(dirname "$0")/../test_support/shell_checks.sh"

"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; exit 1; }
arch="$(dpkg --print-architecture)"
deb="$work/tessel_${version}_${arch}.deb"
check "the package is named tessel_<version>_<arch>.deb" yes "$([ -f "$deb" ] && echo yes || ls "$work")"

field() { dpkg-deb -f "$deb" "$1"; }
check "Package" tessel "$(field Package)"
check "Version" "$version" "$(field Version)"
check "Architecture" "$arch" "$(field Architecture)"
check "Section" devel "$(field Section)"
check "a maintainer" yes "$([ -n "$(field Maintainer)" ] && echo yes)"
check "a description" yes "$([ -n "$(field Description)" ] && echo yes)"

# The names in Depends, without versions or alternatives' separators.
depends="$(field Depends | tr ',|' '\n\n' | sed 's/(.*//; s/ //g' | sort -u)"
for package in "${packages[@]}"; do
  check "Depends names $package" "$package" "$(grep -x "$package" <<<"$depends")"
done

expected="$(printf './usr/bin/%s\n' "${programs[@]}" | sort)"
files="$(dpkg-deb -c "$deb" | grep -v '^d' | awk '{ print $6 }' | sort)"
check "the package holds exactly the programs, in /usr/bin" "$expected" "$files"

finish_checks
