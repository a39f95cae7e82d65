"""Writes a module's readings to CSV: python3 watch_positions.py ADDRESS FILE [SAMPLES] [HZ]

Each channel's column names its unit: a length or angle once the channel's
resolution and unit are set, an LVDT channel without a resolution in volts,
and a Kalix channel has a second column with its revolutions."""

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
        header = ["time"]
        for i, reading in enumerate(first):
            header.append(f"ch {i} ({reading.unit})")
            if reading.revolutions is not None:
                header.append(f"ch {i} (revolutions)")
        writer.writerow(header)
        start = time.monotonic()
        for n in range(samples):
            row = [f"{time.monotonic() - start:.3f}"]
            for reading in module.positions():
                row.append(f"{reading.value:.4f}")
                if reading.revolutions is not None:
                    row.append(str(reading.revolutions))
            writer.writerow(row)
            time.sleep(max(0.0, start + (n + 1) * period - time.monotonic()))


if __name__ == "__main__":
    main()
