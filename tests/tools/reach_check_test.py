#!/usr/bin/env python3
"""The reach check's own logic, on linker and readelf output captured from a
link of the program (trimmed to a few units), in GNU ld's and in lld's forms."""

import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "tools", "reach"))
import check  # noqa: E402

# GNU ld, --trace twice and --print-gc-sections.
LINK_BFD = """\
/lib/x86_64-linux-gnu/Scrt1.o
app/CMakeFiles/kevoruneset.dir/main.cpp.o
libkvbase.a
(libkvbase.a)Calendar.cpp.o
(libkvbase.a)Clock.cpp.o
(libkvbase.a)Dead.cpp.o
/usr/bin/ld: removing unused section '.rodata.cst4' in file '/lib/x86_64-linux-gnu/Scrt1.o'
/usr/bin/ld: removing unused section '.text._Z14CenturyCompareRK11CenturyTimeS1_' in file 'libkvbase.a(Calendar.cpp.o)'
/usr/bin/ld: removing unused section '.text._Z13GetAbsTimeNowPd' in file 'libkvbase.a(Calendar.cpp.o)'
/usr/bin/ld: removing unused section '.text._ZN12_GLOBAL__N_110StepSecondER11CalDateTime' in file 'libkvbase.a(Calendar.cpp.o)'
/usr/bin/ld: removing unused section '.text._ZN7LStringD2Ev[_ZN7LStringD2Ev]' in file 'libkvbase.a(Calendar.cpp.o)'
/usr/bin/ld: removing unused section '.text._Z4DeadDv' in file 'libkvbase.a(Dead.cpp.o)'
/usr/bin/ld: removing unused section '.text.unlikely._Z5Dead2v' in file 'libkvbase.a(Dead.cpp.o)'
"""

# The same link as lld reports it.
LINK_LLD = """\
app/CMakeFiles/kevoruneset.dir/main.cpp.o
libkvbase.a(Calendar.cpp.o)
libkvbase.a(Clock.cpp.o)
libkvbase.a(Dead.cpp.o)
ld.lld: removing unused section libkvbase.a(Calendar.cpp.o):(.text._Z14CenturyCompareRK11CenturyTimeS1_)
ld.lld: removing unused section libkvbase.a(Calendar.cpp.o):(.text._Z13GetAbsTimeNowPd)
ld.lld: removing unused section libkvbase.a(Calendar.cpp.o):(.text._ZN12_GLOBAL__N_110StepSecondER11CalDateTime)
ld.lld: removing unused section libkvbase.a(Dead.cpp.o):(.text._Z4DeadDv)
ld.lld: removing unused section libkvbase.a(Dead.cpp.o):(.text.unlikely._Z5Dead2v)
"""

READELF = """\

File: libkvbase.a(Calendar.cpp.o)
Section Headers:
  [Nr] Name              Type            Address          Off    Size   ES Flg Lk Inf Al
  [ 0]                   NULL            0000000000000000 000000 000000 00      0   0  0
  [ 2] .text             PROGBITS        0000000000000000 000040 000000 00  AX  0   0  4
  [ 3] .text._Z14CenturyCompareRK11CenturyTimeS1_ PROGBITS        0000000000000000 000040 000027 00  AX  0   0 16
  [ 4] .rela.text._Z14CenturyCompareRK11CenturyTimeS1_ RELA            0000000000000000 005e00 000030 18   I 49   3  8
  [ 5] .text._Z13GetAbsTimeNowPd PROGBITS        0000000000000000 000070 000040 00  AX  0   0 16
  [ 6] .text._ZN12_GLOBAL__N_110StepSecondER11CalDateTime PROGBITS        0000000000000000 0000b0 000040 00  AX  0   0 16
  [ 7] .text._ZN8DateTime7DecHourER11CalDateTime PROGBITS        0000000000000000 0000f0 000040 00  AX  0   0 16
  [ 8] .group            GROUP           0000000000000000 005a00 000010 04     49  25  4
  [ 9] .text._ZN7LStringD2Ev PROGBITS        0000000000000000 000130 00001b 00 AXG  0   0 16
  [10] .data.rel.ro._ZTV8Calendar PROGBITS        0000000000000000 000150 000020 00  WA  0   0  8

File: libkvbase.a(Clock.cpp.o)
Section Headers:
  [ 3] .text._Z17InstallTickSourceP11LTickSource PROGBITS        0000000000000000 000040 000027 00  AX  0   0 16

File: libkvbase.a(Dead.cpp.o)
Section Headers:
  [ 3] .text._Z4DeadDv   PROGBITS        0000000000000000 000040 000027 00  AX  0   0 16
  [ 4] .text.unlikely._Z5Dead2v PROGBITS        0000000000000000 000070 000027 00  AX  0   0 16
  [ 5] .text.startup._GLOBAL__sub_I_Dead.cpp PROGBITS        0000000000000000 0000a0 000027 00  AX  0   0 16

File: libkvbase.a(Never.cpp.o)
Section Headers:
  [ 3] .text._Z5Neverv   PROGBITS        0000000000000000 000040 000027 00  AX  0   0 16
"""

