#!/usr/bin/env python3
"""What the package's shared libraries export: the classes, enumerations, functions and
variables the installed headers declare, and nothing else.

  exports.py map --headers <dirs...> --objects <list-file> --out <version-script> [--symbol <C name>...]
      Writes the linker's version script of one library: the exact names of the symbols
      its objects define that belong to the installed headers' declarations.
  exports.py check --headers <dirs...> --library <file>... [--symbol <C name>...]
      Fails when a library exports a symbol that no installed header declares, or one
      whose signature carries a type of another library.

A symbol belongs to the headers when the entity it names (a class's member, type
information or virtual table, a function, a variable, a static local of an inline
function) is a class or enumeration defined in a header, a member of one, or a function
or variable declared at namespace scope in one; when every name of the framework in it
(template arguments, parameter types) is such a name too; and when it names no type from
outside the framework and the C++ runtime (a drawing context, a JSON value, an XML node).
A class a header only declares (a private implementation, class Impl;) is not the
headers' own: its members stay inside the library.
"""
import argparse
import os
import re
import subprocess
import sys

NAMESPACES = ("zid", "rt", "fnd", "net", "sec", "dev", "ui", "web", "media", "ima")

# ---- the headers' declarations --------------------------------------------------------

KEYWORDS = {
    "alignas", "alignof", "auto", "bool", "char", "char8_t", "char16_t", "char32_t", "class", "const",
    "consteval", "constexpr", "constinit", "decltype", "double", "enum", "explicit", "extern", "float",
    "friend", "inline", "int", "long", "mutable", "noexcept", "operator", "short", "signed", "static",
    "struct", "template", "typename", "union", "unsigned", "virtual", "void", "volatile", "wchar_t",
    "requires", "concept", "typedef", "using", "return", "static_assert", "namespace", "final", "override",
}


def strip_source(text):
    """The header's code: no comments, string or character literals, preprocessor lines."""
    out = []
    i, n = 0, len(text)
    line_start = True
    while i < n:
        c = text[i]
        if line_start and c == "#":
            # A directive, with its continuation lines.
            while i < n and text[i] != "\n":
                if text[i] == "\\" and i + 1 < n and text[i + 1] == "\n":
                    i += 2
                    continue
                i += 1
            continue
        if c == "/" and text.startswith("//", i):
            while i < n and text[i] != "\n":
                i += 1
            continue
        if c == "/" and text.startswith("/*", i):
            end = text.find("*/", i + 2)
            i = n if end < 0 else end + 2
            out.append(" ")
            continue
        if c == 'R' and text.startswith('R"', i):
            m = re.match(r'R"([^(]*)\(', text[i:])
            if m:
                end = text.find(")" + m.group(1) + '"', i)
                i = n if end < 0 else end + len(m.group(1)) + 2
                out.append('""')
                continue
        if c in "\"'":
            j = i + 1
            while j < n and text[j] != c:
                j += 2 if text[j] == "\\" else 1
            # A digit separator (1'000) is no character literal.
            if c == "'" and i > 0 and text[i - 1].isalnum():
                out.append(" ")
                i += 1
                continue
            out.append(c + c)
            i = j + 1
            continue
        if c == "\n":
            line_start = True
        elif not c.isspace():
            line_start = False
        out.append(c)
        i += 1
    return "".join(out)


TOKEN = re.compile(r"[A-Za-z_]\w*|::|\.\.\.|->|[<>]=?|[^\sA-Za-z_]")


def skip_template_heads(tokens):
    """The index after the `template <...>` heads a declaration starts with."""
    i = 0
    while i + 1 < len(tokens) and tokens[i] == "template" and tokens[i + 1] == "<":
        depth, j = 0, i + 1
        while j < len(tokens):
            depth += {"<": 1, ">": -1, ">>": -2}.get(tokens[j], 0)
            j += 1
            if depth <= 0:
                break
        i = j
    return i


# Declarations that name no function or variable (or that the scanner reads elsewhere).
DECLARING_NO_NAME = {"using", "typedef", "static_assert", "class", "struct", "union", "enum", "namespace", "concept"}


