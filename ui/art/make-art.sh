#!/usr/bin/env bash
# Draws the program's pictures and icons with ImageMagick and icoutils and
# writes them beside this script, where the resource script finds them. The
# results are committed; run this again only to change the artwork.
# Needs: imagemagick, icoutils, fonts-liberation.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"

background='rgb(212,208,200)'
blue='rgb(0,0,160)'
font=/usr/share/fonts/truetype/liberation/LiberationSerif-BoldItalic.ttf
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# 8-bit bitmaps, run-length encoded (Windows 2000's LoadBitmap takes them),
# whose palette is exactly the picture's own colours: every pixel keeps its
# colour, so the background stays RGB(212,208,200) to the bit. A picture of
# more than 256 colours cannot be stored so and is refused.
save_bitmap() {
  local truecolour=$work/truecolour.bmp colours
  convert "$1" -alpha off -type TrueColor -compress None "BMP3:$truecolour"
  colours=$(identify -format %k "$truecolour")
  if ((colours > 256)); then
    echo "art: $2 has $colours colours, more than a palette holds" >&2
    return 1
  fi
  convert "$truecolour" -unique-colors "$work/palette.png"
  convert "$truecolour" +dither -remap "$work/palette.png" -type Palette -compress RLE "BMP3:$2"
  [[ $(compare -metric AE "$truecolour" "$2" null: 2>&1) == 0 ]] || {
    echo "art: $2 lost colours" >&2
    return 1
  }
}

# 144: the title, one line of large type.
convert -size 556x80 "xc:$background" -font "$font" -pointsize 66 -fill "$blue" \
  -annotate +16+64 'Corvane V1.0' "$work/title.png"
save_bitmap "$work/title.png" title.bmp

# 145: the blurb, two paragraphs each opened by ">>".
convert -size 656x156 "xc:$background" -font "$font" -pointsize 21 -fill "$blue" \
  -annotate +8+28 '>> Corvane backs up the partition system of your hard disk' \
  -annotate +36+54 'to a Corvane floppy disk.' \
  -annotate +8+94 '>> Later that floppy restores the partitions of your disk, to recover from' \
  -annotate +36+120 'a damaged partition table, missing partitions or a virus attack.' \
  "$work/blurb.png"
save_bitmap "$work/blurb.png" blurb.bmp

# 141: a three-dimensional pie chart with its slices pulled apart. Each slice
# is drawn as a stack of darker copies (its side wall) under its top face,
# without anti-aliasing: the chart has its twelve colours and the background.
pie_slice() {  # start-angle end-angle top-colour side-colour
  awk -v a0="$1" -v a1="$2" -v top="$3" -v side="$4" 'BEGIN {
    pi = atan2(0, -1); cx = 91; cy = 52; rx = 74; ry = 38; depth = 16; pull = 7
    mid = (a0 + a1) / 2 * pi / 180
    ox = cx + pull * cos(mid); oy = cy + pull * sin(mid) * ry / rx
    large = (a1 - a0 > 180) ? 1 : 0
    for (d = depth; d >= 0; d--) {
      y = oy + d
      x0 = ox + rx * cos(a0 * pi / 180); y0 = y + ry * sin(a0 * pi / 180)
      x1 = ox + rx * cos(a1 * pi / 180); y1 = y + ry * sin(a1 * pi / 180)
      printf "fill %s path \"M %.1f,%.1f L %.1f,%.1f A %d,%d 0 %d,1 %.1f,%.1f Z\" ",
        (d == 0 ? top : side), ox, y, x0, y0, rx, ry, large, x1, y1
    }
  }'
}
# Back slices first, so the front ones cover them.
draw=""
draw+=$(pie_slice 200 270 'rgb(0,160,0)' 'rgb(0,90,0)')
draw+=$(pie_slice 270 340 'rgb(0,0,220)' 'rgb(0,0,120)')
draw+=$(pie_slice 150 200 'rgb(0,110,110)' 'rgb(0,60,60)')
draw+=$(pie_slice 340 400 'rgb(240,220,0)' 'rgb(150,130,0)')
draw+=$(pie_slice 90 150 'rgb(150,0,200)' 'rgb(80,0,110)')
draw+=$(pie_slice 40 90 'rgb(220,0,0)' 'rgb(120,0,0)')
convert -size 182x120 "xc:$background" +antialias -stroke none -draw "$draw" "$work/pie.png"
save_bitmap "$work/pie.png" pie.bmp

# Icons in the sixteen colours of the standard Windows palette, drawn without
# anti-aliasing so that no other colour appears.
icon() {  # size output draw-commands
  convert -size "$1x$1" xc:none +antialias -stroke none -draw "$3" "PNG32:$2"
}
# 128: the program, a floppy disk with a red cross.
icon 32 "$work/program32.png" "
  fill navy rectangle 3,2 28,29 fill navy rectangle 2,3 29,28
  fill silver rectangle 9,2 22,11 fill navy rectangle 17,4 20,9
  fill white rectangle 6,15 25,29
  fill red rectangle 13,17 18,28 fill red rectangle 10,20 21,25"
icotool -c -b 4 -o program.ico "$work/program32.png"

# 131: a hard disk drive with its activity light.
disk_icon() {  # size output
  local s=$1 e=$(($1 - 1)) m=$(($1 / 2))
  icon "$s" "$2" "
    fill gray rectangle 1,$((m - s / 4)) $((e - 1)),$((m + s / 4))
    fill silver rectangle 0,$((m - s / 4 - 1)) $((e - 2)),$((m + s / 4 - 2))
    fill black rectangle 1,$((m + s / 4 - 1)) $((e - 1)),$((m + s / 4))
    fill lime rectangle $((e - s / 4)),$((m + s / 8 - 1)) $((e - s / 8)),$((m + s / 8))"
}
disk_icon 32 "$work/disk32.png"
disk_icon 16 "$work/disk16.png"
icotool -c -b 4 -o disk.ico "$work/disk32.png" "$work/disk16.png"

echo "art: wrote title.bmp pie.bmp blurb.bmp program.ico disk.ico"
