#include "LayerCheck.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>

namespace fs = std::filesystem;

namespace layering {

namespace {

const std::set<std::string> kSourceExtensions = {".h", ".hh", ".hpp", ".inl", ".ipp", ".tpp", ".c", ".cc", ".cpp", ".cxx"};

const char* const kToolkitLayer = "ui";

bool isSource(const fs::path& path) { return kSourceExtensions.count(path.extension().string()) > 0; }

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

/// The header named by an #include line, with whether it was quoted; nothing for any
/// other line (a comment, #include_next, a macro-named include).
struct Include {
    std::string header;
    bool quoted = false;
};

std::optional<Include> parseInclude(const std::string& line) {
    std::size_t i = line.find_first_not_of(" \t");
    if (i == std::string::npos || line[i] != '#') return std::nullopt;
    i = line.find_first_not_of(" \t", i + 1);
    if (i == std::string::npos || line.compare(i, 7, "include") != 0) return std::nullopt;
    i += 7;
    std::size_t open = line.find_first_not_of(" \t", i);
    if (open == std::string::npos || (line[open] != '<' && line[open] != '"')) return std::nullopt;
    char close = line[open] == '<' ? '>' : '"';
    std::size_t end = line.find(close, open + 1);
    if (end == std::string::npos || end == open + 1) return std::nullopt;
    return Include{line.substr(open + 1, end - open - 1), close == '"'};
}

class Checker {
public:
    Checker(fs::path root, const LayerOrder& order) : root_(std::move(root)) {
        if (!fs::is_directory(root_ / "platform") && !fs::is_directory(root_ / "src"))
            throw std::runtime_error("no platform/ or src/ folder below " + root_.string());
        for (const auto& layer : order.platformLayers) {
            int rank = static_cast<int>(names_.size());
            platformRanks_[layer] = rank;
            std::vector<std::string> prefixes;
            fs::path include = root_ / "platform" / layer / "include";
            if (fs::is_directory(include))
                for (const auto& entry : fs::directory_iterator(include))
                    if (entry.is_directory()) prefixes.push_back(entry.path().filename().string());
            std::sort(prefixes.begin(), prefixes.end());
            std::string name;
            for (const auto& prefix : prefixes) name += (name.empty() ? "" : "/") + prefix;
            names_.push_back(name.empty() ? layer : name);
        }
        for (const auto& unit : order.srcUnits) {
            srcRanks_[unit] = static_cast<int>(names_.size());
            names_.push_back(unit);
        }
        for (const auto& unit : order.toolkitFreeUnits) {
            auto it = srcRanks_.find(unit);
            if (it != srcRanks_.end()) toolkitFreeRanks_.insert(it->second);
        }
        auto toolkit = platformRanks_.find(kToolkitLayer);
        if (toolkit != platformRanks_.end()) toolkitRank_ = toolkit->second;
    }

    LayerReport run() {
        LayerReport report;
        reportUnlistedFolders("platform", platformRanks_, report);
        std::map<std::string, int> modules;
        for (const auto& [unit, rank] : srcRanks_) modules[unit.substr(0, unit.find('/'))] = rank;
        reportUnlistedFolders("src", modules, report);

        std::vector<fs::path> files;
        for (const char* top : {"platform", "src"}) {
            if (!fs::is_directory(root_ / top)) continue;
            for (const auto& entry : fs::recursive_directory_iterator(root_ / top))
                if (entry.is_regular_file() && isSource(entry.path())) files.push_back(entry.path());
        }
        std::sort(files.begin(), files.end());
        for (const auto& file : files) checkFile(file, report);
        return report;
    }

    std::string orderText() const {
        std::string text;
        for (const auto& name : names_) text += (text.empty() ? "" : " < ") + name;
        return text;
    }

private:
    std::string relative(const fs::path& path) const { return path.lexically_relative(root_).generic_string(); }

    void reportUnlistedFolders(const std::string& top, const std::map<std::string, int>& listed, LayerReport& report) const {
        if (!fs::is_directory(root_ / top)) return;
        std::vector<std::string> unlisted;
        for (const auto& entry : fs::directory_iterator(root_ / top))
            if (entry.is_directory() && !listed.count(entry.path().filename().string()))
                unlisted.push_back(entry.path().filename().string());
        std::sort(unlisted.begin(), unlisted.end());
        for (const auto& name : unlisted)
            report.findings.push_back({top + "/" + name, 0,
                                       top + "/" + name + " is in no layer: add its name to the layer order "
                                             "(cmake/ZidLayers.cmake) at its place from the bottom up"});
    }

