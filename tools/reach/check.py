#!/usr/bin/env python3
"""Lists the program's own units and functions that nothing in the program reaches.

The program is linked with one section per function and unused sections dropped
(cmake -DKEVO_GC_CHECK=ON); the link's launcher keeps what the linker said in
BUILD/reach/link.txt: every archive member it loaded (--trace twice) and every
section it dropped (--print-gc-sections). What the linker drops is reached
neither from main, nor from a start-up registration, nor from the virtual
functions or callbacks of anything the program creates.

Our own functions are the sections of our archives (and of the program's main
unit) that are in no section group: inline functions and templates sit in
groups shared with every unit that uses them and are not counted.

The check fails when a unit is never linked or wholly dropped, or a function is
unreached, unless its name is in the kept list (tools/reach/allowed.txt), one
entry a line:  NAME -- reason
NAME is a unit ("devlink/MedInfoReq.cpp"), a function without its parameters
("CKvsScnPrmF::PercentFromVolume"), a function with its parameters as the check
prints them ("GetAbsTimeNow(double*)": that one overload alone), or a class with
"::*" ("CColorValue::*"). A name that several functions of ours share must be
listed with its parameters: a bare name would also hide the others the day they
become unreached.

Usage: check.py BUILD_DIR [--allowed FILE] [--source DIR]
"""

import argparse
import json
import os
import re
import shlex
import subprocess
import sys

GC_BFD = re.compile(r"removing unused section (?:from )?'([^']+)' in file '([^']+)'")
GC_LLD = re.compile(r"removing unused section (\S+):\((\S+)\)")
TRACE_BFD = re.compile(r"^\(([^()]+\.a)\)(\S+)$")
TRACE_LLD = re.compile(r"^(\S+\.a)\(([^()]+)\)$")
MEMBER = re.compile(r"^(.*\.a)\(([^()]+)\)$")
READELF_FILE = re.compile(r"^File: (.+)$")
READELF_SECTION = re.compile(
    r"^\s*\[\s*\d+\]\s+(\S+)\s+\S+\s+[0-9a-f]+\s+[0-9a-f]+\s+([0-9a-f]+)\s+[0-9a-f]+\s+"
    r"([A-Za-z]*)\s+\d+\s+\d+\s+\d+\s*$")
# Sections the compiler names by temperature or purpose before the symbol.
TEXT_PREFIXES = ("unlikely.", "startup.", "hot.", "exit.", "split.")
# Functions of the standard library and of Qt that a unit gets from their headers
# with internal linkage (templates over a unit's own local types, static inline
# helpers): theirs, not ours.
FOREIGN = re.compile(r"(^|[\s:(<*&])(std|__gnu_cxx|QtPrivate)::|^__")


def object_key(path):
    """'dir/libkvbase.a(Clock.cpp.o)' -> ('kvbase', 'Clock.cpp.o'); other objects keep their path."""
    m = MEMBER.match(path)
    if m:
        lib = os.path.basename(m.group(1))
        lib = lib[3:] if lib.startswith("lib") else lib
        return (lib[:-2], m.group(2))
    return ("", os.path.normpath(path))


def parse_link_log(text):
    """Archive members loaded, and the sections dropped, by object key."""
    loaded = set()
    dropped = {}
    for line in text.splitlines():
        line = line.strip()
        m = GC_BFD.search(line)
        if m:
            dropped.setdefault(object_key(m.group(2)), set()).add(m.group(1))
            continue
        m = GC_LLD.search(line)
        if m:
            dropped.setdefault(object_key(m.group(1)), set()).add(m.group(2))
            continue
        m = TRACE_BFD.match(line) or TRACE_LLD.match(line)
        if m:
            loaded.add(object_key(f"{m.group(1)}({m.group(2)})"))
        elif line.endswith(".o") and " " not in line:
            loaded.add(object_key(line))
    return loaded, dropped


def parse_readelf(text):
    """Own function sections (non-empty .text.*, outside any group) by object key."""
    sections = {}
    current = None
    for line in text.splitlines():
        m = READELF_FILE.match(line)
        if m:
            current = object_key(m.group(1).strip())
            sections.setdefault(current, set())
            continue
        m = READELF_SECTION.match(line)
        if not m or current is None:
            continue
        name, size, flags = m.group(1), int(m.group(2), 16), m.group(3)
        if name.startswith(".text.") and size > 0 and "G" not in flags:
            sections[current].add(name)
    return sections


def section_symbol(section):
    """'.text._ZN3Foo3barEv' -> '_ZN3Foo3barEv'."""
    name = section[len(".text."):]
    for p in TEXT_PREFIXES:
        if name.startswith(p):
            return name[len(p):]
    return name


def is_startup(section):
    return section.startswith(".text.startup") or "_GLOBAL__sub_I" in section


def _strip_thunk_and_tags(demangled):
    s = re.sub(r"^(non-)?virtual thunk to ", "", demangled.strip())
    return re.sub(r"\[abi:[^\]]*\]", "", s)


