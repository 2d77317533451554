#!/usr/bin/env python3
"""Writes a host's unit that takes the address of every function, method and static data
member the installed headers declare without defining (what only the shared libraries
can give), so linking it fails on any the libraries do not export.

  declarations.py --include <installed include dir> --clang <clang++> --cxx <compiler> --work <dir>

Writes <dir>/headers.cpp (every installed header) and <dir>/declarations.cpp (the
addresses), for the check to link (cmake/package/LinkCheck.cmake).

The declarations are read by the compiler (clang's syntax tree of one unit that includes
every installed header), not by a scanner of our own: what a name means to a host's
compiler is what has to link. The symbol names are the compiler's, so the unit names
each entity by its symbol (an assembler label) and needs none of the headers: an
overloaded method or operator is no harder than any other. The unit that includes every
header is compiled with the inline functions kept, and the framework's symbols it then
needs (what the inline functions call, virtual tables, type information) are taken too.
Private members are left out: a host cannot call them (an inline function that does
is compiled above).
"""
import argparse
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys

# The framework's namespaces; the standard library's declarations are not ours to check.
NAMESPACES = ("zid", "rt", "fnd", "net", "sec", "dev", "ui", "web", "media", "ima")
FUNCTIONS = {"FunctionDecl", "CXXMethodDecl", "CXXConstructorDecl", "CXXDestructorDecl", "CXXConversionDecl"}
# Templates: their instances are compiled where they are used, never exported as such.
SKIPPED = {"ClassTemplateDecl", "FunctionTemplateDecl", "ClassTemplatePartialSpecializationDecl",
           "ClassTemplateSpecializationDecl", "TypeAliasTemplateDecl", "VarTemplateDecl", "ConceptDecl"}


def ours(symbol):
    """Whether a symbol names an entity of the framework's namespaces (the dump's filter
    matches by a part of a qualified name, `std::_Insert::` for `rt::`)."""
    if not symbol.startswith("_Z"):
        return symbol.startswith("zid_")
    i = 2
    if symbol[i:i + 1] == "N":
        i += 1
        while symbol[i:i + 1] in ("K", "V", "r", "R", "O"):
            i += 1
    digits = ""
    while i < len(symbol) and symbol[i].isdigit():
        digits += symbol[i]
        i += 1
    return bool(digits) and symbol[i:i + int(digits)] in NAMESPACES


class Collector:
    def __init__(self):
        # symbol -> {"kind": "function"|"variable", "defined": bool, "name": str}
        self.entities = {}

    def note(self, symbol, kind, defined, name):
        if not ours(symbol):
            return
        entry = self.entities.setdefault(symbol, {"kind": kind, "defined": False, "name": name})
        entry["defined"] = entry["defined"] or defined

    def walk(self, node, access="public", scope=()):
        kind = node.get("kind")
        if kind in SKIPPED or node.get("isImplicit"):
            return
        if kind == "NamespaceDecl":
            name = node.get("name")
            if not name:
                return  # file-local
            for child in node.get("inner", []):
                self.walk(child, "public", scope + (name,))
            return
        if kind == "LinkageSpecDecl":
            for child in node.get("inner", []):
                self.walk(child, "public", scope)
            return
        if kind == "CXXRecordDecl":
            if not node.get("completeDefinition") or not node.get("name"):
                return
            current = "public" if node.get("tagUsed") in ("struct", "union") else "private"
            for child in node.get("inner", []):
                if child.get("kind") == "AccessSpecDecl":
                    current = child.get("access", current)
                    continue
                self.walk(child, current, scope + (node["name"],))
            return
        if kind == "FriendDecl":
            for child in node.get("inner", []):
                if child.get("kind") in FUNCTIONS:
                    self.function(child, "public", scope, friend=True)
            return
        if access == "private":
            return
        if kind in FUNCTIONS:
            self.function(node, access, scope)
        elif kind == "VarDecl":
            self.variable(node, scope)

    def function(self, node, access, scope, friend=False):
        symbol = node.get("mangledName")
        if not symbol:
            return
        name = "::".join(scope + (node.get("name", "?"),))
        if node.get("storageClass") == "static" and node.get("kind") == "FunctionDecl" and not friend:
            return  # file-local to each unit that includes it
        defined = (bool(node.get("inline")) or bool(node.get("constexpr")) or bool(node.get("explicitlyDeleted"))
                   or bool(node.get("explicitlyDefaulted")) or bool(node.get("pure"))
                   or any(c.get("kind") in ("CompoundStmt", "CXXTryStmt") for c in node.get("inner", [])))
        self.note(symbol, "function", defined, name)

    def variable(self, node, scope):
        symbol = node.get("mangledName")
        if not symbol:
            return
        if node.get("storageClass") not in ("static", "extern"):
            return
        if node.get("constexpr") or node.get("inline") or node.get("init"):
            self.note(symbol, "variable", True, "")
            return
        # A namespace-scope static is the unit's own.
        in_class = len(scope) > 0 and scope[-1] not in NAMESPACES and node.get("storageClass") == "static"
        if node.get("storageClass") == "extern" or in_class:
            self.note(symbol, "variable", False, "::".join(scope + (node.get("name", "?"),)))


