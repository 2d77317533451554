#!/usr/bin/env python3
"""Writes a host's unit that calls every public method of every main-thread-only class of
the installed headers, each from a thread of the host's, for the sweep (cmake/package/threadsweep) to run: each
call must be refused with the thread error, leave the object as it was and call no
observer.

  thread_sweep.py --include <installed include dir> --clang <clang++> --work <dir>

Writes <dir>/sweep_<n>.cpp. The methods are read from clang's syntax tree of a unit that
includes every installed header (like declarations.py), so a method added to a header is
swept without anyone listing it. The sweep also checks that each object's class
description says main-thread-only.

The classes are those a host can reach, found by walking from what it starts with (the
facade, the prebuffering controller, a descriptor): the classes each public method
answers (an rt::Ref, a pointer, a reference, a container of them) and their bases,
transitively, so a class a new getter hands out is swept without anyone marking it; and
those whose header declares RT_MAIN_THREAD_ONLY_CLASS (or derive from one). A reached
class no public method can change (an error, a colour) reads the same on any thread and
is passed over; so is what SHARED lists, with its reason.

Besides a class's own methods it calls the methods of the interfaces it adopts that do
not derive from rt::Object (a session listener's calls, a delegate's), which a host can
call on the object as well, and its static methods: a static changes or reads what the
whole process shares, so it is held to the rule too unless STATIC_ANY_THREAD says why it
may run anywhere.

An object a playing facade hands out is called as that object, not as a fresh one: for
each class the facade reaches through getters without arguments, the child has a facade
in a window play (cmake/package/threadsweep/main.cpp) and follows those getters to an
object of the class (a fresh object only when they answer none).

Each call's arguments are made from the parameter types (cmake/package/threadsweep/Sweep.h);
a call whose arguments cannot be made, or a class no object of which can be made, is
reported by the sweep as left out, with the reason.
"""
import argparse
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import declarations  # noqa: E402

# The runtime's own members of every object, safe from any thread by design: the class
# and identity (the refusal itself names the class), associations (locked), the slots
# and locks the typed keys and observation use, the pre-destruction step (an object may
# be released on any thread), and what containers and logs ask on any thread.
ANY_THREAD = {
    "objectClass", "declaredClass", "className", "isKindOf", "isMemberOf", "conformsTo", "isEqual", "hash",
    "description", "self", "selfAs", "setAssociatedObject", "setWeakAssociatedObject", "associatedObject",
    "propertyLock", "addPreDestructionHandler", "removePreDestructionHandler", "isBeingDestroyed", "slot",
    "observationSlot", "ensureObservationSlot", "ensureSlot", "staticClass", "describe",
}


def type_of(node):
    t = node.get("type", {})
    return t.get("desugaredQualType") or t.get("qualType", "")


