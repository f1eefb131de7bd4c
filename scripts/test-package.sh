#!/usr/bin/env bash
# The Debian package as a user's desktop meets it: build it, check it with lintian, install it
# with apt, then use the installed system the way GNOME and KDE do (MIME types, default
# application, thumbnailer entry, KDE thumbnail and search plug-ins, launcher and AppStream
# validation, bash completion), and finally remove it and check that nothing is left.
# Runs as root (or through sudo), without a display or network beyond Debian's archive.
# The libraries the small KDE check program needs are build dependencies (install-deps.sh).
# The log goes to dist/test-package.log too.
set -euo pipefail
cd "$(dirname "$0")/.."
SRC=$PWD

if [[ $(id -u) -eq 0 ]]; then SUDO=(); else SUDO=(sudo); fi

mkdir -p dist
exec > >(tee dist/test-package.log) 2>&1

step() { echo; echo "== $*"; }
fail() { echo "FAIL: $*"; exit 1; }
check() {  # check DESCRIPTION EXPECTED ACTUAL
  if [[ "$2" == "$3" ]]; then echo "ok: $1: $3"; else fail "$1: expected '$2', got '$3'"; fi
}

start=$(date +%s)
step "package"
# No debug symbol package here: the test does not need it, and it saves a minute.
# VARDELLE_PACKAGE_BUILT=1 tests the package already in dist/.
if [[ ${VARDELLE_PACKAGE_BUILT:-} != 1 ]]; then
  DEB_BUILD_OPTIONS="noautodbgsym ${DEB_BUILD_OPTIONS:-}" bash scripts/package.sh
fi
deb=$(ls dist/vardelle_*.deb)
echo "built $deb in $(( $(date +%s) - start )) s"

step "lintian"
lintian --info --display-info "$deb" | tee dist/lintian.log || true
if grep -q '^E: ' dist/lintian.log; then fail "lintian reports errors"; fi

step "install with apt"
"${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./$deb"
dpkg -L vardelle > dist/installed-files.txt
echo "$(wc -l < dist/installed-files.txt) paths installed"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
# Nothing from the source or build tree: the installed programs find their own files.
unset VARDELLE_RESOURCES VARDELLE_PLUGIN_DIR QT_PLUGIN_PATH
export HOME=$work/home XDG_DATA_HOME=$work/home/.local/share XDG_CONFIG_HOME=$work/home/.config
mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME"

step "command line"
check "vardelle-cli from PATH" /usr/bin/vardelle-cli "$(command -v vardelle-cli)"
check "vardelle-cli --version" "vardelle-cli (Vardelle) $(dpkg-query -W -f='${Version}' vardelle)" "$(vardelle-cli --version)"
[[ -s /usr/share/man/man1/vardelle-cli.1.gz && -s /usr/share/man/man1/vardelle.1.gz ]] || fail "man pages missing"
echo "ok: man pages installed"

step "MIME types (gio, and xdg-mime as GNOME runs it)"
# Without a desktop session xdg-mime asks file(1), which knows no embroidery types; in a
# GNOME session it asks gio, as the file manager does.
filetype() { XDG_CURRENT_DESKTOP=GNOME xdg-mime query filetype "$1"; }
giotype() { gio info -a standard::content-type "$1" | sed -n 's/^ *standard::content-type: //p'; }
for sample in "$SRC"/resources/samples/*; do
  ext=${sample##*.}
  cp "$sample" .
  check "gio info $(basename "$sample")" "application/x-$ext" "$(giotype "$(basename "$sample")")"
  check "xdg-mime query filetype $(basename "$sample")" "application/x-$ext" "$(filetype "$(basename "$sample")")"
done
# Our JPX design: stitch offset 120, version 1, two threads, a short stitch stream.
python3 - <<'PY'
import struct
b = bytearray(120)
struct.pack_into('<iB', b, 0, 120, 1)
struct.pack_into('<i', b, 32, 2)
struct.pack_into('<ii', b, 60, 1, 5)
struct.pack_into('<ii', b, 68, 20, 21)
b += bytes([10, 10, 0x80, 0x01, 0, 0, 20, 0xF6, 0x80, 0x10])
open('design.jpx', 'wb').write(b)
PY
# A real JPEG 2000 image: opj_compress writes JP2 (brand "jp2 "); a JPX image carries "jpx ".
convert -size 64x48 gradient:red-blue -depth 8 picture.ppm
opj_compress -i picture.ppm -o picture.jp2 >/dev/null
cp picture.jp2 renamed.jpx
python3 -c "
b = bytearray(open('picture.jp2', 'rb').read()); assert b[16:24] == b'ftypjp2 '
b[20:24] = b'jpx '; open('picture.jpx', 'wb').write(b)"
check "gio info design.jpx" application/x-jpx "$(giotype design.jpx)"
check "xdg-mime query filetype design.jpx" application/x-jpx "$(filetype design.jpx)"
check "vardelle-cli reads design.jpx" "2" "$(vardelle-cli info design.jpx --json | python3 -c 'import json,sys; print(json.load(sys.stdin)["threads"])')"
check "gio info picture.jpx (JPEG 2000)" image/jpx "$(giotype picture.jpx)"
check "xdg-mime query filetype picture.jpx" image/jpx "$(filetype picture.jpx)"
check "gio info renamed.jpx (JP2 named .jpx)" image/jpx "$(giotype renamed.jpx)"
check "gio info picture.jp2" image/jp2 "$(giotype picture.jp2)"
# A Photo CD image (its image pack after 2 KiB) and a PCD design.
python3 -c "
open('photo.pcd', 'wb').write(b'\xff' * 2048 + b'PCD_IPI' + bytes(4089))
open('design.pcd', 'wb').write(bytes([0x32, 0, 1, 0, 255, 0, 0, 0, 1, 0, 0, 0x10, 0, 0, 0, 0x10, 0, 0, 0]))"
check "gio info photo.pcd (Photo CD)" image/x-photo-cd "$(giotype photo.pcd)"
check "gio info design.pcd" application/x-pcd "$(giotype design.pcd)"

step "default application"
check "xdg-mime query default application/x-pes" vardelle.desktop "$(xdg-mime query default application/x-pes)"

step "thumbnailer entry"
entry=/usr/share/thumbnailers/vardelle.thumbnailer
exec_line=$(sed -n 's/^Exec=//p' "$entry")
cmd=${exec_line//%s/128}
cmd=${cmd//%i/$PWD/flower.pes}
cmd=${cmd//%o/$PWD/thumb.png}
echo "running: $cmd"
eval "$cmd"
png_size() { python3 -c "
import struct, sys
b = open(sys.argv[1], 'rb').read(24); assert b[:8] == b'\x89PNG\r\n\x1a\n', 'not a PNG'
print('%dx%d' % struct.unpack('>II', b[16:24]))" "$1"; }
check "thumbnail from the entry's command line" 128x128 "$(png_size thumb.png)"

step "KDE plug-ins through KIO's and KFileMetaData's loaders"
cmake -S "$SRC" -B "$work/kde-check" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVARDELLE_TESTS=OFF -DVARDELLE_BENCH=OFF >/dev/null
cmake --build "$work/kde-check" --target vardelle-kde-check >/dev/null
kde_check=$work/kde-check/kde/vardelle-kde-check
"$kde_check" thumbnail flower.pes application/x-pes 256 | tee kde-thumbnail.txt
grep -q "^plug-in: vardellethumbnail (/usr/lib/.*/qt5/plugins/kf5/thumbcreator/vardellethumbnail.so)" kde-thumbnail.txt || fail "KIO did not offer the installed plug-in"
check "KIO thumbnail enabled by default" yes "$(sed -n 's/^enabled by default: //p' kde-thumbnail.txt)"
check "KIO thumbnail size" 256x256 "$(sed -n 's/^picture: //p' kde-thumbnail.txt)"
# Qt's MIME database, as Dolphin and Baloo see the files.
"$kde_check" mimetype flower.pes design.jpx picture.jpx renamed.jpx photo.pcd design.pcd > kde-mime.txt
for expected in flower.pes:application/x-pes design.jpx:application/x-jpx picture.jpx:image/jpx \
                renamed.jpx:image/jpx photo.pcd:image/x-photo-cd design.pcd:application/x-pcd; do
  file=${expected%%:*}
  check "Qt's MIME type of $file" "${expected#*:}" "$(sed -n "s/^$file: //p" kde-mime.txt)"