def dump(clang, include, unit, namespace, out):
    """Starts clang dumping the syntax tree's declarations whose names lie in the
    namespace into the file."""
    return subprocess.Popen([clang, "-std=c++20", "-fsyntax-only", "-I", include, "-Xclang", "-ast-dump=json",
                             "-Xclang", "-ast-dump-filter=%s::" % namespace, unit],
                            stdout=open(out, "w"), stderr=subprocess.PIPE, text=True)


def dumped_nodes(path):
    """The objects of a dump, one at a time. Each starts with "{" and ends with "}" at
    the start of a line; templates are the bulk of the text (their instances) and are
    skipped without being read."""
    text = open(path).read()
    decoder = json.JSONDecoder()
    at = 0
    while True:
        start = text.find("{\n", at)
        if start < 0:
            return
        end = text.find("\n}\n", start)
        end = len(text) if end < 0 else end + 2
        head = text[start:start + 200]
        kind_at = head.find('"kind": "')
        kind = head[kind_at + 9:head.find('"', kind_at + 9)] if kind_at >= 0 else ""
        if kind not in SKIPPED:
            node, _ = decoder.raw_decode(text[start:end])
            yield node
        at = end


def headers_unit(include, work):
    """Writes <work>/headers.cpp including every header below include; answers the
    headers and the unit."""
    headers = sorted(os.path.relpath(os.path.join(root, f), include)
                     for root, _, files in os.walk(include) for f in files if f.endswith(".h"))
    unit = os.path.join(work, "headers.cpp")
    with open(unit, "w") as f:
        f.write("".join("#include <%s>\n" % h for h in headers))
    return headers, unit


def dumps_key(clang, include):
    """What a set of dumps was made from: the compiler and every installed header's name
    and text. Two checks reading the same install share one set."""
    digest = hashlib.sha256(os.path.realpath(clang).encode())
    for root, dirs, files in os.walk(include):
        dirs.sort()
        for f in sorted(files):
            path = os.path.join(root, f)
            digest.update(os.path.relpath(path, include).encode() + b"\0")
            with open(path, "rb") as h:
                digest.update(h.read())
    return digest.hexdigest()[:24]