def signature(demangled):
    """The function with its parameters and qualifiers, as c++filt writes them.
    What a function holds (its lambdas, local classes) goes by the function."""
    s = _strip_thunk_and_tags(demangled).replace("(anonymous namespace)", "\x01")
    depth = 0
    for i, c in enumerate(s):
        if c in "(<":
            depth += 1
        elif c in ")>":
            depth -= 1
            if depth == 0 and c == ")":
                m = re.match(r"((?:\s*const)?)::", s[i + 1:])
                if m:
                    s = s[:i + 1] + m.group(1)
                    break
    return s.replace("\x01", "(anonymous namespace)").strip()


def is_signature(name):
    """Whether a name carries its parameters."""
    return "(" in name.replace("(anonymous namespace)", "")


def same_signature(a, b):
    """Signatures compared without regard to blanks."""
    return re.sub(r"\s+", "", a) == re.sub(r"\s+", "", b)


def short_name(demangled):
    """The function's name without its parameters and qualifiers. What a
    function holds (its lambdas, local classes) goes by the function's name."""
    s = signature(demangled)
    while True:
        t = re.sub(r"\s*(const|volatile|&&|&|noexcept)\s*$", "", s)
        if t == s:
            break
        s = t
    if not s.endswith(")"):
        return s
    depth = 0
    for i in range(len(s) - 1, -1, -1):
        if s[i] == ")":
            depth += 1
        elif s[i] == "(":
            depth -= 1
            if depth == 0:
                return s[:i]
    return s


def demangle(symbols):
    symbols = list(symbols)
    if not symbols:
        return {}
    out = subprocess.run(["c++filt"], input="\n".join(symbols) + "\n", capture_output=True,
                         text=True, check=True).stdout.splitlines()
    return dict(zip(symbols, out))


def parse_allowed(text):
    """name -> reason; a line without a reason is an error."""
    allowed = {}
    errors = []
    for n, line in enumerate(text.splitlines(), 1):
        line = line.strip()
        if not line or line.startswith("#"):
            continue
        name, sep, reason = line.partition(" -- ")
        if not sep or not reason.strip() or not name.strip():
            errors.append(f"line {n}: needs 'NAME -- reason': {line}")
            continue
        name = name.strip()
        if is_signature(name) and not re.search(r"\)(\s*(const|volatile|&&|&))*$", name):
            errors.append(f"line {n}: a signature ends with its parameters: {line}")
            continue
        allowed[name] = reason.strip()
    return allowed, errors


def match_allowed(name, allowed):
    """The entry that allows a unit, or a function by its signature: the entry
    with these parameters, else the bare name, else a class's "::*"; or None."""
    if name in allowed:
        return name
    if is_signature(name):
        for entry in allowed:
            if "(" in entry and same_signature(entry, name):
                return entry
        name = short_name(name)
        if name in allowed:
            return name
    parts = name.split("::")
    for i in range(len(parts) - 1, 0, -1):
        pattern = "::".join(parts[:i]) + "::*"
        if pattern in allowed:
            return pattern
    return None


def judge(never, whole, unreached, allowed, overloaded=frozenset()):
    """(what the kept list does not allow, the list's entries that allow nothing).
    overloaded: names that several functions of ours share; a bare entry for
    one of them allows nothing."""
    used, failures = set(), []

    def allow(kind, name, unit=None):
        entry = match_allowed(name, allowed) or (unit and match_allowed(unit, allowed))
        if entry and entry in overloaded:
            used.add(entry)
            failures.append(f"{kind}: {name}" + (f"  ({unit})" if unit else "") +
                            f": '{entry}' is the name of several functions: list this one "
                            "with its parameters")
        elif entry:
            used.add(entry)
        else:
            failures.append(f"{kind}: {name}" + (f"  ({unit})" if unit else ""))

    for u in never:
        allow("unit never linked", u)
    for u in whole:
        allow("unit wholly dropped", u)
    for unit, fn in unreached:
        allow("function unreached", fn, unit)
    return failures, sorted(set(allowed) - used)


def analyse(units, loaded, dropped, sections, names):
    """units: object key -> source path of the program's own units.
    Answers (never linked, wholly dropped, unreached functions as (unit, signature))."""
    never, whole, unreached = [], [], []
    for key, source in sorted(units.items(), key=lambda kv: kv[1]):
        own = sections.get(key, set())
        if key not in loaded:
            never.append(source)
            continue
        gone = dropped.get(key, set()) & own
        kept = [s for s in own - gone if not is_startup(s)]
        if own and not kept:
            whole.append(source)
        def fn(s):
            return signature(names.get(section_symbol(s), section_symbol(s)))
        # A function counts as reached when any of its sections is kept: g++ emits a
        # destructor (or constructor) more than once, for whole objects and for base
        # parts, and a thunk beside a function, and the program may need only one.
        # Overloads are functions of their own.
        reached = {fn(s) for s in kept}
        fns = {fn(s) for s in gone if not is_startup(s)}
        # Destructors are left out: which of its forms a compiler emits for a class,
        # and which of those the program needs, is the compiler's affair.
        fns = sorted((f for f in fns - reached
                      if not FOREIGN.search(short_name(f)) and "::~" not in short_name(f)),
                     key=lambda f: (short_name(f), f))
        unreached.extend((source, f) for f in fns)
    return never, whole, unreached