done
"$kde_check" extract flower.pes application/x-pes | tee kde-extract.txt
stitches=$(vardelle-cli metadata flower.pes --json | python3 -c 'import json,sys; print(int(json.load(sys.stdin)["vardelle_embroidery_stitches"]))')
check "stitch count through ExtractorCollection" "$stitches" "$(sed -n 's/^lineCount: //p' kde-extract.txt)"
colors=$(vardelle-cli metadata flower.pes --json | python3 -c 'import json,sys; print(int(json.load(sys.stdin)["vardelle_embroidery_colors"]))')
check "colour count through ExtractorCollection" "$colors" "$(sed -n 's/^channels: //p' kde-extract.txt)"

step "launcher entry and AppStream metadata"
desktop-file-validate /usr/share/applications/vardelle.desktop && echo "ok: desktop-file-validate"
appstreamcli validate --no-net /usr/share/metainfo/io.github.vardelle.Vardelle.metainfo.xml && echo "ok: appstreamcli validate"

step "bash completion"
complete_words() {  # the completions of the command line "$*" (the last word is completed)
  bash -c 'source /usr/share/bash-completion/bash_completion
           source /usr/share/bash-completion/completions/vardelle-cli
           COMP_WORDS=("$@"); COMP_CWORD=$(( $# - 1 )); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
           _vardelle_cli vardelle-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
           printf "%s\n" "${COMPREPLY[@]}" | sort | tr "\n" " "' _ "$@"
}
check "vardelle-cli con<TAB>" "convert " "$(complete_words vardelle-cli con)"
check "vardelle-cli render flower.pes out.png --<TAB> (render options)" \
  "--3d --cairo --help --jumps --points --size --thread " "$(complete_words vardelle-cli render flower.pes out.png --)"
check "vardelle-cli convert design.jpx f<TAB> (writable only)" "flower.dst flower.exp flower.jef flower.pcs flower.pec flower.pes " \
  "$(complete_words vardelle-cli convert design.jpx f)"

cd "$SRC"
step "remove"
"${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y -qq vardelle
left=()
while read -r path; do
  if [[ -L $path || -f $path ]]; then
    left+=("$path")  # a file of ours
  elif [[ -d $path ]] && ! dpkg -S "$path" >/dev/null 2>&1; then
    # A folder no other package holds stays only when something is still inside it.
    [[ -z $(ls -A "$path") || $path == */vardelle ]] && left+=("$path/")
  fi
done < dist/installed-files.txt
[[ ${#left[@]} -eq 0 ]] || fail "left behind after removal: ${left[*]}"
echo "ok: none of the $(wc -l < dist/installed-files.txt) installed paths is left"
dpkg -s vardelle >/dev/null 2>&1 && fail "vardelle is still known to dpkg"
grep -q "application/x-pes" /usr/share/mime/globs2 && fail "the MIME database still knows our types"
echo "ok: MIME database without our types"

echo
echo "package stage passed in $(( $(date +%s) - start )) s"
