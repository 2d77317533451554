#pragma once
// Strings tables: the text files that map localization keys to texts.
//
//   /* A comment */
//   "key" = "value";        // a line comment
//   "alone";                // a key that stands for itself
//   bare.word = "value";
//
// Quoted strings take the escapes \n \t \r \" \' \\ \a \b \f \v, octal \ooo and
// \uXXXX / \UXXXX (UTF-16 units, surrogate pairs joined). Files may be UTF-8 (with or
// without a byte-order mark) or UTF-16 with a byte-order mark.

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace fnd {

using StringsTable = std::unordered_map<std::string, std::string>;

struct StringsFileError {
    int line = 0;
    std::string message;
};

/// Parses the text of a strings table. On a syntax error answers nothing and, when
/// asked, says where and what.
std::optional<StringsTable> parseStringsFile(std::string_view text, StringsFileError* error = nullptr);

/// Reads and parses a strings table file. A missing or unreadable file is an error too.
std::optional<StringsTable> loadStringsFile(const std::string& path, StringsFileError* error = nullptr);

}  // namespace fnd
