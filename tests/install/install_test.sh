#!/bin/sh
# What an operator gets: the manual pages render cleanly, an install into a fresh prefix
# holds exactly the expected files, and the Debian package holds the same.
#   install_test.sh man <page>
#   install_test.sh tree <build dir>
#   install_test.sh deb <build dir>
set -eu

expected() {
  prefix=$1
  for p in bigclock makenum typerace typestart uplist typescore; do
    echo "$prefix/bin/$p"
    echo "$prefix/share/man/man1/$p.1"
  done
  for f in data.txt english.lst proverb.lst short.lst; do
    echo "$prefix/share/doc/bbs-tools/examples/frm/typegame/$f"
  done
}

same_lists() {
  if ! diff -u "$1" "$2"; then
    echo "FAIL: $3 (- expected, + found)"
    exit 1
  fi
}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

case $1 in
  man)
    # Every warning category on; a page must render without a single one.
    if ! groff -man -ww -z "$2" >"$scratch/out" 2>&1 || [ -s "$scratch/out" ]; then
      cat "$scratch/out"
      echo "FAIL: $2 does not render cleanly"
      exit 1
    fi
    ;;
  tree)
    cmake --install "$2" --prefix "$scratch/prefix" >/dev/null
    expected . | sort >"$scratch/want"
    (cd "$scratch/prefix" && find . ! -type d | sort) >"$scratch/got"
    same_lists "$scratch/want" "$scratch/got" "installed files"
    for p in bigclock makenum typerace typestart uplist typescore; do
      [ -x "$scratch/prefix/bin/$p" ] || { echo "FAIL: bin/$p is not executable"; exit 1; }
    done
    # The examples are the shipped sample files byte for byte.
    src=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$2/CMakeCache.txt")
    for f in "$src"/sample/frm/typegame/*; do
      cmp "$f" "$scratch/prefix/share/doc/bbs-tools/examples/frm/typegame/${f##*/}"
    done
    ;;
  deb)
    cpack -G DEB --config "$2/CPackConfig.cmake" -B "$scratch/pkg" >/dev/null
    set -- "$scratch"/pkg/*.deb
    [ $# -eq 1 ] && [ -f "$1" ] || { echo "FAIL: no single package was built"; exit 1; }
    expected ./usr | sort >"$scratch/want"
    dpkg-deb -c "$1" | awk '$1 !~ /^d/ { print $NF }' | sort >"$scratch/got"
    same_lists "$scratch/want" "$scratch/got" "package contents"
    [ "$(dpkg-deb -f "$1" Package)" = bbs-tools ] || { echo "FAIL: package name"; exit 1; }
    ;;
  *)
    echo "usage: $0 man <page> | tree <build dir> | deb <build dir>" >&2
    exit 2
    ;;
esac