def declared_name(stmt):
    """The name a namespace-scope declaration (without its body or initializer) declares,
    and whether it is a function: `int f(int)` -> ("f", True), `extern const T x` -> ("x", False)."""
    stmt = stmt[skip_template_heads(stmt):]
    if stmt[:1] == ["friend"]:
        stmt = stmt[1:]  # a friend function is a member of the enclosing namespace
    if stmt[:1] and stmt[0] in ("struct", "class", "union", "enum") and "(" in stmt:
        # An elaborated return type (`struct ::utsname utsname(...)`): the type's name
        # is no declaration of its own.
        k = 1
        while k < len(stmt) and (stmt[k] == "::" or (re.match(r"[A-Za-z_]\w*$", stmt[k]) and stmt[k + 1:k + 2] == ["::"])):
            k += 1
        if k + 1 < len(stmt) and re.match(r"[A-Za-z_]\w*$", stmt[k]) and stmt[k + 1] != "(":
            stmt = stmt[k + 1:]
    elif not stmt or stmt[0] in DECLARING_NO_NAME or stmt[:2] == ["extern", '""']:
        return None, False
    depth = 0
    for k, tok in enumerate(stmt):
        if tok == "operator" and depth == 0:
            name = "operator"
            for t in stmt[k + 1:]:
                if t == "(" and name != "operator":
                    break
                name += t
                if name == "operator()":
                    break
            return name, True
        if tok == "<":
            depth += 1
        elif tok == ">":
            depth = max(0, depth - 1)
        elif tok == ">>":
            depth = max(0, depth - 2)
        elif tok == "(" and depth == 0:
            prev = stmt[k - 1] if k > 0 else ""
            if re.match(r"[A-Za-z_]\w*$", prev) and prev not in KEYWORDS:
                # `Cls::f(...)` defines a member of a class the scanner has read already.
                return (None, False) if k > 1 and stmt[k - 2] == "::" else (prev, True)
            if prev != "decltype":
                break
    # A variable: the last name before an array bound or the end.
    names = [t for t in stmt if re.match(r"[A-Za-z_]\w*$", t) and t not in KEYWORDS]
    if stmt and stmt[-1] != ")" and names:
        cut = stmt.index("[") if "[" in stmt else len(stmt)
        names = [t for t in stmt[:cut] if re.match(r"[A-Za-z_]\w*$", t) and t not in KEYWORDS]
        if names:
            return names[-1], False
    return None, False


