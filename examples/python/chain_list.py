"""Lists every module that answers the discovery: python3 chain_list.py HOST_IP [NETMASK]"""

import sys

import zel


def main() -> None:
    host = sys.argv[1]
    netmask = sys.argv[2] if len(sys.argv) > 2 else "255.255.255.0"
    for m in zel.discover(host, netmask):
        print(f"{m.address:15} {m.model:9} {m.kind:14} serial {m.serial}  firmware {m.firmware}  "
              f"{m.channels} channels")


if __name__ == "__main__":
    main()
