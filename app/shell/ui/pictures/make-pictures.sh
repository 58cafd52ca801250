#!/usr/bin/env bash
# Draws the about-box picture and the cable picture with ImageMagick. The .jpg files are
# committed; run this again only to change the drawings.
set -eu
cd "$(dirname "$0")"

# About box: a desktop card reader with a card in its slot.
convert -size 120x150 xc:'#f4f6fa' \
  -fill '#d8dde6' -stroke '#8a93a3' -strokewidth 2 -draw 'roundrectangle 14,70 106,138 10,10' \
  -fill '#3a4150' -stroke none -draw 'rectangle 22,78 98,84' \
  -fill '#2f6fd0' -stroke '#1d4a91' -strokewidth 2 -draw 'roundrectangle 30,10 90,82 6,6' \
  -fill '#111111' -stroke none -draw 'rectangle 30,22 90,32' \
  -fill '#e8c547' -draw 'roundrectangle 40,44 56,58 2,2' \
  -fill '#55d16b' -draw 'circle 92,124 96,124' \
  -fill '#c03a3a' -draw 'circle 78,124 82,124' \
  -fill '#5a6272' -font DejaVu-Sans-Bold -pointsize 11 -draw "text 28,112 'KM5530'" \
  -quality 90 about.jpg

# Cable picture: reader, cable and the computer's USB port.
convert -size 420x260 xc:white \
  -fill '#d8dde6' -stroke '#8a93a3' -strokewidth 2 -draw 'roundrectangle 20,120 150,200 12,12' \
  -fill '#3a4150' -stroke none -draw 'rectangle 30,128 140,136' \
  -fill '#2f6fd0' -stroke '#1d4a91' -strokewidth 2 -draw 'roundrectangle 50,60 120,134 6,6' \
  -fill '#111111' -stroke none -draw 'rectangle 50,72 120,82' \
  -fill none -stroke '#222222' -strokewidth 6 -draw 'bezier 150,170 230,240 260,80 320,130' \
  -fill '#9aa2b0' -stroke '#5a6272' -strokewidth 2 -draw 'rectangle 312,116 346,144' \
  -fill '#dfe3ea' -draw 'rectangle 346,122 372,138' \
  -fill '#c9ced8' -stroke '#5a6272' -draw 'roundrectangle 360,60 410,220 6,6' \
  -fill '#333333' -stroke none -draw 'rectangle 370,124 380,136' \
  -fill '#333333' -font DejaVu-Sans-Bold -pointsize 14 -draw "text 40,230 'READER'" \
  -draw "text 290,200 'USB'" -draw "text 352,244 'PC'" \
  -quality 90 cable.jpg