class Records:
    def __init__(self):
        # qualified name -> {"bases": [names], "methods": [...], "getters": [...]}
        self.classes = {}

    def walk(self, node, scope=()):
        kind = node.get("kind")
        if kind in declarations.SKIPPED or node.get("isImplicit"):
            return
        if kind == "NamespaceDecl":
            if not node.get("name"):
                return
            for child in node.get("inner", []):
                self.walk(child, scope + (node["name"],))
        elif kind == "LinkageSpecDecl":
            for child in node.get("inner", []):
                self.walk(child, scope)
        elif kind == "CXXRecordDecl" and node.get("completeDefinition") and node.get("name"):
            self.record(node, scope)

    def record(self, node, scope):
        name = "::".join(scope + (node["name"],))
        if name in self.classes:
            return  # dumped both on its own and inside its enclosing class
        entry = self.classes.setdefault(name, {"bases": [], "methods": [], "getters": [], "marked": False})
        entry["bases"] = [b["type"].get("desugaredQualType") or b["type"]["qualType"] for b in node.get("bases", [])
                          if b.get("access") == "public"]
        access = "public" if node.get("tagUsed") in ("struct", "union") else "private"
        seen = set()
        for child in node.get("inner", []):
            kind = child.get("kind")
            if kind == "AccessSpecDecl":
                access = child.get("access", access)
                continue
            if kind == "VarDecl" and child.get("name") == "mainThreadOnlyClass":
                entry["marked"] = True
                continue
            if kind == "CXXRecordDecl" and access == "public":
                self.walk(child, scope + (node["name"],))
                continue
            if kind == "CXXConstructorDecl" and access == "public" and not child.get("isImplicit") \
                    and not child.get("explicitlyDeleted"):
                params = [type_of(p) for p in child.get("inner", []) if p.get("kind") == "ParmVarDecl"]
                entry.setdefault("makers", []).append({"factory": None, "params": params})
                continue
            if kind == "CXXMethodDecl" and access == "public" and child.get("storageClass") == "static" \
                    and child["type"]["qualType"].startswith("rt::Ref<%s> (" % node["name"]):
                params = [type_of(p) for p in child.get("inner", []) if p.get("kind") == "ParmVarDecl"]
                entry.setdefault("makers", []).append({"factory": child["name"], "params": params})
            if kind != "CXXMethodDecl" or access != "public" or child.get("isImplicit"):
                continue
            method = child.get("name", "")
            if method.startswith("operator") or child.get("explicitlyDeleted"):
                continue
            params = [type_of(p) for p in child.get("inner", []) if p.get("kind") == "ParmVarDecl"]
            signature = child["type"]["qualType"]
            const = signature.rstrip().endswith(" const") or " const " in signature.rsplit(")", 1)[-1] + " "
            key = (method, tuple(params), const)
            if key in seen:
                continue
            seen.add(key)
            entry["methods"].append({"name": method, "params": params, "const": const,
                                     "static": child.get("storageClass") == "static", "signature": signature,
                                     "returns": returned_type(signature)})
            if not params and const and child.get("storageClass") != "static" and method not in ANY_THREAD \
                    and not signature.startswith("void "):
                entry["getters"].append(method)

    def derives_from_object(self, name, seen=()):
        if name == "rt::Object":
            return True
        if name in seen or name not in self.classes:
            return False
        return any(self.derives_from_object(b.lstrip(":"), seen + (name,)) for b in self.classes[name]["bases"])


def returned_type(signature):
    """The return type of a method's type as the syntax tree prints it ("R (P) const")."""
    depth = 0
    for at, c in enumerate(signature):
        if c == "<":
            depth += 1
        elif c == ">":
            depth -= 1
        elif c == "(" and depth == 0:
            return signature[:at].strip()
    return signature


# Where a host starts: the facade and what it makes itself.
ROOTS = ("zid::QXQuorvexPlayer", "zid::QXPrebufferingController", "zid::QXMediaDescriptor")
# Answered by many getters as "some object": what it is depends on the object, and is
# reached (and swept) through the getters that name it.
GENERIC = {"rt::Object"}
# Reached, but made for the caller and shared with the framework's other threads by
# design, so not held to the main thread (the reason is printed with the sweep).
SHARED = {
    "zid::QXVexaConfig": "a copy made for each caller (SDKVexaFactory::defaultConfig), held by the transport's "
                         "subscriptions, whose properties are safe on any thread",
}


