#pragma once
// Copies the values of a source dictionary or array into a target (a dictionary, or an
// object with key-value coding) as a mapping dictionary says: under another name or key
// path, converted on the way, into several targets at once, through nested mappings,
// and only after the values have passed the mapping's validators.
//
// Mapping values: a mapping string, a KZPropertyDescriptor, or a nested mapping (a
// dictionary or an array) for a source value that is itself a collection. Mapping
// strings: a key path ("parentChannel.channelID"); several strings joined with "&";
// or a boxing "@Type(target)" / "@Type(param, ..., target)". URL and Date are built-in
// boxings, Selector(name, target) calls a converter registered under that name.
//
// A source entry the mapping does not mention is copied to a dictionary target under
// its own name, as a plain key (a "." in it stays part of the name); an object target
// only takes the keys it declares, so unmentioned entries are skipped there.

#include <functional>
#include <string>
#include <vector>

#include "Common/PropertyMapper/KZPropertyDescriptor.h"
#include <fnd/DateFormat.h>
#include <rt/Error.h>
#include <rt/Value.h>

namespace zid {

/// The code of every error the mapper makes.
inline constexpr long long KZPropertyMapperErrorCode = 44324344;
/// "com.zidoredider.KZPropertyMapper"
extern const char* const KZPropertyMapperErrorDomain;

/// An error of the mapper's domain with the code, the user information and the
/// description as localized description; writes "KZPropertyMapper Error: <description>"
/// to the console.
rt::Ref<rt::Error> varno_NSErrorMake(const std::string& description, long long code, const rt::Dictionary& userInfo);

/// Where mapped values go: a dictionary (changed in place) or an object.
class KZMappingTarget {
public:
    explicit KZMappingTarget(rt::Dictionary& dictionary) : dictionary_(&dictionary) {}
    explicit KZMappingTarget(rt::Object& object) : object_(&object) {}
    bool isDictionary() const { return dictionary_ != nullptr; }
    rt::Dictionary* dictionary() const { return dictionary_; }
    rt::Object* object() const { return object_; }
    /// The value at a key path (nil when absent).
    rt::Value valueForKeyPath(const std::string& keyPath) const;

private:
    rt::Dictionary* dictionary_ = nullptr;
    rt::Object* object_ = nullptr;
};

/// What a converter is given: the value (nil for null), the target and the key path it
/// writes to, and the source collection the value came from (its other members).
struct KZConversion {
    rt::Value value;
    const KZMappingTarget* target = nullptr;
    std::string keyPath;
    rt::Value source;
};
/// A converter answers the value to write; nil writes nothing.
using KZConverter = std::function<rt::Value(const KZConversion& conversion)>;
/// A boxing without parameters ("@URL(target)").
using KZBoxing = std::function<rt::Value(const rt::Value& value)>;

class KZPropertyMapper {
public:
    static bool mapValuesFrom(const rt::Value& source, rt::Dictionary& target, const rt::Value& mapping,
                              std::vector<rt::Ref<rt::Error>>* errors = nullptr);
    static bool mapValuesFrom(const rt::Value& source, rt::Object& target, const rt::Value& mapping,
                              std::vector<rt::Ref<rt::Error>>* errors = nullptr);
    static bool mapValuesFrom(const rt::Value& source, const KZMappingTarget& target, const rt::Value& mapping,
                              std::vector<rt::Ref<rt::Error>>* errors = nullptr);

    /// The validation pass alone: every descriptor's validators over the source values,
    /// in mapping order.
    static std::vector<rt::Ref<rt::Error>> validateMapping(const rt::Value& mapping, const rt::Value& values);

    /// Converters for "@Selector(name, target)". Registering a name again replaces it.
    static void registerConverter(const std::string& name, KZConverter converter);
    static bool hasConverter(const std::string& name);
    /// Boxings for "@Type(target)"; URL and Date are built in.
    static void registerBoxing(const std::string& type, KZBoxing boxing);

    /// A URL text stays as it is when it is one (no characters a URL cannot hold).
    static rt::Value boxValueAsURL(const rt::Value& value);
    /// Text in the form "yyyy-MM-dd'T'HH:mm:ss'Z'" as a UTC date.
    static rt::Value boxValueAsDate(const rt::Value& value);
    /// The shared formatter of boxValueAsDate.
    static rt::Ref<fnd::DateFormatter> dateFormatter();

    /// Turns the "Ignoring" console lines on or off (on at start).
    static void logIgnoredValues(bool enabled);
    /// Where console lines go (standard error unless set; nullptr restores that).
    static void setConsoleSink(std::function<void(const std::string&)> sink);
    static void writeConsole(const std::string& line);

    /// While one lives, console lines of this thread are not written: a caller that maps
    /// many items reports what went wrong once, in bulk (a list of millions of broken
    /// items must not print millions of lines).
    class ConsoleSilence {
    public:
        ConsoleSilence();
        ~ConsoleSilence();
        ConsoleSilence(const ConsoleSilence&) = delete;
        ConsoleSilence& operator=(const ConsoleSilence&) = delete;
    };

private:
    static bool mapDictionaryOrArray(const rt::Value& source, const KZMappingTarget& target, const rt::Value& mapping);
    static bool mapValue(const rt::Value& value, const KZMappingTarget& target, const rt::Value& mapping,
                         const std::string& sourceName, const rt::Value& source);
    static bool mapStringMapping(const rt::Value& value, const KZMappingTarget& target, const std::string& mapping,
                                 const std::string& sourceName, const rt::Value& source);
    static bool setValue(const rt::Value& value, const KZMappingTarget& target, const std::string& keyPath,
                         const std::string& sourceName, bool literalKey);
    static void validateInto(const rt::Value& mapping, const rt::Value& values, std::vector<rt::Ref<rt::Error>>& errors);
    static void validateEntry(const rt::Value& entryMapping, const rt::Value& value, std::vector<rt::Ref<rt::Error>>& errors);
};

}  // namespace zid
