"""The binding table against the preprocessed C header."""

import os
import re
import subprocess

import pytest

from zel import _capi


def _norm(text):
    text = re.sub(r"\bconst\b", "", text)
    text = re.sub(r"\s+", " ", text).strip().replace(" *", "*")
    return text.replace("_Bool", "bool")


def header_functions():
    source = os.environ.get("ZEL_SOURCE_DIR")
    generated = os.environ.get("ZEL_GENERATED_DIR")
    if not source or not generated:
        pytest.skip("ZEL_SOURCE_DIR and ZEL_GENERATED_DIR are not set")
    out = subprocess.run(["cc", "-E", "-P", "-I" + source + "/src", "-I" + generated,
                          source + "/src/capi/zel_capi.h"], check=True, capture_output=True, text=True).stdout
    found = {}
    for head, args in re.findall(r'__attribute__\(\(visibility\("default"\)\)\)\s+([^;]+?)\s*\(([^)]*)\)\s*;',
                                 out.replace("\n", " ")):
        head = _norm(head)
        result, name = re.match(r"(.*?)([A-Za-z_]\w*)$", head).groups()
        params = [] if args.strip() in ("", "void") else [
            _norm(re.match(r"(.*?)([A-Za-z_]\w*)$", _norm(p)).group(1)) for p in args.split(",")]
        found[name] = (_norm(result), tuple(params))
    return found


def test_every_header_function_has_its_binding_with_the_same_types():
    declared = header_functions()
    bound = {name: (result, tuple(args)) for name, result, args in _capi.TABLE}
    assert len(declared) == 284
    assert sorted(set(declared) - set(bound)) == [], "functions of the header without a binding"
    assert sorted(set(bound) - set(declared)) == [], "bindings of functions the header lacks"
    for name, types in declared.items():
        assert bound[name] == types, name
    for _, result, args in _capi.TABLE:  # every type has its ctypes counterpart
        _capi.ctype(result)
        for a in args:
            _capi.ctype(a)


def test_a_missing_library_names_both_ways_to_find_it(monkeypatch):
    monkeypatch.setattr(_capi, "_library", None)
    monkeypatch.setenv("ZEL_LIBRARY", "/nowhere/libzel.so")
    with pytest.raises(_capi.LibraryNotFound, match="ZEL_LIBRARY.*beside"):
        _capi.library()


def test_the_package_the_library_and_the_project_agree_on_the_version():
    import zel

    source = os.environ.get("ZEL_SOURCE_DIR")
    if not source:
        pytest.skip("ZEL_SOURCE_DIR is not set")
    project = re.search(r"project\(ZELlibrary VERSION (\S+)", open(os.path.join(source, "CMakeLists.txt")).read())
    pyproject = re.search(r'^version = "(\S+)"', open(os.path.join(source, "python", "pyproject.toml")).read(), re.M)
    assert zel.library_version() == zel.__version__ == project.group(1) == pyproject.group(1)


def test_the_element_names_are_the_librarys():
    import ctypes

    from zel import config

    lib = _capi.library()
    handle = lib.ZelConfigFileCreate()
    try:
        for name, value in config._ELEMENTS.items():
            text = ctypes.create_string_buffer(64)
            assert lib.ZelConfigFileDecodeElementType(handle, text, value) == 0
            assert text.value.decode("latin-1") == name
    finally:
        lib.ZelConfigFileDelete(handle)
