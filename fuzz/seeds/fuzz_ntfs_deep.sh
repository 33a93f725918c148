#!/bin/sh
# Seeds for fuzz_ntfs_deep: devices that start at an MFT record of a small mkntfs volume (with the
# records after it, so parents can be found), followed by the bytes that choose the pass.
exec sh "$(dirname "$0")/ntfs_volume_records.sh" "$1" dev 16384 40 1