    /// The rank of a file of the tree, from its path relative to the root; nothing
    /// for a file outside platform/ and src/ or in a folder the order does not list.
    std::optional<int> rankOf(const std::string& path) const {
        if (startsWith(path, "platform/")) {
            std::string rest = path.substr(9);
            auto it = platformRanks_.find(rest.substr(0, rest.find('/')));
            if (it == platformRanks_.end()) return std::nullopt;
            return it->second;
        }
        if (!startsWith(path, "src/")) return std::nullopt;
        // The path the file is included by: src/M/include/<p> is <p>, src/M/src/<p>
        // is M/<p>, any other src/M/<p> is M/<p>.
        std::string rest = path.substr(4);
        std::size_t slash = rest.find('/');
        if (slash == std::string::npos) return std::nullopt;
        std::string module = rest.substr(0, slash), inside = rest.substr(slash + 1);
        std::string logical = startsWith(inside, "include/") ? inside.substr(8)
                              : startsWith(inside, "src/")   ? module + "/" + inside.substr(4)
                                                             : rest;
        // The longest listed unit the path lies in: QXFoundation/Log before QXFoundation.
        std::optional<int> rank;
        std::size_t best = 0;
        for (const auto& [unit, unitRank] : srcRanks_) {
            if ((logical == unit || startsWith(logical, unit + "/")) && unit.size() > best) {
                best = unit.size();
                rank = unitRank;
            }
        }
        return rank;
    }

    /// The tree's own file an include names, relative to the root; nothing for a
    /// header from elsewhere.
    std::optional<std::string> resolve(const Include& include, const fs::path& includer) const {
        if (include.quoted) {
            fs::path beside = (includer.parent_path() / include.header).lexically_normal();
            if (fs::is_regular_file(beside)) return relative(beside);
        }
        for (const auto& [layer, rank] : platformRanks_) {
            fs::path candidate = root_ / "platform" / layer / "include" / include.header;
            if (fs::is_regular_file(candidate)) return relative(candidate);
        }
        fs::path candidate = root_ / "src" / include.header;
        if (fs::is_regular_file(candidate)) return relative(candidate);
        std::string module = include.header.substr(0, include.header.find('/'));
        candidate = root_ / "src" / module / "include" / include.header;
        if (fs::is_regular_file(candidate)) return relative(candidate);
        // A module part keeps its public headers in its own include/ folder.
        for (const auto& [unit, rank] : srcRanks_) {
            if (unit.find('/') == std::string::npos) continue;
            candidate = root_ / "src" / unit / "include" / include.header;
            if (fs::is_regular_file(candidate)) return relative(candidate);
        }
        return std::nullopt;
    }

    void checkFile(const fs::path& file, LayerReport& report) const {
        std::string path = relative(file);
        std::optional<int> rank = rankOf(path);
        if (!rank) return;  // in an unlisted folder, already reported
        ++report.filesChecked;
        std::ifstream in(file);
        std::string line;
        for (int number = 1; std::getline(in, line); ++number) {
            auto include = parseInclude(line);
            if (!include) continue;
            auto target = resolve(*include, file);
            if (!target) continue;
            ++report.includesChecked;
            auto targetRank = rankOf(*target);
            if (!targetRank) continue;
            std::string spelled = include->quoted ? "\"" + include->header + "\"" : "<" + include->header + ">";
            if (toolkitRank_ && *targetRank == *toolkitRank_ && toolkitFreeRanks_.count(*rank)) {
                report.findings.push_back({path, number,
                                           names_[*rank] + " may not include " + spelled +
                                               " of the interface toolkit; code bound to views goes into the "
                                               "module's part above the toolkit (RuzEzo/Interface, RudoreVaz/Controls)"});
                continue;
            }
            if (*targetRank <= *rank) continue;
            std::string message = names_[*rank] + " may not include " + spelled + " of " + names_[*targetRank] + ", ";
            if (startsWith(path, "platform/") && startsWith(*target, "src/"))
                message += "since nothing in platform/ depends on src/";
            else
                message += "a higher layer; a lower layer reaches a higher one only through an interface the higher one implements";
            report.findings.push_back({path, number, message});
        }
    }

    fs::path root_;
    std::vector<std::string> names_;  // by rank
    std::map<std::string, int> platformRanks_;
    std::map<std::string, int> srcRanks_;
    std::set<int> toolkitFreeRanks_;
    std::optional<int> toolkitRank_;
};

}  // namespace

std::string Finding::text() const { return file + ":" + std::to_string(line) + ": error: " + message; }

LayerReport checkLayers(const fs::path& root, const LayerOrder& order) { return Checker(root, order).run(); }

std::string describeOrder(const fs::path& root, const LayerOrder& order) { return Checker(root, order).orderText(); }

}  // namespace layering
