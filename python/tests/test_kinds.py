"""The package's module kinds agree with the library's kind registry
(src/modules/module_id_table.h and the kind rows of module_identity.h): each
identity opens as the class of its kind, and each class names its kind as
the library's tools do."""

import os
import pathlib
import re

from zel import modules

SOURCE = pathlib.Path(os.environ.get("ZEL_SOURCE_DIR", pathlib.Path(__file__).resolve().parents[2]))


def _identities():
    table = (SOURCE / "src/modules/module_id_table.h").read_text()
    return [(int(value), kind) for value, kind in
            re.findall(r'X\(ZEL_\w+,\s*(\d+),\s*"[^"]*",\s*"[^"]*",\s*(\w+),', table)]


def _kind_names():
    header = (SOURCE / "src/modules/module_identity.h").read_text()
    return dict(re.findall(r'\{Kind::(\w+),\s*"([^"]+)"', header))


def test_every_identity_opens_as_the_class_of_its_kind():
    identities = _identities()
    assert len(identities) > 30
    for value, kind in identities:
        expected = getattr(modules, kind + "Module", modules.Module)
        assert modules._kind_of(value) is expected, (value, kind)


def test_every_class_names_its_kind_as_the_library_does():
    names = _kind_names()
    assert set(names) == {kind for _, kind in _identities()}
    for kind, name in names.items():
        cls = getattr(modules, kind + "Module", None)
        if cls is not None:
            assert cls.kind == name, kind
    power = {value // 100 for value, kind in _identities() if kind == "PowerSupply"}
    assert power == set(modules._POWER_SUPPLY_HARDWARE)
