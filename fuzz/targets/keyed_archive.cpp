// Keyed archives are read back from files the program saved earlier, which anything
// else on the device may have changed.

#include <cstdint>
#include <cstdlib>

#include <fnd/KeyedArchiver.h>
#include <fnd/KeyedUnarchiver.h>
#include <rt/Exception.h>

#include "FuzzInput.h"

namespace {

// A registered class that decodes every kind of value, nested objects included.
class Box : public rt::Object, public fnd::Coding {
    RT_CLASS(Box, rt::Object)
public:
    void encodeWithCoder(fnd::KeyedArchiver& coder) const override {
        coder.encodeObject(content, "content");
        coder.encodeObject(inner ? rt::Value(inner) : rt::Value(), "inner");
        coder.encodeInt64(number, "number");
    }
    void initWithCoder(fnd::KeyedUnarchiver& coder) override {
        content = coder.decodeObject("content");
        inner = coder.decodeObject("inner").as<Box>();
        number = coder.decodeInt64("number");
        (void)coder.decodeBool("flag");
        (void)coder.decodeDouble("weight");
    }
    rt::Value content;
    rt::Ref<Box> inner;
    long long number = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool registered = (fnd::registerCodingClass<Box>(), true);
    (void)registered;
    zidfuzz::reached();  // the whole input is the archive
    rt::Ref<rt::Error> error;
    rt::Value value = fnd::KeyedUnarchiver::unarchivedObject(rt::Data(data, data + size), &error);
    if (error) {
        // Messages quote bounded excerpts, whatever the input's size.
        if (!value.isNil() || error->localizedDescription().size() > 300) std::abort();
        return 0;
    }
    // What was read can be written again.
    try {
        (void)fnd::KeyedArchiver::archivedData(value);
    } catch (const rt::Exception&) {
        // Values that cannot be archived (a cycle cannot come from a document) raise.
    }
    return 0;
}
