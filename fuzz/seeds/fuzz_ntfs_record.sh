#!/bin/sh
# Seeds for fuzz_ntfs_record: the 1024-byte MFT records of a small mkntfs volume.
exec sh "$(dirname "$0")/ntfs_volume_records.sh" "$1" mft 1024 64 0
