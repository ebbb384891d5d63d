#!/usr/bin/env python3
"""Checks that no function of another calling convention becomes a Windows
callback in the x86 build.

On x86 every Windows callback (WNDPROC, HOOKPROC, WNDENUMPROC...) is stdcall.
GCC refuses to convert a lambda or a plain function to such a type, but it
accepts a cast that does the same and warns about nothing; the callback then
corrupts the stack when Windows calls it. clang's -Wcast-calling-convention
catches exactly these casts, so this check compiles every project source of
the x86 build once more with clang, for that one warning, as an error.

Usage: check_callback_conventions.py COMPILE_COMMANDS_JSON PROJECT_ROOT
"""

import json
import os
import shlex
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor

TARGET = "i686-w64-mingw32"


def expand_response_files(args, directory):
    out = []
    for a in args:
        if a.startswith("@"):
            with open(os.path.join(directory, a[1:])) as f:
                out.extend(expand_response_files(shlex.split(f.read()), directory))
        else:
            out.append(a)
    return out


def gcc_include_dirs(gcc):
    """The C++ and system header directories the cross GCC itself searches,
    so that clang parses against the same standard library."""
    probe = subprocess.run([gcc, "-xc++", "-E", "-v", os.devnull], capture_output=True, text=True)
    dirs, inside = [], False
    for line in probe.stderr.splitlines():
        if line.startswith("#include <...>"):
            inside = True
        elif line.startswith("End of search list"):
            break
        elif inside:
            dirs.append(os.path.normpath(line.strip()))
    return dirs


def clang_args(entry, system_dirs):
    """The defines, include paths and language standard of one compile
    command, for clang."""
    args = expand_response_files(shlex.split(entry["command"]), entry["directory"])
    kept, i = [], 1
    while i < len(args):
        a = args[i]
        if a in ("-I", "-isystem", "-D"):
            kept += [a, args[i + 1]]
            i += 2
            continue
        if a.startswith(("-I", "-D", "-isystem", "-std=")):
            kept.append(a)
        i += 1
    for d in system_dirs:
        kept += ["-isystem", d]
    return kept


def check(entry, system_dirs):
    command = (["clang++", "--target=" + TARGET, "-fsyntax-only", "-nostdinc", "-nostdinc++", "-Wno-everything",
                "-Werror=cast-calling-convention"]
               + clang_args(entry, system_dirs) + [entry["file"]])
    result = subprocess.run(command, cwd=entry["directory"], capture_output=True, text=True)
    return entry["file"], result.returncode, result.stderr


def main():
    compile_commands, root = sys.argv[1], os.path.realpath(sys.argv[2])
    with open(compile_commands) as f:
        entries = [e for e in json.load(f)
                   if os.path.realpath(e["file"]).startswith(root + os.sep) and e["file"].endswith(".cpp")]
    if not entries:
        print("no project sources in " + compile_commands)
        return 1
    gcc = shlex.split(entries[0]["command"])[0]
    system_dirs = gcc_include_dirs(gcc)
    if not system_dirs:
        print("could not read the header directories of " + gcc)
        return 1
    failed = 0
    with ThreadPoolExecutor(max_workers=os.cpu_count() or 2) as pool:
        for path, code, errors in pool.map(lambda e: check(e, system_dirs), entries):
            if code != 0:
                failed += 1
                print("FAIL " + os.path.relpath(path, root) + "\n" + errors)
    print("%d of %d sources checked clean for calling conventions of callbacks" % (len(entries) - failed,
                                                                                  len(entries)))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
