#!/usr/bin/env bash
# Screenshots of the application for the README, taken under Xvfb: a document window with the
# bundled sample (3D, hoop, rulers), the same window relaunched with one thread picked (thread
# list and colour panel) and the preferences window. Writes docs/screenshots/*.png.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target vardelle
mkdir -p docs/screenshots

# A private, empty configuration: registered defaults, no restored windows, no open panel.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/config/vardelle" "$work/state" "$work/runtime"
chmod 700 "$work/runtime"
cat > "$work/config/vardelle/vardelle.app.plist" <<'PLIST'
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0"><dict>
  <key>SkipOpenDialog</key><true/>
  <key>CheckForUpdates</key><false/>
</dict></plist>
PLIST

# One shot: start the application with ARGS on a fresh X server, wait, grab the screen, trim the
# empty root window around the application's window.
shoot() {
  local out=$1; shift
  XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state" XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/runtime" \
  VARDELLE_RESOURCES="$PWD/resources" QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1280x900x24" bash -c '
    out=$1; shift
    "$@" &
    app=$!
    sleep 5
    import -window root "$out.raw.png"
    kill "$app" 2>/dev/null || true
    wait "$app" 2>/dev/null || true
  ' shoot "$out" "$@"
  convert "$out.raw.png" -bordercolor black -border 1 -trim +repage "$out"
  rm -f "$out.raw.png"
  echo "wrote $out"
}

shoot docs/screenshots/document.png build/vardelle resources/samples/flower.jef
shoot docs/screenshots/preferences.png build/vardelle --preferences

# A relaunch that restores the sample's window with its third thread picked: the thread list
# marks that row and the colour panel shows the thread's colour.
mkdir -p "$work/state/vardelle"
cat > "$work/state/vardelle/window-1.plist" <<PLIST
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0"><dict>
  <key>VDLFilePath</key><string>$PWD/resources/samples/flower.pes</string>
  <key>VDLIsEdited</key><false/>
  <key>VDLSelectedThread</key><integer>2</integer>
</dict></plist>
PLIST
shoot docs/screenshots/thread-colours.png build/vardelle
