#!/usr/bin/env bash
# Draws the panel's skin images (theme1) with ImageMagick from the shapes and texts below.
#
#   skins/tools/make_skins.sh [OUTPUT_DIR]     (default: skins/theme1 of this repository)
#
# The panel is 396 x 289. Its first 249 rows hold everything the user acts on, because the tray icon brings the
# panel back at that height; the 40 rows below show a small version tab only at start.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-"$here/../theme1"}
mkdir -p "$out"

font=/usr/share/fonts/truetype/open-sans/OpenSans-Semibold.ttf
font_regular=/usr/share/fonts/truetype/open-sans/OpenSans-Regular.ttf
[ -f "$font" ] || { echo "make_skins: $font missing (apt-get install fonts-open-sans)" >&2; exit 1; }

# Palette
card_top='#202632'; card_bottom='#171b23'; card_edge='#343c4a'; rule='#2b3240'
text='#e8ebf0'; muted='#8c96a5'; accent='#ff6a2b'; on='#2fbf71'; off_fill='#3a4250'; knob='#f5f7fa'

# The background: a rounded card with the title, the close mark, and the labels of the two switches.
convert -size 396x289 xc:none \
  \( -size 388x241 gradient:"$card_top"-"$card_bottom" \
     \( -size 388x241 xc:none -fill white -draw 'roundrectangle 0,0 387,240 16,16' \) \
     -alpha off -compose CopyOpacity -composite \) -geometry +4+4 -compose Over -composite \
  -fill none -stroke "$card_edge" -strokewidth 1 -draw 'roundrectangle 4.5,4.5 391.5,244.5 16,16' \
  -stroke none -fill "$accent" -draw 'roundrectangle 22,17 26,35 2,2' -draw 'circle 24,36 24,40.5' \
  -fill "$text" -font "$font" -pointsize 15 -annotate +36+32 'Kelvaro-DIG' \
  -stroke "$muted" -strokewidth 2 -draw 'line 365,20 375,30' -draw 'line 375,20 365,30' \
  -stroke "$rule" -strokewidth 1 -draw 'line 20,62 376,62' -draw 'line 20,136 376,136' -draw 'line 20,194 376,194' \
  -stroke none -fill "$text" -font "$font" -pointsize 14 -annotate +28+104 'Display light' \
  -fill "$muted" -font "$font_regular" -pointsize 11 -annotate +28+121 'Digits on the cooler lit or dark' \
  -fill "$text" -font "$font" -pointsize 14 -annotate +28+161 'Temperature unit' \
  -fill "$muted" -font "$font_regular" -pointsize 11 -annotate +28+178 'Shown on every display' \
  -fill "$muted" -font "$font_regular" -pointsize 11 \
  -annotate +28+222 'Closing the panel keeps Calidra in the notification area.' \
  \( -size 150x30 xc:none -fill "$card_bottom" -stroke "$card_edge" -draw 'roundrectangle 0.5,-12 149.5,29.5 10,10' \
     -stroke none -fill "$muted" -font "$font_regular" -pointsize 11 -gravity center -annotate +0+0 'Version 1.0.0.5' \
  \) -gravity northwest -geometry +123+250 -compose Over -composite \
  "PNG32:$out/img_bkg.png"

# Switch states, 71 x 23 each.
switch() {  # $1 file, $2 fill, $3 knob x, $4 label, $5 label x
  convert -size 71x23 xc:none -fill "$2" -draw 'roundrectangle 0,0 70,22 11,11' \
    -fill "$knob" -draw "circle $3,11 $(($3 + 8)),11" \
    -fill white -font "$font" -pointsize 10 -annotate "+$5+15" "$4" "PNG32:$out/$1"
}
switch img_led_on.png "$on" 59 ON 12
switch img_dev_off.png "$off_fill" 11 OFF 32

unit() {  # $1 file, $2 left of highlight
  convert -size 71x23 xc:none -fill "$off_fill" -draw 'roundrectangle 0,0 70,22 11,11' \
    -fill "$accent" -draw "roundrectangle $2,2 $(($2 + 32)),20 9,9" \
    -fill white -font "$font" -pointsize 11 -annotate +9+16 '°C' -annotate +44+16 '°F' "PNG32:$out/$1"
}
unit img_temp_type1.png 2
unit img_temp_type2.png 36

# Focus rings, drawn centred over what has the keyboard focus: a rounded ring 2 pixels outside a switch, and a
# circle around the close mark (its 20 x 20 area).
convert -size 79x31 xc:none -fill none -stroke "$text" -strokewidth 2 -draw 'roundrectangle 1,1 77,29 15,15' \
  "PNG32:$out/img_focus_switch.png"
convert -size 24x24 xc:none -fill none -stroke "$text" -strokewidth 2 -draw 'circle 11.5,11.5 11.5,1.5' \
  "PNG32:$out/img_focus_close.png"

# Button: four frames side by side (normal, hover, pressed, disabled), 100 x 30 each; captions are drawn by
# the button itself.
button_frame() {  # $1 file, $2 fill, $3 edge
  convert -size 100x30 xc:none -fill "$2" -stroke "$3" -strokewidth 1 -draw 'roundrectangle 0.5,0.5 99.5,29.5 8,8' \
    "PNG32:$1"
}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
button_frame "$tmp/1.png" '#f4f5f7' '#b9c0ca'
button_frame "$tmp/2.png" '#ffffff' "$accent"
button_frame "$tmp/3.png" '#e2e5ea' '#8c96a5'
button_frame "$tmp/4.png" '#eceef1' '#d5d9df'
convert "$tmp/1.png" "$tmp/2.png" "$tmp/3.png" "$tmp/4.png" +append +repage "PNG32:$out/img_button.png"

python3 "$here/make_icon.py" "$out/Calidra.ico"
