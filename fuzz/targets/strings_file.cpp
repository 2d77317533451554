// Strings tables come with resource bundles from outside the program.

#include <cstdint>
#include <cstdlib>

#include <fnd/StringsFile.h>

#include "FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    zidfuzz::reached();  // the whole input is the file
    fnd::StringsFileError error;
    auto table = fnd::parseStringsFile(text, &error);
    if (table) {
        // A parsed table is text keys to text values, never more entries than bytes.
        if (table->size() > size) std::abort();
    } else if (error.message.empty() || error.message.size() > 200 || error.line < 0) {
        std::abort();  // a refusal always says why and where, quoting little of the text
    }
    return 0;
}
