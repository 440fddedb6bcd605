#!/usr/bin/env bash
# The Debian package as a user gets it: made by CPack from the build tree, checked by lintian
# (no errors), unpacked into a temporary root and run from there with the runtime it carries;
# its desktop entry validated, its man pages rendered without warnings and covering every
# command and option, its bash completion answering. Skipped (77) where dpkg-deb is missing.
set -euo pipefail
build=${1:?build folder}
source=${2:?source folder}
if ! command -v dpkg-deb >/dev/null; then
  echo "skipped: dpkg-deb is missing, no Debian package can be made or unpacked"
  exit 77
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/quillpost-package-XXXXXX")
preview=
cleanup() {
  [ -z "$preview" ] || kill "$preview" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack could not make the package"; }
deb=$(echo "$work"/out/quillpost_*.deb)
[ -f "$deb" ] || fail "no package in $work/out"
depends=$(dpkg-deb -f "$deb" Depends)
for d in perl qt6-translations-l10n libqt6widgets6 libc6; do
  grep -q "$d" <<<"$depends" || fail "Depends lacks $d: $depends"
done
lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1 || { cat "$work/lintian.log"; fail "lintian reports errors"; }
sed 's/^/lintian: /' "$work/lintian.log"

root=$work/root
dpkg-deb -x "$deb" "$root"
for f in usr/bin/quillpost usr/share/quillpost/lib/Quillpost.pm usr/share/quillpost/lib/jcode.pl \
  usr/share/quillpost/lib/mimew.pl usr/share/mime/packages/quillpost.xml \
  usr/share/icons/hicolor/48x48/apps/quillpost.png \
  usr/share/icons/hicolor/48x48/mimetypes/application-x-quillpost-project.png \
  usr/share/doc/quillpost/copyright usr/share/doc/quillpost/README.md; do
  [ -f "$root/$f" ] || fail "the package lacks /$f"
done

# The unpacked program, with no lib/ beside it, makes and serves the example with the
# runtime from the package.
cli=$root/usr/bin/quillpost-cli
"$cli" --version | grep -qx "quillpost-cli $(dpkg-deb -f "$deb" Version | sed 's/-[^-]*$//')" ||
  fail "--version does not match the package"
"$cli" make "$source/examples/contact.qpf" -o "$work/contact.cgi" >/dev/null
head -c 2 "$work/contact.cgi" | grep -q '#!' || fail "make wrote no script"
"$cli" preview "$source/examples/contact.qpf" --port $((20000 + RANDOM % 20000)) \
  >"$work/preview.out" 2>"$work/preview.err" &
preview=$!
for _ in $(seq 100); do
  grep -q '^プレビュー: ' "$work/preview.out" && break
  sleep 0.1
done
url=$(sed -n 's/^プレビュー: //p' "$work/preview.out")
[ -n "$url" ] || { cat "$work/preview.err"; fail "the preview did not start"; }
curl -fsS --max-time 30 "$url" -o "$work/form.html" || { cat "$work/preview.err"; fail "no form from $url"; }
grep -qi '<form' "$work/form.html" || fail "the preview's CGI gave no form"
kill -TERM "$preview"
wait "$preview" || fail "the preview did not end cleanly on SIGTERM"
preview=

desktop-file-validate "$root/usr/share/applications/quillpost.desktop" || fail "desktop entry"

for page in quillpost quillpost-cli; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man $page: $warnings"
done
manual=$(LC_ALL=C.UTF-8 MANWIDTH=200 man --nh --nj -l "$root/usr/share/man/man1/quillpost-cli.1.gz" 2>/dev/null)
help=$("$cli" --help)
for word in $(grep -oE -- '[[ |]-{1,2}[a-z][a-z-]*' <<<"$help" | cut -c2- | sort -u) \
  $(sed -n '/^commands:/,/^$/s/^  \([a-z][a-z-]*\)\t.*/\1/p' <<<"$help"); do
  grep -q -- "$word" <<<"$manual" || fail "quillpost-cli(1) does not describe $word"
done
for status in 0 1 2 3; do
  grep -Eq "^ {7}$status( |$)" <<<"$manual" || fail "quillpost-cli(1) lacks exit status $status"
done

if [ -f /usr/share/bash-completion/bash_completion ]; then
  complete_words() {
    bash -c 'source /usr/share/bash-completion/bash_completion
      source "$1"; shift
      COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
      _quillpost_cli; echo "${COMPREPLY[*]}"' _ \
      "$root/usr/share/bash-completion/completions/quillpost-cli" "$@"
  }
  [[ " $(complete_words "$cli" '') " == *" preview "* ]] || fail "completion of the command"
  [ "$(complete_words "$cli" sample '')" = "form confirm" ] || fail "completion of sample's page"
  [ "$(complete_words "$cli" sample form x.qpf --encoding '')" = "shift_jis euc-jp utf-8" ] ||
    fail "completion of --encoding"
  [[ " $(complete_words "$cli" preview x.qpf --) " == *" --port "* ]] || fail "completion of options"
fi
echo "package: $(basename "$deb") checked"