# Static methods of main-thread-only classes that may run on any thread, with the reason;
# every other static is held to the thread rule.
MAKES = "makes a new object, as a constructor does; the object keeps the rule from then on"
FROM_ARGUMENTS = "answers from its arguments alone; an object among them keeps its own rule"
STATIC_ANY_THREAD = {
    "ui::BezierPath::path": MAKES,
    "ui::Button::buttonWithType": MAKES,
    "zid::CPPlaybackSessionState::stateWithPlaying": MAKES,
    "zid::QXMediaDescriptor::liveDescriptorWithID": MAKES,
    "zid::QXMediaDescriptor::channelDescriptorWithID": MAKES,
    "zid::QXMediaDescriptor::recordedDescriptorWithID": MAKES,
    "zid::QXMediaSelectionOption::mediaSelectionOptionWithLanguageTag": MAKES,
    "zid::QXSubtitle::subtitleWithLanguageTag": MAKES,
    "zid::QXToolbarItem::fixedSpaceItemWithWidth": MAKES,
    "zid::CPLogoLayer::logoTypeForSource": FROM_ARGUMENTS,
    "zid::CPPlayerAdView::remainingText": FROM_ARGUMENTS,
    "zid::CPSeekbarToolbarItem::timeTextFromSeconds": FROM_ARGUMENTS,
    "zid::NotificationView::attributedText": FROM_ARGUMENTS,
    "zid::QXIMAPlayer::appendCustomParametersToURLString": FROM_ARGUMENTS,
    "zid::QXIMAPlayer::buildParameterList": FROM_ARGUMENTS,
    "zid::QXPrebufferingController::numberOfPlayersToPrepareIfAlreadyPrepared": FROM_ARGUMENTS,
    "zid::QXSeekbar::defaultMapping": FROM_ARGUMENTS,
    "zid::QXToolbar::fixedSize": FROM_ARGUMENTS,
    "zid::QXToolbar::flexibleItems": FROM_ARGUMENTS,
    "zid::QXToolbar::resizeFlexibleItems": FROM_ARGUMENTS,
    "zid::RichTextView::cacheKeyForHTMLString": FROM_ARGUMENTS,
    "zid::SDKVexaFactory::connectionTypeFromRadioAccessTechnology": FROM_ARGUMENTS,
    "zid::SDKVexaFactory::defaultConfigForEnvironment": FROM_ARGUMENTS,
    "zid::CPToolbarItem::fontSizeScale": "a constant",
    "zid::SDKVexaFactory::connectionType": "reads the device's connectivity, which the device keeps for every thread "
                                           "(each media-server configuration reads it where it is made)",
    "zid::SDKVexaFactory::mediaServerSettings": "reads the settings under their lock (setting them is held to the rule)",
    "zid::SDKVexaFactory::socketSettings": "reads the settings under their lock (setting them is held to the rule)",
}

# Where a host starts when it plays: the facade, playing a stream.
PLAYING_ROOT = "zid::QXQuorvexPlayer"
# The longest way of getters followed from it.
MAX_CHAIN = 4
# Methods without arguments that answer an object and change nothing a host sees, though
# they are not const: they make what they answer on first use.
NON_CONST_GETTERS = {"view"}


def overrider(method):
    """What a method of a class and the one of an interface it overrides have in common:
    the name, the parameter types without their namespaces (spelled in each one's own)
    and constness."""
    import re
    return (method["name"], tuple(re.sub(r"\b\w+::", "", p).replace(" ", "") for p in method["params"]), method["const"])


def interfaces_of(records, name):
    """The interfaces a class adopts (its bases that do not derive from rt::Object, and
    theirs), whose methods a host calls on the object too. A base derived from rt::Object
    is swept as a class of its own, with its interfaces."""
    result = []
    for base in records.classes.get(name, {}).get("bases", []):
        base = base.lstrip(":")
        if base not in records.classes or base in GENERIC or records.derives_from_object(base):
            continue
        if base not in result:
            result.append(base)
        result += [b for b in interfaces_of(records, base) if b not in result]
    return result


def followed_class(records, returns, scope):
    """The class an object answered as `returns` is (an rt::Ref, a pointer, a reference,
    or the first of a vector of them), when it derives from rt::Object; else None."""
    import re
    t = returns.replace("const ", "").strip()
    plain = t.rstrip("&* ").strip()
    for pattern in (r"^(?:rt::Ref|std::shared_ptr)<(.+)>$", r"^std::vector<(?:rt::Ref|std::shared_ptr)<([^<>]+)>.*>$"):
        match = re.match(pattern, plain)
        if match:
            plain = match.group(1).strip()
            break
    else:
        if not t.endswith(("&", "*")):
            return None
    found = resolve(records, plain, scope)
    return found if found and found not in GENERIC and records.derives_from_object(found) else None


