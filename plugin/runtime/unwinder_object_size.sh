#!/usr/bin/env bash
# Prints how many bytes the toolchain's own start file, crtbegin.o, reserves for the unwinder's
# bookkeeping of one registration of unwind tables (its static `obj`, libgcc's struct object).
# frame_tables.cpp reserves the same for the module's registration in place of crtbegin.o, and
# the build stops when the two differ: libgcc writes that many bytes there at every load.
# The object file records no symbol sizes, so the size is the distance from `obj` to the next
# symbol in its section, or to the section's end.
#   unwinder_object_size.sh <objdump> <crtbegin.o>
set -eu
objdump=$1 crtbegin=$2
fail() {
  echo "unwinder_object_size: $*" >&2
  exit 1
}
[ -f "$crtbegin" ] || fail "no start file at '$crtbegin'"
symbols=$("$objdump" -t "$crtbegin") || fail "$objdump could not read $crtbegin"
sections=$("$objdump" -h "$crtbegin") || fail "$objdump could not read $crtbegin"
# "[  3](sec  3)(fl 0x00)(ty    0)(scl   3) (nx 0) 0x00000004 _obj"
line=$(grep -E '\) 0x[0-9a-f]+ _?obj$' <<<"$symbols") || fail "$crtbegin has no obj"
[ "$(wc -l <<<"$line")" = 1 ] || fail "$crtbegin has more than one obj"
section=$(sed -E 's/.*\(sec +([0-9]+)\).*/\1/' <<<"$line")
start=$((16#$(awk '{ print $(NF - 1) }' <<<"$line" | sed 's/^0x//')))
# The section's size: "Idx Name Size ..." rows count sections from 0, symbols from 1.
size=$(awk -v idx=$((section - 1)) '$1 == idx { print $3 }' <<<"$sections")
[ -n "$size" ] || fail "$crtbegin has no section $section"
end=$((16#$size))
while read -r value; do
  offset=$((16#${value#0x}))
  if [ "$offset" -gt "$start" ] && [ "$offset" -lt "$end" ]; then end=$offset; fi
done < <(grep -E "\(sec +$section\)" <<<"$symbols" | awk '{ print $(NF - 1) }')
[ "$end" -gt "$start" ] || fail "obj in $crtbegin has no room"
echo $((end - start))
