"""The header blocks of a firmware image file."""

from __future__ import annotations

from dataclasses import dataclass
from typing import List

_KEYS = ("ZEL_NAME: ", "ZEL_IMAGE_TYPE: ", "ZEL_MODULE_PRIORITY: ", "ZEL_VERSION: ", "ZEL_DATE: ",
         "ZEL_FILE_SIZE_BYTES: ", "ZEL_CHECKSUM: ")


@dataclass(frozen=True)
class ImageHeader:
    name: str
    image_type: str
    priority: str
    version: str
    date: str
    size_bytes: int
    checksum: int


def image_info(path: str) -> List[ImageHeader]:
    """The header blocks of an image file, in the file's order (the library
    reads them the same way: seven key lines in a fixed order)."""
    with open(path, "rb") as f:
        lines = f.read().decode("latin-1").splitlines()
    headers = []
    i = 0
    while i < len(lines):
        if _KEYS[0] in lines[i] and i + 6 < len(lines) and all(_KEYS[k] in lines[i + k] for k in range(7)):
            v = [" ".join(lines[i + k].replace(_KEYS[k], "").split()) for k in range(7)]
            headers.append(ImageHeader(v[0], v[1], v[2], v[3], v[4], int(v[5] or 0), int(v[6] or 0)))
            i += 7
        else:
            i += 1
    if not headers:
        raise ValueError(f"{path}: no complete header block")
    return headers
