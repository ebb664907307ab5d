#!/bin/sh
# Runs a test program with umockdev's library preloaded, so that the testbed it makes stands in
# for /sys and /dev. In a sanitized build the preloaded library comes before the sanitizer's
# runtime, which the sanitizer then must be told to accept.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0"
exec umockdev-wrapper "$@"