class Declarations:
    def __init__(self):
        self.types = set()       # classes and enumerations defined in a header
        self.declared = set()    # classes a header names without defining them
        self.functions = set()   # functions declared at namespace scope (friends included)
        self.variables = set()   # variables declared at namespace scope

    def public(self, path):
        """Whether a qualified name (as components) is the headers' own: it is, or is a
        member of, a type, function or variable of theirs, through no class they only
        declare."""
        if not path or path[0] not in NAMESPACES:
            return False
        found = False
        for i in range(1, len(path) + 1):
            name = "::".join(path[:i])
            if name in self.types:
                found = True
            elif name in self.functions or name in self.variables:
                return True
            elif found and name in self.declared:
                return False
            elif found:
                return True  # a member (function, static data) of a type of theirs
        return found

    def scan(self, path):
        tokens = TOKEN.findall(strip_source(open(path, encoding="utf-8").read()))
        # The scope stack: ("ns", [names]) | ("class", [names]) | ("skip", None)
        scopes = []
        stmt = []

        def prefix():
            return [p for kind, names in scopes if kind in ("ns", "class") for p in names]

        def in_class():
            return any(kind == "class" for kind, _ in scopes)

        def skipping():
            return any(kind == "skip" for kind, _ in scopes)

        def record_declaration(tokens_of_stmt, body):
            if skipping():
                return
            head = class_head(tokens_of_stmt)
            if head and not body:
                # `class X;`, `friend class X;`: named here, defined elsewhere or nowhere
                self.declared.add("::".join(prefix() + head[1]))
                return
            friend = tokens_of_stmt[:1] == ["friend"]
            if in_class() and not friend:
                return  # a member: its class covers it
            cut = tokens_of_stmt
            if "=" in cut and "operator" not in cut[:cut.index("=")]:
                cut = cut[:cut.index("=")]
            name, function = declared_name(cut)
            if name:
                ns = [p for kind, names in scopes if kind == "ns" for p in names] if friend else prefix()
                (self.functions if function else self.variables).add("::".join(ns + [name]))

        def class_head(st):
            """(kind, name components) when the statement starts a class or enumeration."""
            i = skip_template_heads(st)
            depth = 0
            for k in range(i, len(st)):
                t = st[k]
                if t == "(":
                    depth += 1
                elif t == ")":
                    depth -= 1
                elif depth == 0 and t in ("class", "struct", "union", "enum"):
                    kind = "enum" if t == "enum" else "class"
                    k += 1
                    if k < len(st) and st[k] in ("class", "struct"):
                        k += 1
                    while k < len(st) and st[k] in ("[", "alignas"):
                        # [[attributes]] and alignas(...)
                        close = "]" if st[k] == "[" else ")"
                        while k < len(st) and st[k] != close:
                            k += 1
                        k += 1
                        while k < len(st) and st[k] == "]":
                            k += 1
                    name = []
                    while k < len(st) and re.match(r"[A-Za-z_]\w*$", st[k]) and st[k] not in ("final",):
                        name.append(st[k])
                        k += 1
                        if k < len(st) and st[k] == "::":
                            k += 1
                        else:
                            break
                    if k < len(st) and st[k] == "<":
                        # A partial or explicit specialization: the template's members.
                        depth2 = 0
                        while k < len(st):
                            depth2 += {"<": 1, ">": -1, ">>": -2}.get(st[k], 0)
                            k += 1
                            if depth2 <= 0:
                                break
                    if name and (k >= len(st) or st[k] in (":", "final", "{")):
                        return kind, name
                    return None
                elif depth == 0 and t in ("=",):
                    return None
            return None

        for tok in tokens:
            if tok == "{":
                if skipping():
                    scopes.append(("skip", None))
                elif stmt[:1] == ["namespace"] or stmt[:2] == ["inline", "namespace"]:
                    names = [t for t in stmt if re.match(r"[A-Za-z_]\w*$", t) and t not in ("namespace", "inline")]
                    scopes.append(("ns", names or ["@anonymous"]))
                elif stmt[:1] == ["extern"] and stmt[1:2] == ['""']:
                    scopes.append(("ns", []))
                else:
                    head = class_head(stmt)
                    if head:
                        name = "::".join(prefix() + head[1])
                        self.types.add(name)
                        scopes.append(("class", head[1]) if head[0] == "class" else ("skip", None))
                    else:
                        if stmt and (not in_class() or stmt[:1] == ["friend"]):
                            record_declaration(stmt, True)
                        scopes.append(("skip", None))
                stmt = []
            elif tok == "}":
                if scopes:
                    scopes.pop()
                stmt = []
            elif tok == ";":
                if stmt:
                    record_declaration(stmt, False)
                stmt = []
            elif tok == ":" and stmt and stmt[-1] in ("public", "private", "protected"):
                stmt = []
            else:
                stmt.append(tok)


def header_declarations(dirs):
    decls = Declarations()
    for top in dirs:
        for root, _, files in os.walk(top):
            for f in sorted(files):
                if f.endswith(".h"):
                    decls.scan(os.path.join(root, f))
    # A class defined in one header and declared in another is defined.
    decls.declared -= decls.types
    return decls


# ---- symbols --------------------------------------------------------------------------

SPECIAL = re.compile(r"^(typeinfo name for |typeinfo for |vtable for |VTT for |construction vtable for |"
                     r"guard variable for |non-virtual thunk to |virtual thunk to |covariant return thunk to |"
                     r"TLS init function for |TLS wrapper function for |reference temporary #\d+ for |"
                     r"transaction clone for |template parameter object for )+")
