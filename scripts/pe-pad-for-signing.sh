#!/usr/bin/env bash
# Pads a PE file (the shipped DLL) with zeros to a multiple of 8 bytes and sets its header
# check sum to match, as Authenticode signing would: a signature is appended at an 8-byte
# boundary, and `osslsigncode remove-signature` leaves that padding in place and sets the
# check sum anew. Padded here, a signed DLL without its signature is the unsigned DLL byte for
# byte, which lets anyone compare a signed release with their own build.
#   scripts/pe-pad-for-signing.sh FILE
set -euo pipefail
file=$1
truncate -s %8 "$file"
# The check sum: the file's 16-bit little-endian words, the check sum field itself left out,
# added with end-around carry, plus the file's length.
header=$(od -An -tu4 -j60 -N4 "$file" | tr -d ' ')
field=$((header + 88))
sum=$(od -An -v -tu2 -w2 "$file" | awk -v skip=$((field / 2)) '
  NR - 1 != skip && NR - 1 != skip + 1 { s += $1; if (s > 65535) s = s % 65536 + int(s / 65536) }
  END { print s + 0 }')
checksum=$((sum + $(stat -c %s "$file")))
printf "$(printf '\\%03o' $((checksum & 255)) $((checksum >> 8 & 255)) $((checksum >> 16 & 255)) $((checksum >> 24 & 255)))" |
  dd of="$file" bs=1 seek=$field conv=notrunc status=none
