#!/usr/bin/env bash
# The carving parse starts from the same file heads as the signature walk.
exec bash "$(dirname "$0")/fuzz_signature_walk.sh" "$@"