def playing_chains(records, swept):
    """For each swept class a playing facade hands out, the getters without arguments that
    lead from the facade to an object of it (one of the shortest ways)."""
    chains = {PLAYING_ROOT: []}
    pending = [PLAYING_ROOT]
    while pending:
        name = pending.pop(0)
        if len(chains[name]) >= MAX_CHAIN or name in SHARED:
            continue
        for declarer in [name] + sorted(a for a in ancestors(records, name) if a not in GENERIC):
            for m in records.classes.get(declarer, {}).get("methods", []):
                if m["static"] or m["params"] or m["name"] in ANY_THREAD or m["returns"].startswith("void"):
                    continue
                if not m["const"] and m["name"] not in NON_CONST_GETTERS:
                    continue
                found = followed_class(records, m["returns"], tuple(declarer.split("::")))
                if found and found not in chains:
                    chains[found] = chains[name] + [m["name"]]
                    pending.append(found)
    return {n: chain for n, chain in chains.items() if n in swept}


def playing_lambda(name, chain):
    """A lambda answering the object the chain of getters leads to from a playing facade,
    or nullptr when there is no chain."""
    if chain is None:
        return "nullptr"
    steps = ["auto p1 = ::sweep::followed(p0.%s()); if (!p1) return nullptr;" % chain[0]] if chain else []
    for n, getter in enumerate(chain[1:], start=2):
        steps.append("auto p%d = ::sweep::followed(p%d->%s()); if (!p%d) return nullptr;" % (n, n - 1, getter, n))
    last = "p%d" % len(chain)
    return ("[](::%s& p0) -> rt::Ref<::%s> { %s return std::dynamic_pointer_cast<::%s>(%s.shared_from_this()); }"
            % (PLAYING_ROOT, name, " ".join(steps), name, "(*%s)" % last if chain else "p0"))


def resolve(records, written, scope):
    """The qualified name of a class written in a declaration of scope, or None."""
    written = written.lstrip(":")
    for n in range(len(scope), -1, -1):
        name = "::".join(scope[:n] + (written,))
        if name in records.classes:
            return name
    return None


def handed_out(records, name):
    """The classes a public method of class name answers (as rt::Ref, pointer, reference
    or in a container), derived from rt::Object."""
    import re
    scope = tuple(name.split("::"))
    result = set()
    for m in records.classes[name]["methods"]:
        if m["name"] in ANY_THREAD:
            continue
        for written in re.findall(r"[A-Za-z_][\w:]*", m["returns"]):
            found = resolve(records, written, scope)
            if found and found not in GENERIC and records.derives_from_object(found):
                result.add(found)
    return result


def changeable(records, name):
    """Whether a public method of the class or of a base (other than rt::Object's own)
    can change an object: one that is not const. An object no public method changes (an
    error, a colour) reads the same on every thread."""
    return any(not m["const"] and not m["static"] and m["name"] not in ANY_THREAD
               for c in [name] + sorted(ancestors(records, name)) if c not in GENERIC
               for m in records.classes.get(c, {}).get("methods", []))


def reachable(records):
    """Every class a host can reach from the roots: what their public methods answer,
    and the classes those declare as their bases (other than rt::Object: a host calls a
    base's methods on the object too), transitively. Answers name -> how it is reached."""
    path = {name: name for name in ROOTS if name in records.classes}
    pending = list(path)
    while pending:
        name = pending.pop(0)
        if name in SHARED:
            continue
        steps = [(n, path[name] + " -> " + n) for n in sorted(handed_out(records, name))]
        steps += [(n, path[name] + " :> " + n) for n in sorted(ancestors(records, name))
                  if n not in GENERIC and n in records.classes]
        for n, how in steps:
            if n not in path and records.derives_from_object(n):
                path[n] = how
                pending.append(n)
    return path


