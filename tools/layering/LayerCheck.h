#pragma once
// The layering rule of the tree: a file may include headers of its own layer and of
// the layers below it, never of one above. The layers, from the bottom up, are the
// folders of platform/ in their listed order, then the units of src/ in theirs: a
// unit is a module (QXFoundation) or a folder of a module built as a lower part of
// it (QXFoundation/Log), listed just before its module, or above it (RuzEzo/Interface),
// listed just after. Nothing in platform/ includes src/, since every platform layer sits
// below every src unit. Units may further be kept free of the interface toolkit (the
// platform layer "ui"): the signal and task libraries proper, whose toolkit-bound parts
// are libraries of their own above them.
//
// An include is ours when the header exists under one of the tree's include roots
// (platform/<layer>/include/, src/, src/<module>/include/) or, for a quoted include,
// next to the including file; anything else (<string>, <net/if.h>) is left alone.
// A folder of platform/ or src/ that the order does not list is itself a finding, so
// a new module is covered as soon as its name is added to the list.

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace layering {

struct LayerOrder {
    /// Folders of platform/ from the bottom up ("runtime", "foundation", ...).
    std::vector<std::string> platformLayers;
    /// Units of src/ from the bottom up: modules, and module parts ("QXFoundation/Log")
    /// listed before or after their module.
    std::vector<std::string> srcUnits;
    /// Units of src/ that may not include the interface toolkit (platform/ui).
    std::vector<std::string> toolkitFreeUnits;
};

struct Finding {
    std::string file;  // relative to the tree's root, with '/'
    int line = 0;      // 0 for a finding about a folder
    std::string message;

    /// "<file>:<line>: error: <message>", the form editors and CI logs link to.
    std::string text() const;
};

struct LayerReport {
    std::vector<Finding> findings;
    std::size_t filesChecked = 0;
    std::size_t includesChecked = 0;  // includes of the tree's own headers
};

/// Scans every source and header below root/platform and root/src. Throws
/// std::runtime_error when root holds neither folder.
LayerReport checkLayers(const std::filesystem::path& root, const LayerOrder& order);

/// The order as one line: "rt < fnd < ... < QXFoundation/Log < QXFoundation < ...".
std::string describeOrder(const std::filesystem::path& root, const LayerOrder& order);

}  // namespace layering
