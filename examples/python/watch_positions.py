"""Writes a module's positions to CSV: python3 watch_positions.py ADDRESS FILE [SAMPLES] [HZ]"""

import csv
import sys
import time

import zel


def main() -> None:
    address, path = sys.argv[1], sys.argv[2]
    samples = int(sys.argv[3]) if len(sys.argv) > 3 else 10
    period = 1.0 / (float(sys.argv[4]) if len(sys.argv) > 4 else 10.0)
    with zel.open_module(address) as module, open(path, "w", newline="") as f:
        writer = csv.writer(f)
        first = module.positions()
        writer.writerow(["time"] + [f"ch {i} ({unit})" for i, (_, unit) in enumerate(first)])
        start = time.monotonic()
        for n in range(samples):
            values = module.positions()
            writer.writerow([f"{time.monotonic() - start:.3f}"] + [f"{v:.4f}" for v, _ in values])
            time.sleep(max(0.0, start + (n + 1) * period - time.monotonic()))


if __name__ == "__main__":
    main()