def overloaded_names(units, sections, names):
    """The names that several functions of our own units share (overloads, a
    const and a non-const form)."""
    forms = {}
    for key in units:
        for s in sections.get(key, set()):
            if is_startup(s):
                continue
            sig = signature(names.get(section_symbol(s), section_symbol(s)))
            forms.setdefault(short_name(sig), set()).add(re.sub(r"\s+", "", sig))
    return {name for name, sigs in forms.items() if len(sigs) > 1}


def program_units(compile_commands, source_dir, libs, extra_objects, build_dir=None):
    """Object key -> source path (relative to the source tree) of every unit the
    program's archives and objects are built from; generated sources are left out."""
    units = {}
    source_dir = os.path.realpath(source_dir)
    build_dir = os.path.realpath(build_dir) if build_dir else None
    for entry in compile_commands:
        src = os.path.realpath(os.path.join(entry["directory"], entry["file"]))
        if not src.startswith(source_dir + os.sep):
            continue
        # A build tree may sit inside the source tree: what it generates is not ours.
        if build_dir and src.startswith(build_dir + os.sep):
            continue
        args = entry.get("arguments") or shlex.split(entry["command"])
        out = args[args.index("-o") + 1] if "-o" in args else None
        if not out:
            continue
        m = re.match(r"^(?:.*/)?CMakeFiles/([^/]+)\.dir/", out)
        rel = os.path.relpath(src, source_dir)
        if m and m.group(1) in libs:
            units[(m.group(1), os.path.basename(out))] = rel
        elif os.path.normpath(out) in extra_objects:
            units[("", os.path.normpath(out))] = rel
    return units


def own_inputs(loaded, build_dir):
    """Our archives (built in the build tree) and our plain objects among what was linked."""
    libs, objects = set(), set()
    for lib, member in loaded:
        if lib and os.path.exists(os.path.join(build_dir, f"lib{lib}.a")):
            libs.add(lib)
        elif not lib and not os.path.isabs(member):
            objects.add(member)
    return libs, objects


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("build_dir")
    ap.add_argument("--allowed", default=os.path.join(here, "allowed.txt"))
    ap.add_argument("--source", default=os.path.dirname(os.path.dirname(here)))
    a = ap.parse_args(argv)

    log_path = os.path.join(a.build_dir, "reach", "link.txt")
    if not os.path.exists(log_path):
        print(f"reach: {log_path} is missing: configure with -DKEVO_GC_CHECK=ON and build "
              "the program", file=sys.stderr)
        return 2
    with open(log_path, encoding="utf-8", errors="replace") as f:
        loaded, dropped = parse_link_log(f.read())
    if not dropped:
        print("reach: the link dropped nothing: was it linked with --gc-sections "
              "--print-gc-sections?", file=sys.stderr)
        return 2
    libs, objects = own_inputs(loaded, a.build_dir)
    with open(os.path.join(a.build_dir, "compile_commands.json"), encoding="utf-8") as f:
        units = program_units(json.load(f), a.source, libs, objects, a.build_dir)

    sections = {}
    paths = [os.path.join(a.build_dir, f"lib{lib}.a") for lib in sorted(libs)]
    paths += [os.path.join(a.build_dir, o) for o in sorted(objects)]
    for p in paths:
        text = subprocess.run(["readelf", "-SW", p], capture_output=True, text=True,
                              check=True).stdout
        if not p.endswith(".a"):
            text = f"File: {os.path.relpath(p, a.build_dir)}\n" + text
        sections.update(parse_readelf(text))

    # Kept sections too: a function is reached when any of its forms is kept, and
    # a name shared by several functions must be listed with its parameters.
    symbols = {section_symbol(s) for key in units for s in sections.get(key, set())}
    names = demangle(sorted(symbols))
    never, whole, unreached = analyse(units, loaded, dropped, sections, names)

    with open(a.allowed, encoding="utf-8") as f:
        allowed, errors = parse_allowed(f.read())
    failures, stale = judge(never, whole, unreached, allowed,
                            overloaded_names(units, sections, names))

    print(f"reach: {len(units)} units of our own; {len(never)} never linked, "
          f"{len(whole)} wholly dropped, {len(unreached)} functions unreached")
    for u in never:
        print(f"  never linked:   {u}")
    for u in whole:
        print(f"  wholly dropped: {u}")
    for unit, fn in unreached:
        print(f"  unreached:      {fn}  ({unit})")
    for s in stale:
        print(f"reach: note: '{s}' in {os.path.basename(a.allowed)} is reached now or gone: "
              "take it off the list")
    for e in errors:
        print(f"reach: {a.allowed}: {e}", file=sys.stderr)
    for fl in failures:
        print(f"reach: not on the list: {fl}", file=sys.stderr)
    if failures or errors:
        print(f"reach: {len(failures)} unreached names are not in {a.allowed}: reach them "
              "from the program, delete them, or list them with a reason", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