# What may stand unqualified in a symbol besides the framework's names: the language's own
# words and types, the C++ runtime's namespaces, and what the demangler writes.
ALLOWED_UNQUALIFIED = KEYWORDS | {
    "std", "__gnu_cxx", "__cxxabiv1", "__gnu_debug", "__int128", "__float128", "__va_list_tag", "nullptr_t",
    "lambda", "anonymous", "namespace", "unnamed", "type", "abi", "cxx11", "true", "false", "decltype",
    "__ieee128", "_Float16", "_Float32", "_Float64", "_Float128", "__bf16", "sizeof", "clone", "isra",
    "constprop", "cold", "part", "lto_priv", "local", "nullptr",
} | set(NAMESPACES)
# An operator's name is its symbol too: `media::operator==` is not `media::operator`.
QUALIFIED = re.compile(r"(?<![\w:])((?:%s)(?:::(?:operator(?:\(\)|\[\]|[^\s\w(]+)|[A-Za-z_~]\w*))+)"
                       % "|".join(NAMESPACES))


def components(qualified):
    """`rt::Ref<ui::View>::get[abi:cxx11]` -> ["rt", "Ref", "get"] (template arguments and
    tags dropped)."""
    out, depth, cur = [], 0, ""
    i = 0
    while i < len(qualified):
        c = qualified[i]
        if qualified.startswith("operator", i) and depth == 0:
            out.append(cur + qualified[i:].split("(")[0].replace(" ", ""))
            return out
        if c in "<([{":
            depth += 1
        elif c in ">)]}":
            depth -= 1
        elif depth == 0 and qualified.startswith("::", i):
            out.append(cur)
            cur = ""
            i += 2
            continue
        elif depth == 0:
            cur += c
        i += 1
    out.append(cur)
    return [re.sub(r"\[abi:\w+\]", "", c) for c in out if c]


def entity(demangled):
    """The qualified name of what a demangled symbol defines, without return type,
    parameters or template arguments."""
    text = SPECIAL.sub("", demangled).replace("(anonymous namespace)", "@anonymous")
    text = re.sub(r"^.*-in-", "", text)  # a construction vtable: the class it is for
    # A conversion operator's type, `operator new` and the like hold spaces.
    text = re.sub(r"operator (?!\()[^(]*", "operator@", text)
    # A function's parameters are the last parenthesized group at the top level, with
    # only qualifiers after it.
    text = re.sub(r"( const| volatile| &&| &| noexcept| \[clone [^\]]*\])+$", "", text)
    if text.endswith(")"):
        depth = 0
        for i in range(len(text) - 1, -1, -1):
            if text[i] in ")]}>":
                depth += 1
            elif text[i] in "([{<":
                depth -= 1
                if depth == 0:
                    text = text[:i]
                    break
    # The return type of a template's instance comes first, up to the last space at
    # the top level.
    depth, start = 0, 0
    for i, c in enumerate(text):
        if c in "<([{":
            depth += 1
        elif c in ">)]}":
            depth -= 1
        elif c == " " and depth == 0:
            start = i + 1
    return components(text[start:])


def third_party(demangled):
    """The names of other libraries' types in a demangled symbol."""
    found = set()
    for m in re.finditer(r"(?<![\w:~])([A-Za-z_]\w*)", demangled):
        word = m.group(1)
        after = demangled[m.end():m.end() + 2]
        if word in ALLOWED_UNQUALIFIED or word.startswith("@"):
            continue
        before = demangled[max(0, m.start() - 1):m.start()]
        if before in ("#", "."):
            continue  # lambda numbers, clone suffixes
        if re.match(r"(typeinfo|vtable|guard|variable|thunk|construction|VTT|TLS|init|function|wrapper|"
                    r"transaction|reference|temporary|for|to|non|covariant|name|in|parameter|object)$", word) and after != "::":
            continue
        found.add(word)
    return found


def classify(decls, demangled):
    """None when the symbol is the headers' own, else why not."""
    path = entity(demangled)
    if not path or path[0] not in NAMESPACES:
        return "not the framework's"
    if not decls.public(path):
        return "not in an installed header: " + "::".join(path)
    for m in QUALIFIED.finditer(demangled.replace("(anonymous namespace)", "@anonymous")):
        other = components(m.group(1))
        if "@anonymous" in other:
            return "file-local"
        # `zid::X::f()::{lambda()#1}` and a static local's own name are parts of their
        # function; what matters is whether the function is the headers'.
        if not decls.public(other) and not any(decls.public(other[:k]) for k in range(1, len(other))):
            return "names a type of no installed header: " + "::".join(other)
    others = third_party(demangled)
    if others:
        return "carries another library's type: " + ", ".join(sorted(others))
    return None


