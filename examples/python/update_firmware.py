"""Updates a module from an image file: python3 update_firmware.py ADDRESS FILE [--bootloader] [--unchecked]

The whole file is checked first; a file that fails (cut short, a broken
record, the other kind of image) is refused before anything is sent, since
it would stop the update half way and leave the module running only its
bootloader. --unchecked skips that check."""

import sys

import zel


def main() -> int:
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    if len(args) != 2:
        print(__doc__.splitlines()[0], file=sys.stderr)
        return 2
    address, path = args
    bootloader = "--bootloader" in sys.argv
    try:
        with zel.open_module(address) as module:
            module.program(path, bootloader=bootloader, check_file="--unchecked" not in sys.argv,
                           progress=lambda state, percent: print(f"\r{percent:5.1f} % {state:10}", end="",
                                                                 file=sys.stderr))
            print(f"\n{address}: now runs firmware {module.firmware_version}, bootloader "
                  f"{module.bootloader_version}")
    except zel.FileError as e:
        print(f"not sent: {e.message}", file=sys.stderr)
        return 3
    except zel.ZelError as e:
        print(f"\n{address}: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