def scopes_of(roots):
    """The enclosing scope of each dumped class, read from the demangled symbol of one of
    its methods; None for a class without one (no method a host could call)."""
    symbols = []
    for node in roots:
        symbol = next((c.get("mangledName") for c in node.get("inner", [])
                       if c.get("kind") in declarations.FUNCTIONS and c.get("mangledName", "").startswith("_Z")), None)
        symbols.append(symbol)
    wanted = [s for s in symbols if s]
    demangled = dict(zip(wanted, subprocess.run(["c++filt"], input="\n".join(wanted) + "\n", capture_output=True,
                                                text=True, check=True).stdout.split("\n")))
    scopes = []
    for node, symbol in zip(roots, symbols):
        if not symbol:
            scopes.append(None)
            continue
        text = demangled[symbol]
        marker = "::" + node["name"] + "::"
        at = text.find(marker)
        scopes.append(tuple(text[:at].split("::")) if at > 0 else () if text.startswith(node["name"] + "::") else None)
    return scopes


def cxx_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


BUILTIN = {"const", "bool", "char", "short", "int", "long", "unsigned", "signed", "float", "double", "void"}


def spelled_outside(params):
    """Whether each type names itself fully (a builtin or a qualified name), so that it
    is found outside the class's namespace."""
    import re
    return all(t in BUILTIN or "::" in t for p in params for t in re.findall(r"[A-Za-z_][\w:]*", p))


PARTS = 4

