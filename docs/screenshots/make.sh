#!/bin/sh
# Regenerates the screenshots in this folder from a build's application
# folder, each from the settings file of the same name.
#
#   docs/screenshots/make.sh [APP_DIR]      (default: build/app)
#
# Needs what tools/screenshot.py needs (Xvfb, openbox, xdotool,
# x11-utils, ImageMagick) and the fonts of fonts-liberation.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
app=${1:-$root/build/app}
shot() {
    python3 "$root/tools/screenshot.py" --app "$app" \
        --ini "$here/$1.ini" --out "$here/$1.png" ${2:+--args "$2"}
}
shot default
shot tool-window /place:Postfach_2
shot frameless /place:Team-Besprechung