def demangle(names):
    out = subprocess.run(["c++filt"], input="\n".join(names) + "\n", capture_output=True, text=True, check=True)
    return out.stdout.split("\n")[:len(names)]


def defined_symbols(files, dynamic):
    """The global (and weak) symbols the files define."""
    args = ["nm", "-D" if dynamic else "-g", "--defined-only", "--format=posix"]
    names = set()
    for k in range(0, len(files), 500):
        run = subprocess.run(args + files[k:k + 500], capture_output=True, text=True)
        if run.returncode != 0:
            sys.exit("exports: nm failed: " + run.stderr.strip()[:2000])
        out = run.stdout
        for line in out.splitlines():
            parts = line.split()
            if len(parts) >= 2 and parts[1] not in ("U", "w", "v") and not line.endswith(":"):
                names.add(parts[0].split("@")[0])
    return sorted(names)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("mode", choices=("map", "check", "declarations"))
    parser.add_argument("--headers", nargs="+", required=True)
    parser.add_argument("--objects")
    parser.add_argument("--out")
    parser.add_argument("--library", nargs="*", default=[])
    parser.add_argument("--symbol", nargs="*", default=[])
    args = parser.parse_args()
    decls = header_declarations(args.headers)

    if args.mode == "declarations":
        for kind in ("types", "declared", "functions", "variables"):
            for name in sorted(getattr(decls, kind)):
                print(kind, name)
        return 0

    if args.mode == "map":
        # The list names a target's precompiled header too, which is no object.
        objects = [line for line in open(args.objects).read().splitlines() if line.endswith(".o")]
        names = [n for n in defined_symbols(objects, False) if n.startswith("_Z")]
        exported = [n for n, d in zip(names, demangle(names)) if classify(decls, d) is None]
        script = ["{", "  global:"]
        script += ["    %s;" % n for n in sorted(set(exported) | set(args.symbol))]
        script += ["  local: *;", "};", ""]
        text = "\n".join(script)
        if not os.path.exists(args.out) or open(args.out).read() != text:
            with open(args.out, "w") as f:
                f.write(text)
        return 0

    failures = 0
    for library in args.library:
        names = [n for n in defined_symbols([library], True) if n not in ("_init", "_fini")]
        mangled = [n for n in names if n.startswith("_Z")]
        plain = sorted(set(names) - set(mangled) - set(args.symbol))
        demangled = demangle(mangled)
        bad = [(d, why) for d, why in ((d, classify(decls, d)) for d in demangled) if why]
        tops = {"::".join(entity(d)[:2]) for d in demangled}
        print("exports: %s exports %d symbols of %d top-level names, and %d C symbols"
              % (os.path.basename(library), len(mangled), len(tops), len(names) - len(mangled)))
        # Grouped by the entity they belong to, the largest groups first.
        groups = {}
        for d, why in bad:
            groups.setdefault(why, []).append(d)
        for why, members in sorted(groups.items(), key=lambda g: -len(g[1]))[:30]:
            example = members[0] if len(members[0]) <= 160 else members[0][:157] + "..."
            print("  %5d  %s\n         e.g. %s" % (len(members), why, example))
        if len(groups) > 30:
            print("  ... and %d more names" % (len(groups) - 30))
        for n in plain:
            print("  %s: a C symbol the package does not name" % n)
        failures += len(bad) + len(plain)
    if failures:
        print("exports: %d exported symbols are not the installed headers' declarations, or carry another "
              "library's type (above)" % failures, file=sys.stderr)
        return 1
    print("exports: every exported symbol is declared by an installed header (%d classes and enumerations, "
          "%d functions, %d variables)" % (len(decls.types), len(decls.functions), len(decls.variables)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
