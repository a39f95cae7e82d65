"""ZELlibrary for Python: the modules of a measuring chain, their
configuration file and their firmware, over the library's C interface.

>>> import zel
>>> for m in zel.discover("172.31.46.1"):
...     print(m.address, m.model, m.kind)
"""

from .config import ConfigFile
from .errors import (AddressError, ConfigError, FileError, NotInitialised, OutOfRange, TextError, Timeout,
                     ZelError)
from .images import ImageHeader, image_info
from .modules import (AnalogModule, IoModule, KalixModule, LvdtModule, Module, ModuleInfo, OneVppModule,
                      PneumaticModule, Reading, TtlModule, check_image, discover, open_module)
from ._capi import LibraryNotFound, library


def library_version() -> str:
    """The version of the loaded library."""
    import ctypes

    text = ctypes.create_string_buffer(32)
    library().ZelModuleGetLibraryVersion(text)
    return text.value.decode("latin-1")


__all__ = [
    "AddressError", "AnalogModule", "ConfigError", "ConfigFile", "FileError", "ImageHeader", "IoModule", "KalixModule",
    "LibraryNotFound", "LvdtModule", "Module", "ModuleInfo", "NotInitialised", "OneVppModule", "OutOfRange",
    "PneumaticModule", "Reading", "TextError", "Timeout", "TtlModule", "ZelError", "check_image", "discover",
    "image_info", "library",
    "library_version", "open_module",
]
__version__ = "2.3.0"
