#!/bin/sh
# Seeds for fuzz_ntfs_fast_runlists: the MFT of a small mkntfs volume from one of its records on,
# which the target lays out as MFT records 1..63 and the clusters after them.
exec sh "$(dirname "$0")/ntfs_volume_records.sh" "$1" mft 65536 4 0
