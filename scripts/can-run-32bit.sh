#!/usr/bin/env bash
# Tells whether this machine can execute a 32-bit x86 program: exits 0 if
# it can, 1 (with the reason on stdout) if it cannot. Some machines of our
# kind cannot (their kernels refuse i386 programs with "Exec format error"),
# and Wine's 32-bit loader is such a program, so the 32-bit Windows tests
# cannot run there.
#
# The probe is a 96-byte static i386 ELF written here byte by byte (no
# 32-bit toolchain or library needed): it calls exit(42) through int 0x80.
set -u
probe=$(mktemp "${TMPDIR:-/tmp}/zel-probe32.XXXXXX")
trap 'rm -f "$probe"' EXIT
#      ELF header (52 bytes): 32-bit, little-endian, executable, i386, entry 0x08048054
printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00' > "$probe"
printf '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00' >> "$probe"
printf '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00' >> "$probe"
#      one loadable segment: the whole file at 0x08048000, read and execute
printf '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08' >> "$probe"
printf '\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00' >> "$probe"
#      mov eax, 1 (exit); mov ebx, 42; int 0x80
printf '\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >> "$probe"
chmod +x "$probe"
if [ "${ZEL_ASSUME_NO_32BIT:-0}" = 1 ]; then
    echo "ZEL_ASSUME_NO_32BIT=1 is set"
    exit 1
fi
error=$("$probe" 2>&1)
status=$?
if [ "$status" -eq 42 ]; then
    exit 0
fi
echo "a 32-bit probe program ended with status $status${error:+ ($(echo "$error" | tail -1))}"
exit 1