UNITS = {
    ("kvbase", "Calendar.cpp.o"): "base/Calendar.cpp",
    ("kvbase", "Clock.cpp.o"): "base/Clock.cpp",
    ("kvbase", "Dead.cpp.o"): "base/Dead.cpp",
    ("kvbase", "Never.cpp.o"): "base/Never.cpp",
}

NAMES = {
    "_Z14CenturyCompareRK11CenturyTimeS1_": "CenturyCompare(CenturyTime const&, CenturyTime const&)",
    "_Z13GetAbsTimeNowPd": "GetAbsTimeNow(double*)",
    "_ZN12_GLOBAL__N_110StepSecondER11CalDateTime": "(anonymous namespace)::StepSecond(CalDateTime&)",
    "_Z4DeadDv": "Dead()",
    "_Z5Dead2v": "Dead2()",
}


class ReachCheck(unittest.TestCase):
    def test_both_linkers_give_the_same_findings(self):
        sections = check.parse_readelf(READELF)
        for name, text in (("ld", LINK_BFD), ("lld", LINK_LLD)):
            with self.subTest(linker=name):
                loaded, dropped = check.parse_link_log(text)
                never, whole, unreached = check.analyse(UNITS, loaded, dropped, sections, NAMES)
                self.assertEqual(never, ["base/Never.cpp"])
                # Its static initialiser alone does not make a unit reached.
                self.assertEqual(whole, ["base/Dead.cpp"])
                self.assertEqual(unreached, [
                    ("base/Calendar.cpp", "(anonymous namespace)::StepSecond(CalDateTime&)"),
                    ("base/Calendar.cpp", "CenturyCompare(CenturyTime const&, CenturyTime const&)"),
                    ("base/Calendar.cpp", "GetAbsTimeNow(double*)"),
                    ("base/Dead.cpp", "Dead()"),
                    ("base/Dead.cpp", "Dead2()"),
                ])

    def test_a_name_with_one_form_kept_is_reached_and_destructors_are_left_out(self):
        # g++ emits a constructor for whole objects (C1) and for base parts (C2): a
        # program may need only one of them.
        units = {("kvbase", "Two.cpp.o"): "base/Two.cpp"}
        own = {".text._ZN3TwoC1Ev", ".text._ZN3TwoC2Ev", ".text._ZN3TwoD1Ev",
               ".text._ZN3TwoD2Ev", ".text._ZN3Two4GoneEv"}
        names = {"_ZN3TwoC1Ev": "Two::Two()", "_ZN3TwoC2Ev": "Two::Two()",
                 "_ZN3TwoD1Ev": "Two::~Two()", "_ZN3TwoD2Ev": "Two::~Two()",
                 "_ZN3Two4GoneEv": "Two::Gone()"}
        dropped = {("kvbase", "Two.cpp.o"): {".text._ZN3TwoC1Ev", ".text._ZN3TwoD1Ev",
                                             ".text._ZN3TwoD2Ev", ".text._ZN3Two4GoneEv"}}
        never, whole, unreached = check.analyse(units, {("kvbase", "Two.cpp.o")}, dropped,
                                                {("kvbase", "Two.cpp.o"): own}, names)
        self.assertEqual((never, whole), ([], []))
        self.assertEqual(unreached, [("base/Two.cpp", "Two::Gone()")])

    def test_overloads_are_functions_of_their_own(self):
        # One overload kept does not make the other reached; a name that several
        # functions share is known as such.
        units = {("kvbase", "Now.cpp.o"): "base/Now.cpp"}
        own = {".text._Z3Nowv", ".text._Z3NowPd", ".text._ZNK3Box3GetEv", ".text._ZN3Box3GetEv",
               ".text._Z4Onlyv"}
        names = {"_Z3Nowv": "Now()", "_Z3NowPd": "Now(double*)", "_ZNK3Box3GetEv": "Box::Get() const",
                 "_ZN3Box3GetEv": "Box::Get()", "_Z4Onlyv": "Only()"}
        dropped = {("kvbase", "Now.cpp.o"): {".text._Z3NowPd", ".text._ZNK3Box3GetEv",
                                             ".text._Z4Onlyv"}}
        sections = {("kvbase", "Now.cpp.o"): own}
        _, _, unreached = check.analyse(units, {("kvbase", "Now.cpp.o")}, dropped, sections, names)
        self.assertEqual(unreached, [("base/Now.cpp", "Box::Get() const"),
                                     ("base/Now.cpp", "Now(double*)"), ("base/Now.cpp", "Only()")])
        self.assertEqual(check.overloaded_names(units, sections, names), {"Now", "Box::Get"})

    def test_own_sections_leave_out_groups_empty_and_other_sections(self):
        sections = check.parse_readelf(READELF)
        self.assertEqual(sections[("kvbase", "Calendar.cpp.o")], {
            ".text._Z14CenturyCompareRK11CenturyTimeS1_", ".text._Z13GetAbsTimeNowPd",
            ".text._ZN12_GLOBAL__N_110StepSecondER11CalDateTime",
            ".text._ZN8DateTime7DecHourER11CalDateTime"})

    def test_signatures_keep_parameters_and_go_by_their_function(self):
        cases = [
            ("Foo::Bar(int) const", "Foo::Bar(int) const"),
            ("GetAbsTimeNow(double*)", "GetAbsTimeNow(double*)"),
            ("CMemPrefStore::Dump[abi:cxx11]() const", "CMemPrefStore::Dump() const"),
            ("(anonymous namespace)::Step(CalDateTime&)", "(anonymous namespace)::Step(CalDateTime&)"),
            ("CGRectToRect(CGRect const&)::$_0::operator()() const", "CGRectToRect(CGRect const&)"),
            ("Box::Get() const::{lambda(int)#1}::operator()(int) const", "Box::Get() const"),
            ("LRect::Map(LRect const&, LRect const&) &&", "LRect::Map(LRect const&, LRect const&) &&"),
            ("non-virtual thunk to CWin::HandleMessage(LMessage const&)",
             "CWin::HandleMessage(LMessage const&)"),
        ]
        for demangled, want in cases:
            with self.subTest(demangled):
                self.assertEqual(check.signature(demangled), want)

    def test_names_lose_parameters_and_keep_their_function(self):
        cases = [
            ("Foo::Bar(int) const", "Foo::Bar"),
            ("Foo::operator()(int)", "Foo::operator()"),
            ("CMemPrefStore::Dump[abi:cxx11]() const", "CMemPrefStore::Dump"),
            ("(anonymous namespace)::Step(CalDateTime&)", "(anonymous namespace)::Step"),
            ("CGRectToRect(CGRect const&)::$_0::operator()() const", "CGRectToRect"),
            ("CGRectToRect(CGRect const&)::{lambda(int)#1}::operator()(int) const", "CGRectToRect"),
            ("LRect::Map(LRect const&, LRect const&) &&", "LRect::Map"),
            ("Plain", "Plain"),
            ("non-virtual thunk to CWin::HandleMessage(LMessage const&)", "CWin::HandleMessage"),
            ("virtual thunk to CWin::~CWin()", "CWin::~CWin"),
        ]
        for demangled, want in cases:
            with self.subTest(demangled):
                self.assertEqual(check.short_name(demangled), want)

    def test_foreign_functions_are_not_ours(self):
        for name, foreign in [
            ("std::map<unsigned int, Foo>::operator[]", True),
            ("long long QtPrivate::lengthHelperPointer<char>", True),
            ("__gthread_active_p", True),
            ("void std::_Rb_tree<int, int>::_M_erase", True),
            ("CStdThing::Run", False),
            ("LString::FromCStr", False),
        ]:
            with self.subTest(name):
                self.assertEqual(bool(check.FOREIGN.search(name)), foreign)

    def test_the_kept_list_allows_and_names_what_it_no_longer_needs(self):
        allowed, errors = check.parse_allowed(
            "# comment\n\n"
            "base/Never.cpp -- never linked: a colour value\n"
            "CenturyCompare -- test hook\n"
            "(anonymous namespace)::StepSecond -- helper of DateTime::DecSecond\n"
            "Foo::* -- helper class\n"
            "Gone -- was once unreached\n"
            "Run(int) -- one overload\n"
            "Run(char const*) -- an overload that is reached\n"
            "Box::Get() const -- the const one\n"
            "Wide(char  const *) -- written with other blanks\n"
            "Twice -- a bare name of several functions\n"
            "Cut(int -- cut short\n"
            "NoReason\n"
            "Empty -- \n")
        self.assertEqual(len(errors), 3)
        self.assertIn("a signature ends with its parameters", errors[0])
        never = ["base/Never.cpp"]
        whole = ["base/Dead.cpp"]
        unreached = [("base/Calendar.cpp", "CenturyCompare(CenturyTime const&)"),
                     ("base/Calendar.cpp", "(anonymous namespace)::StepSecond(CalDateTime&)"),
                     ("base/Calendar.cpp", "GetAbsTimeNow(double*)"),
                     ("base/Foo.cpp", "Foo::Bar()"), ("base/Foo.cpp", "Foo::Inner::Baz(int)"),
                     ("base/Foobar.cpp", "Foobar::Run()"),
                     ("base/Run.cpp", "Run(int)"), ("base/Run.cpp", "Run(long)"),
                     ("base/Box.cpp", "Box::Get() const"), ("base/Box.cpp", "Box::Get()"),
                     ("base/Wide.cpp", "Wide(char const*)"),
                     ("base/Twice.cpp", "Twice(int)")]
        failures, stale = check.judge(never, whole, unreached, allowed, {"Run", "Box::Get", "Twice"})
        self.assertEqual(failures, [
            "unit wholly dropped: base/Dead.cpp",
            "function unreached: GetAbsTimeNow(double*)  (base/Calendar.cpp)",
            "function unreached: Foobar::Run()  (base/Foobar.cpp)",
            "function unreached: Run(long)  (base/Run.cpp)",
            "function unreached: Box::Get()  (base/Box.cpp)",
            "function unreached: Twice(int)  (base/Twice.cpp): 'Twice' is the name of several "
            "functions: list this one with its parameters",
        ])
        self.assertEqual(stale, ["Gone", "Run(char const*)"])

    def test_units_come_from_the_programs_libraries_not_generated_sources(self):
        src = "/src"
        commands = [
            {"directory": "/src/build", "file": "/src/base/Clock.cpp",
             "command": "clang++ -o CMakeFiles/kvbase.dir/base/Clock.cpp.o -c /src/base/Clock.cpp"},
            {"directory": "/src/build", "file": "/src/build/generated/AppResources.cpp",
             "command": "clang++ -o CMakeFiles/kvbase.dir/generated/AppResources.cpp.o -c x"},
            {"directory": "/src/build", "file": "/src/tests/base/x_test.cpp",
             "command": "clang++ -o tests/CMakeFiles/base_x_test.dir/base/x_test.cpp.o -c x"},
            {"directory": "/src/build", "file": "/src/app/main.cpp",
             "command": "clang++ -o app/CMakeFiles/kevoruneset.dir/main.cpp.o -c /src/app/main.cpp"},
        ]
        units = check.program_units(commands, src, {"kvbase"},
                                    {"app/CMakeFiles/kevoruneset.dir/main.cpp.o"}, "/src/build")
        self.assertEqual(units, {
            ("kvbase", "Clock.cpp.o"): "base/Clock.cpp",
            ("", "app/CMakeFiles/kevoruneset.dir/main.cpp.o"): "app/main.cpp",
        })


if __name__ == "__main__":
    unittest.main()
