# Sourced by the benches that drive programs on a screen of their own: an Xvfb with openbox,
# a work folder removed on exit, and the sample screenshot at 2880 × 1800 (2×) in $work/shot.png.
start_desktop() {
  work=$(mktemp -d)
  Xvfb "$1" -screen 0 1920x1080x24 >/dev/null 2>&1 &
  xvfb=$!
  trap 'kill "$xvfb" 2>/dev/null || true; rm -rf "$work"' EXIT
  sleep 1
  export DISPLAY=$1
  openbox >/dev/null 2>&1 &
  sleep 1
  convert resources/sample-screenshot.png -resize '2880x1800!' -units PixelsPerInch -density 144 "$work/shot.png"
}
