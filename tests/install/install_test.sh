#!/bin/sh
# What an operator and a packager get: the manual pages render cleanly; an install into a
# fresh prefix (`cmake --install --strip`) holds exactly the expected files, stripped and
# without the compilers' notes, answers --help and --version, and is hardened; the
# Debian package holds the same, its maintainer and changelog as the build says, and
# lintian finds nothing.
#   install_test.sh man <page>
#   install_test.sh install <build dir> <source dir> <version> <hardened: yes|no>
set -eu

programs="bigclock makenum typeadmin typerace typestart typescore uplist"

expected() {
  prefix=$1
  for p in $programs; do
    echo "$prefix/bin/$p"
    echo "$prefix/share/man/man1/$p.1.gz"
  done
  for f in data.txt english.lst proverb.lst short.lst; do
    echo "$prefix/share/doc/bbs-tools/examples/frm/typegame/$f"
  done
  echo "$prefix/share/doc/bbs-tools/copyright"
  if [ "${2:-}" = deb ]; then
    echo "$prefix/share/doc/bbs-tools/changelog.Debian.gz"
    echo "$prefix/share/lintian/overrides/bbs-tools"
  fi
}

fail() {
  echo "FAIL: $*"
  exit 1
}

same_lists() {
  diff -u "$1" "$2" || fail "$3 (- expected, + found)"
}

# A program as the server would find it, called by hand in an empty directory.
check_cli() {
  bin=$1 p=$2 version=$3
  [ "$(cd "$scratch/cwd" && "$bin" --version)" = "$p $version" ] || fail "$p --version"
  (cd "$scratch/cwd" && "$bin" --help) >"$scratch/help" || fail "$p --help ends with an error"
  head -n 1 "$scratch/help" | grep -q "^Usage: $p" || fail "$p --help shows no usage"
  ! awk 'length > 80' "$scratch/help" | grep -q . || fail "$p --help is wider than 80 columns"
}

# No symbol table, no debugging information, no compilers' version notes.
check_stripped() {
  readelf -SW "$1" >"$scratch/sections"
  ! grep -Eq '\.(symtab|debug_info|comment) ' "$scratch/sections" ||
    fail "$1 is not stripped: $(grep -Eo '\.(symtab|debug_info|comment) ' "$scratch/sections" | tr -d '\n')"
}

# Position-independent, read-only relocations bound at start, stack protector, fortified.
check_hardening() {
  f=$1
  readelf -hW "$f" | grep -q 'Type: *DYN' || fail "$f is not position-independent"
  readelf -lW "$f" | grep -q GNU_RELRO || fail "$f has no RELRO segment"
  readelf -dW "$f" | grep -Eq 'BIND_NOW|Flags:.* NOW' || fail "$f binds lazily (no -z now)"
  readelf --dyn-syms -W "$f" >"$scratch/syms"
  grep -q ' __stack_chk_fail' "$scratch/syms" || fail "$f has no stack protector"
  grep -Eq ' __[a-z]+_chk(@|$)' "$scratch/syms" || fail "$f calls no fortified function"
}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

case $1 in
  man)
    # Every warning category on; a page must render without a single one.
    if ! groff -man -ww -z "$2" >"$scratch/out" 2>&1 || [ -s "$scratch/out" ]; then
      cat "$scratch/out"
      fail "$2 does not render cleanly"
    fi
    ;;
  install)
    build=$2 src=$3 version=$4 hardened=$5
    cmake --install "$build" --prefix "$scratch/prefix" --strip >/dev/null
    expected . | sort >"$scratch/want"
    (cd "$scratch/prefix" && find . ! -type d | sort) >"$scratch/got"
    same_lists "$scratch/want" "$scratch/got" "installed files"
    # The examples are the shipped sample files byte for byte, the pages the sources.
    for f in "$src"/sample/frm/typegame/*; do
      cmp "$f" "$scratch/prefix/share/doc/bbs-tools/examples/frm/typegame/${f##*/}"
    done
    mkdir "$scratch/cwd"
    for p in $programs; do
      [ -x "$scratch/prefix/bin/$p" ] || fail "bin/$p is not executable"
      gzip -dc "$scratch/prefix/share/man/man1/$p.1.gz" | cmp - "$src/man/$p.1"
      check_cli "$scratch/prefix/bin/$p" "$p" "$version"
      check_stripped "$scratch/prefix/bin/$p"
      [ "$hardened" = no ] || check_hardening "$scratch/prefix/bin/$p"
    done
    # Asking changed nothing; and beside another argument it is no question at all.
    [ -z "$(ls -A "$scratch/cwd")" ] || fail "--help or --version left files: $(ls -A "$scratch/cwd")"
    [ "$(cd "$scratch/cwd" && "$scratch/prefix/bin/bigclock" --help x | wc -c)" -eq 943 ] ||
      fail "bigclock --help x does not draw the clock"

    cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/pkg" >/dev/null
    set -- "$scratch"/pkg/*.deb
    [ $# -eq 1 ] && [ -f "$1" ] || fail "no single package was built"
    deb=$1
    expected ./usr deb | sort >"$scratch/want"
    dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $NF }' | sort >"$scratch/got"
    same_lists "$scratch/want" "$scratch/got" "package contents"
    [ "$(dpkg-deb -f "$deb" Package)" = bbs-tools ] || fail "package name"
    case $(dpkg-deb -f "$deb" Version) in "$version"-*) ;; *) fail "package version" ;; esac
    # Dependencies as the binaries need them, worked out at packaging time.
    dpkg-deb -f "$deb" Depends | grep -q 'libc6 (>= ' || fail "dependencies not worked out"
    maintainer=$(sed -n 's/^BBS_MAINTAINER:STRING=//p' "$build/CMakeCache.txt")
    [ "$(dpkg-deb -f "$deb" Maintainer)" = "$maintainer" ] || fail "package maintainer"
    dpkg-deb -x "$deb" "$scratch/deb"
    gzip -dc "$scratch/deb/usr/share/doc/bbs-tools/changelog.Debian.gz" >"$scratch/changelog"
    grep -Fq -- " -- $maintainer  " "$scratch/changelog" || fail "changelog's maintainer"
    for p in $programs; do
      grep -qw "$p" "$scratch/changelog" || fail "the changelog does not name $p"
      check_stripped "$scratch/deb/usr/bin/$p"
      [ "$hardened" = no ] || check_hardening "$scratch/deb/usr/bin/$p"
    done
    if command -v lintian >/dev/null; then
      # Overridden tags only where the package is right; see packaging/lintian-overrides.
      if ! lintian --fail-on error,warning "$deb" >"$scratch/lintian" 2>"$scratch/lintian.err" ||
        [ -s "$scratch/lintian" ]; then
        cat "$scratch/lintian" "$scratch/lintian.err"
        fail "lintian"
      fi
    else
      echo "lintian is not installed: the package was not linted"
    fi
    ;;
  *)
    echo "Usage: $0 man <page> | install <build dir> <source dir> <version> <yes|no>" >&2
    exit 2
    ;;
esac