def each_dumped_node(clang, include, unit, work, jobs, program, cache=None):
    """The nodes of the syntax tree's declarations in the framework's namespaces, one dump
    per namespace, jobs at a time. With a cache folder, the dumps are kept there under
    what they were made from and read again by the next check of the same headers
    (dumping takes most of a check's time outside its compile); without, each is removed
    once read."""
    if cache:
        kept = os.path.join(cache, dumps_key(clang, include))
        if os.path.isfile(os.path.join(kept, "complete")):
            for namespace in NAMESPACES:
                yield from dumped_nodes(os.path.join(kept, "%s.json" % namespace))
            return
        # Another install's dumps are of no more use; a set is complete only once every
        # dump was read, so a check stopped halfway leaves nothing that looks whole.
        shutil.rmtree(cache, ignore_errors=True)
        os.makedirs(kept)
        work = kept
    pending = list(NAMESPACES)
    running = []
    while pending or running:
        while pending and len(running) < jobs:
            namespace = pending.pop(0)
            out = os.path.join(work, "%s.json" % namespace)
            running.append((dump(clang, include, unit, namespace, out), out))
        process, out = running.pop(0)
        _, err = process.communicate()
        if process.returncode != 0:
            sys.exit("%s: %s could not read the headers:\n%s" % (program, clang, err[-4000:]))
        yield from dumped_nodes(out)
        if not cache:
            os.remove(out)
    if cache:
        open(os.path.join(work, "complete"), "w").close()


FRAMEWORK_NAME = re.compile(r"(?<![\w:])(%s)::" % "|".join(NAMESPACES))


def inline_references(cxx, include, unit, work):
    """The framework's symbols the headers' inline functions use but do not define: the
    unit compiled with every inline function kept (the standard library's own are not
    ours to check)."""
    obj = os.path.join(work, "headers.o")
    run = subprocess.run([cxx, "-std=c++20", "-fkeep-inline-functions", "-I", include, "-c", unit, "-o", obj],
                         capture_output=True, text=True)
    if run.returncode != 0:
        sys.exit("declarations: the headers do not compile with their inline functions kept:\n" + run.stderr[-4000:])
    names = subprocess.run(["nm", "-u", "--format=posix", obj], capture_output=True, text=True, check=True)
    symbols = sorted({line.split()[0] for line in names.stdout.splitlines() if line.strip()})
    demangled = subprocess.run(["c++filt"], input="\n".join(symbols) + "\n", capture_output=True, text=True,
                               check=True).stdout.split("\n")
    return [s for s, d in zip(symbols, demangled) if FRAMEWORK_NAME.search(d)]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--include", required=True)
    parser.add_argument("--clang", required=True)
    parser.add_argument("--cxx", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--jobs", type=int, default=3)
    parser.add_argument("--dumps", help="a folder where the syntax tree's dumps are kept for the next check")
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)

    headers, unit = headers_unit(args.include, args.work)
    collector = Collector()
    for node in each_dumped_node(args.clang, args.include, unit, args.work, args.jobs, "declarations", args.dumps):
        collector.walk(node, "public", ())
    declared = sorted(s for s, e in collector.entities.items() if not e["defined"])
    used = [s for s in inline_references(args.cxx, args.include, unit, args.work) if s not in set(declared)]

    # Each symbol as a byte of data: only its address is taken, which any symbol has.
    lines = ["// Generated from the installed headers: the address of each function, method and",
             "// static data member they declare and only a library defines, and of each symbol",
             "// of the framework their inline functions use. The link fails on any the libraries",
             "// do not export.", ""]
    symbols = declared + used
    lines += ['extern char zid_link_%d __asm__("%s");' % (k, s) for k, s in enumerate(symbols)]
    lines += ["", "extern const void* const zid_link_table[] = {"]
    lines += ["    &zid_link_%d," % k for k in range(len(symbols))] or ["    nullptr,"]
    lines += ["};", "extern const unsigned long zid_link_count = %d;" % len(symbols), ""]
    with open(os.path.join(args.work, "declarations.cpp"), "w") as f:
        f.write("\n".join(lines))
    functions = sum(1 for s in declared if collector.entities[s]["kind"] == "function")
    print("declarations: %d functions and methods and %d static data members and variables that %d installed "
          "headers declare and only a library defines; %d more symbols their inline functions use"
          % (functions, len(declared) - functions, len(headers), len(used)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
