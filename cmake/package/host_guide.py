#!/usr/bin/env python3
"""Compiles the host's guide against the installed package's headers, as a host written to
it would: its C++ snippets, and every name of the framework its text uses, with the
headers the guide names.

  host_guide.py --guide docs/HOST_GUIDE.md --cxx <compiler> --work <dir> (--include <prefix>/include |
                --install <build-dir> [--cmake <cmake>])

With --install, the build's public headers are installed into <dir>/prefix first.

Snippets that start with an #include, a using-declaration, a class or a function are
compiled as they stand, in the guide's order; the others are statements of the host
tour's code, each compiled in a member function of a class deriving from the tour's
members (HostGuideContext.h beside this script). A name of the text (`zid::kSomething`,
`net::someFunction`) is declared with a using-declaration after <Zidoredider/Player.h>,
<Zidoredider/Window.h> and the headers its paragraph names (`<ui/Slider.h>`), so a name
that moves to a header its paragraph does not name fails here. Errors point at the
guide's lines.
"""
import argparse
import os
import re
import subprocess
import sys

NAMESPACES = ("zid", "rt", "fnd", "net", "sec", "dev", "ui", "web", "media", "ima")
TOP_LEVEL = re.compile(r"^\s*(#include|using\s|class\s|struct\s|int\s+main\b|namespace\s|template\s*<)")


def blocks(lines):
    """(first line number, language, code) of each fenced block; and the prose's
    (line number, line)s."""
    found, prose = [], []
    i = 0
    while i < len(lines):
        m = re.match(r"^```(\w*)\s*$", lines[i])
        if m:
            start, code = i + 2, []
            i += 1
            while i < len(lines) and not lines[i].startswith("```"):
                code.append(lines[i])
                i += 1
            found.append((start, m.group(1), code))
        else:
            prose.append((i + 1, lines[i]))
        i += 1
    return found, prose


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--guide", required=True)
    parser.add_argument("--include")
    parser.add_argument("--install")
    parser.add_argument("--cmake", default="cmake")
    parser.add_argument("--cxx", default="c++")
    parser.add_argument("--work", required=True)
    args = parser.parse_args()
    guide = os.path.abspath(args.guide)
    lines = open(guide, encoding="utf-8").read().split("\n")
    found, prose = blocks(lines)
    context = os.path.join(os.path.dirname(os.path.abspath(__file__)), "HostGuideContext.h")
    os.makedirs(args.work, exist_ok=True)
    if args.install:
        args.include = os.path.join(args.work, "prefix", "include")
        run = subprocess.run([args.cmake, "--install", args.install, "--component", "zid_headers", "--prefix",
                              os.path.join(args.work, "prefix")], capture_output=True, text=True)
        if run.returncode != 0:
            print(run.stdout + run.stderr)
            print("host-guide: installing the public headers of %s failed" % args.install, file=sys.stderr)
            return 1
    if not args.include:
        parser.error("--include or --install is needed")

    # The snippets: declarations first (in the guide's order), then the statements.
    top, statements = [], []
    for start, language, code in found:
        if language != "cpp":
            continue
        first = next((line for line in code if line.strip() and not line.strip().startswith("//")), "")
        text = '#line %d "%s"\n%s\n' % (start, guide, "\n".join(code))
        (top if TOP_LEVEL.match(first) else statements).append(text)
    if not statements or not top:
        print("host-guide: %s has no C++ snippets to compile" % guide, file=sys.stderr)
        return 1
    snippets = "".join(top)
    snippets += '#include "%s"\n' % context
    snippets += "struct HostGuideContext : HostGuideMembers {\n%s};\n" % "".join(
        "    int snippet%d();\n" % k for k in range(len(statements)))
    for k, text in enumerate(statements):
        snippets += "int HostGuideContext::snippet%d() {\n{\n%s}\nreturn 0;\n}\n" % (k, text)
    snippets_file = os.path.join(args.work, "snippets.cpp")
    with open(snippets_file, "w") as f:
        f.write("// The C++ snippets of %s.\n%s" % (guide, snippets))

    # The text, a paragraph (or list item, or table) at a time: each name of the
    # framework it uses is declared by the two headers every host includes or by a
    # header the same paragraph names. Paragraphs naming the same headers share one
    # translation unit.
    units = {}
    paragraph = []
    for number, line in prose + [(0, "")]:
        if line.strip() and not (line.startswith("- ") and paragraph):
            paragraph.append((number, line))
            continue
        text = "\n".join(l for _, l in paragraph)
        headers = tuple(sorted({h for s in re.findall(r"`([^`]+)`", text) for h in re.findall(r"<([\w/.+-]+\.h)>", s)}))
        for n, l in paragraph:
            for span in re.findall(r"`([^`]+)`", l):
                for m in re.finditer(r"(?<![\w:])((?:%s)::[A-Za-z_]\w*)" % "|".join(NAMESPACES), span):
                    units.setdefault(headers, {}).setdefault(m.group(1), n)
        paragraph = [(number, line)] if line.strip() else []
    sources = [(snippets_file, "snippets")]
    for k, (headers, names) in enumerate(sorted(units.items())):
        names_file = os.path.join(args.work, "names%d.cpp" % k)
        with open(names_file, "w") as f:
            f.write("// Names of %s's text, with the headers their paragraphs name.\n" % guide)
            f.write("".join("#include <%s>\n" % h for h in ("Zidoredider/Player.h", "Zidoredider/Window.h") + headers))
            f.write("".join('#line %d "%s"\nusing %s;\n' % (n, guide, name) for name, n in sorted(names.items())))
        sources.append((names_file, "names of the paragraphs that name %s" % (", ".join(headers) or "no header")))

    failed = False
    runs = [(subprocess.Popen([args.cxx, "-std=c++20", "-fsyntax-only", "-I", args.include, source],
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True), what)
            for source, what in sources]
    for run, what in runs:
        output = run.communicate()[0]
        if run.returncode != 0:
            failed = True
            print(output)
            print("host-guide: the guide's %s do not compile against the installed headers (above)" % what)
    if failed:
        return 1
    print("host-guide: %d snippets and %d names of the guide's text compile with the headers it names"
          % (len(top) + len(statements), sum(len(n) for n in units.values())))
    return 0


if __name__ == "__main__":
    sys.exit(main())
