#!/usr/bin/env bash
# The build refuses a firmware image that is empty or not a whole number of 515-byte records,
# and takes the stand-in and a real-sized image. Runs the build's own image check in script
# mode: cmake -DPXR7_FIRMWARE_IMAGE=... -P cmake/firmware_image.cmake
set -u
check=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
passed=0
failed=0

expect() { # name, wanted exit (0 or 1), pattern, image
    local output status
    output=$(cmake -DPXR7_FIRMWARE_IMAGE="$4" -P "$check" 2>&1)
    status=$?
    if [[ $(( status != 0 )) -eq $2 ]] && grep -q -- "$3" <<<"$output"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL $1 (exit $status): $output"
    fi
}

: >"$scratch/empty.bin"
head -c 516 /dev/zero >"$scratch/ragged.bin"
head -c 1030 /dev/zero >"$scratch/two-records.bin"
expect empty 1 "is empty" "$scratch/empty.bin"
expect ragged 1 "516 bytes, not a whole number of 515-byte records" \
    "$scratch/ragged.bin"
expect missing 1 "is not a file" "$scratch/none.bin"
expect whole 0 "(2 records)" "$scratch/two-records.bin"
expect standin 0 "stand-in for testing (314 records)" "$(dirname "$check")/../firmware/pxr7-standin.bin"
echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
