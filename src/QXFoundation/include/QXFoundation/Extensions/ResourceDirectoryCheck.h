#pragma once
// Whether the framework's resource folder (fnd::Bundle::resourceDirectory) holds
// anything: without it icons are missing and texts show as their keys, which says
// nothing of the cause.

#include <string>

namespace zid {

/// What is wrong with the resource folder, naming it and what to set: it is missing, it
/// is empty, or none is known. Empty when the folder holds resources. The first time a
/// folder is found wanting it is logged (level 2, once per folder).
std::string resourceDirectoryProblem();

}  // namespace zid
