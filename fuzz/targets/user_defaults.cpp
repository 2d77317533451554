// The user defaults file is JSON on disk that other programs can edit.

#include <cstdint>
#include <cstdlib>

#include <fnd/UserDefaults.h>

#include "FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view json(reinterpret_cast<const char*>(data), size);
    zidfuzz::reached();  // the whole input is the document
    auto value = fnd::UserDefaults::decodePropertyList(json);
    if (!value) return 0;
    // A decoded value is a property list, and encoding it and decoding again gives it back.
    if (!fnd::UserDefaults::isPropertyList(*value)) std::abort();
    auto encoded = fnd::UserDefaults::encodePropertyList(*value);
    if (!encoded) std::abort();
    auto again = fnd::UserDefaults::decodePropertyList(*encoded);
    if (!again || !again->isEqual(*value)) std::abort();
    return 0;
}
