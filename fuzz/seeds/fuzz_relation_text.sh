#!/bin/sh
# Seeds for fuzz_relation_text: relation texts as stores write them, plus near misses.
set -eu
out="$1"
mkdir -p "$out"
printf ' | 0 - [1,2,3]' > "$out/root_only"
printf ' | 0 - [1,2,3] | 4294967301 - [7]' > "$out/two_levels"
printf ' | 5 - [1,2] | 5 - [3] | 18446744073709551615 - [4294967295]' > "$out/replace_and_limits"
printf ' | 1 - [1,x] | 2 - [0] | 3 - [4 | 4 - [] | 6 - [ 8 , 9 ]' > "$out/broken"