UNSPELLABLE = ("(lambda", "(anonymous", "type-parameter", "(unnamed", "<dependent")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--include", required=True)
    parser.add_argument("--clang", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--jobs", type=int, default=3)
    parser.add_argument("--dumps", help="a folder where the syntax tree's dumps are kept for the next check")
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)

    headers, unit = declarations.headers_unit(args.include, args.work)
    records = Records()
    roots = [node for node in declarations.each_dumped_node(args.clang, args.include, unit, args.work, args.jobs,
                                                             "thread_sweep", args.dumps) if node.get("kind") == "CXXRecordDecl"]
    # The dump names a class without its namespace; a method's symbol names both.
    for node, scope in zip(roots, scopes_of(roots)):
        if scope is not None:
            records.walk(node, scope)

    marked = [n for n in records.classes if records.derives_from_object(n) and
              (records.classes[n]["marked"] or any(records.classes.get(a, {}).get("marked")
                                                   for a in ancestors(records, n)))]
    # What a host reaches is held to the main thread whether or not its header says so.
    reached = {n: how for n, how in reachable(records).items() if changeable(records, n) and n not in SHARED}
    for n in sorted(reached):
        if n not in marked:
            print("thread_sweep: reached without the mark: %s (%s)" % (n, reached[n]))
    for n, why in sorted(SHARED.items()):
        print("thread_sweep: reached but shared with other threads, not swept: %s (%s)" % (n, why))
    classes = sorted(set(marked) | set(reached))
    lines = ["// Generated from the installed headers by thread_sweep.py: every public method of",
             "// every class derived from rt::Object, for the thread sweep to call from a host's thread.", ""]
    lines += ["#include <%s>" % h for h in headers]
    lines += ['#include "Sweep.h"', "", "// How to make an object of a class that has no frame or default constructor:",
              "// each public constructor and static factory whose parameter types the sweep can",
              "// make, tried in order.", "namespace sweep {"]
    # An object of a class the sweep reaches only through an interface is made as one of
    # the classes derived from it.
    families = {name: [name] + sorted(n for n in records.classes if n != name and name in ancestors(records, n)
                                      and records.derives_from_object(n))
                for name in classes}
    made = sorted(set(n for family in families.values() for n in family))
    for name in made:
        makers = [m for m in records.classes[name].get("makers", []) if m["params"] and spelled_outside(m["params"])]
        for n, m in enumerate(makers[:4]):
            args_d = ", ".join(made_by_class(records, name, p) or "arg<%s, D>()" % p for p in m["params"])
            if m["factory"]:
                lines.append("template <> struct Maker<::%s, %d> {" % (name, n))
                lines.append("    template <class D = void> static auto make() -> decltype(rt::Ref<::%s>(::%s::%s(%s))) {"
                             % (name, name, m["factory"], args_d))
                lines.append("        return ::%s::%s(%s);" % (name, m["factory"], args_d))
            else:
                lines.append("template <> struct Maker<::%s, %d> {" % (name, n))
                lines.append("    template <class D = void, class = std::enable_if_t<!std::is_abstract_v<::%s> && "
                             "std::is_constructible_v<::%s, %s>>>" % (name, name, ", ".join(
                                 "decltype(arg<%s, D>())" % p for p in m["params"])))
                lines.append("    static rt::Ref<::%s> make() {" % name)
                lines.append("        return rt::make<::%s>(%s);" % (name, args_d))
            lines.append("    }")
            lines.append("};")
    lines += ["}  // namespace sweep", ""]
    prelude = lines
    # The calls are spread over units of their own, for the compiler to work on them side
    # by side; each unit holds every class's way to be made.
    parts = [[] for _ in range(PARTS)]
    counts = {"methods": 0, "interface": 0, "static": 0, "playing": 0}
    functions = []
    chains = playing_chains(records, set(classes))
    for number, name in enumerate(classes):
        info = records.classes[name]
        family = families[name]
        getters = sorted(set(all_getters(records, name)))
        own = {overrider(m) for m in info["methods"]}
        # The calls are written in the namespace of the class or interface that declares
        # them, where the names of its types that the syntax tree prints unqualified are
        # found: one function for the class's own methods and one for each interface.
        groups = [(name, info["methods"], None)]
        for interface in interfaces_of(records, name):
            inherited = [m for m in records.classes[interface]["methods"] if overrider(m) not in own and not m["static"]]
            if inherited:
                groups.append((interface, inherited, interface))
        for part, (declarer, methods, interface) in enumerate(groups):
            namespace = declarer.split("::")[0] if "::" in declarer else "sweep"
            function = "sweep_%d_%d" % (number, part)
            functions.append((namespace, function))
            lines = parts[(number + part) % PARTS]
            lines.append("namespace %s {" % namespace)
            lines.append("void %s(::sweep::Registry& r) {" % function)
            lines.append("    using ::sweep::arg;")
            # An object of the class as a playing facade hands it out, or else a fresh one
            # of the class or of the first class derived from it that can be made: the
            # method is the same.
            lines.append("    {")
            lines.append("        using Family = ::sweep::Types<%s>;" % ", ".join("::" + n for n in family))
            lines.append("        auto snapshot = [](auto& o) { ::sweep::Snapshot s; %s; return s; };" % (
                "; ".join("SWEEP_GETTER_IN(s, o, %s)" % g for g in getters) or "(void)o"))
            chain = chains.get(name)
            lines.append("        auto playing = %s;" % playing_lambda(name, chain))
            for m in methods:
                label = "%s::%s(%s)%s%s" % (name, m["name"], ", ".join(m["params"]), " const" if m["const"] else "",
                                            " (of %s)" % interface if interface else "")
                reason = None
                if m["static"] and (name + "::" + m["name"]) in STATIC_ANY_THREAD:
                    reason = "static, on any thread: " + STATIC_ANY_THREAD[name + "::" + m["name"]]
                elif m["static"] and m["name"] == "describe":
                    reason = "the class's description, read once by the runtime"
                elif m["name"] in ANY_THREAD:
                    reason = "the runtime's own, safe on any thread"
                elif any(u in p for p in m["params"] for u in UNSPELLABLE):
                    reason = "a parameter type a host cannot name"
                if reason:
                    lines.append("        r.leftOut(%s, %s);" % (cxx_string(label), cxx_string(reason)))
                    continue
                if m["static"]:
                    # Named after a dummy, so that arguments the sweep cannot make leave the
                    # call out instead of failing the unit.
                    call_args = ", ".join("arg<%s, decltype(d)>()" % p for p in m["params"])
                    lines.append("        r.staticMethod(%s, [](auto& d) -> decltype((void)::%s::%s(%s)) { (void)::%s::%s(%s); });"
                                 % (cxx_string(label), name, m["name"], call_args, name, m["name"], call_args))
                    counts["static"] += 1
                    continue
                call_args = ", ".join("arg<%s, decltype(o)>()" % p for p in m["params"])
                target = "std::as_const(o)" if m["const"] else "o"
                if interface:
                    # Through the interface, as the object's callers reach it (the class
                    # may keep its own override private).
                    target = "static_cast<const ::%s&>(o)" % interface if m["const"] else "static_cast<::%s&>(o)" % interface
                lines.append("        r.method<Family>(%s, snapshot, playing, [](auto& o) -> decltype((void)%s.%s(%s)) { (void)%s.%s(%s); });"
                             % (cxx_string(label), target, m["name"], call_args, target, m["name"], call_args))
                counts["interface" if interface else "methods"] += 1
                if chain:
                    counts["playing"] += 1
            lines.append("    }")
            lines += ["}", "}", ""]
    lines = parts[0]
    lines += ["namespace %s { void %s(::sweep::Registry& r); }" % f for f in functions]
    lines += ["namespace sweep {", "", "void addEveryMethod(Registry& r) {"]
    lines += ["    %s::%s(r);" % f for f in functions]
    lines += ["}", "", "}  // namespace sweep", ""]
    for n, part in enumerate(parts):
        with open(os.path.join(args.work, "sweep_%d.cpp" % n), "w") as f:
            f.write("\n".join(prelude + part))
    for n in sorted(chains):
        print("thread_sweep: called as a playing facade hands it out: %s (%s)" % (n, " -> ".join(["facade"] + chains[n])))
    print("thread_sweep: %d public methods of %d main-thread-only classes in %d installed headers (%d classes "
          "reached from the facade, %d of them without the mark), %d methods of the interfaces they adopt, %d "
          "static methods; %d of the calls on an object a playing facade hands out (%d classes)"
          % (counts["methods"], len(classes), len(headers), len(reached), len(set(reached) - set(marked)),
             counts["interface"], counts["static"], counts["playing"], len(chains)))
    return 0


def made_by_class(records, name, param):
    """A call of the class's own static factory answering what param takes (a media player
    makes its movie player controller), or None."""
    import re

    def plain(t):  # rt::Ref<X> as written or as std::shared_ptr<ns::X> desugared: Ref<X>
        t = t.replace("const ", "").replace("&", "").replace("std::shared_ptr<", "Ref<")
        return re.sub(r"\b\w+::", "", t).replace(" ", "")

    for m in records.classes[name]["methods"]:
        if m["static"] and not m["params"] and plain(m["returns"]) == plain(param):
            return "::%s::%s()" % (name, m["name"])
    return None


def ancestors(records, name, seen=()):
    result = set()
    for base in records.classes.get(name, {}).get("bases", []):
        base = base.lstrip(":")
        if base in seen:
            continue
        result.add(base)
        result |= ancestors(records, base, seen + (name,))
    return result


def all_getters(records, name):
    result = list(records.classes[name]["getters"])
    for base in ancestors(records, name):
        result += records.classes.get(base, {}).get("getters", [])
    return result


if __name__ == "__main__":
    sys.exit(main())
