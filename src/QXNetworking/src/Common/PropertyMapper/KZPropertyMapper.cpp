#include "Common/PropertyMapper/KZPropertyMapper.h"

#include <atomic>
#include <cstdlib>
#include <cxxabi.h>
#include <cstdio>
#include <map>
#include <mutex>
#include <set>
#include <shared_mutex>

#include "Common/JSON/DictionaryKeyPath.h"
#include <rt/Exception.h>
#include <rt/Format.h>

namespace zid {

const char* const KZPropertyMapperErrorDomain = "com.zidoredider.KZPropertyMapper";

namespace {

std::atomic<bool> gLogIgnored{true};

struct Registry {
    std::shared_mutex mutex;
    std::map<std::string, KZConverter, std::less<>> converters;
    std::map<std::string, KZBoxing, std::less<>> boxings;
    std::function<void(const std::string&)> sink;
};

Registry& registry() {
    static Registry* r = [] {
        auto* made = new Registry();  // never released: mapping may run while the process ends
        made->boxings["URL"] = [](const rt::Value& v) { return KZPropertyMapper::boxValueAsURL(v); };
        made->boxings["Date"] = [](const rt::Value& v) { return KZPropertyMapper::boxValueAsDate(v); };
        return made;
    }();
    return *r;
}

void internalError(const char* condition) {
    varno_NSErrorMake(rt::format("Invalid condition not satisfying: %s", condition), KZPropertyMapperErrorCode, {});
}

// Boxes text with box; nil stays nil, and any other value is an internal error that
// boxes to nil.
template <class Box>
rt::Value boxText(const rt::Value& value, const Box& box) {
    if (value.isNil()) return {};
    if (!value.isString()) {
        internalError("[value isKindOfClass:NSString.class]");
        return {};
    }
    return box(value.string());
}

void logIgnored(const std::string& line) {
    if (gLogIgnored.load()) KZPropertyMapper::writeConsole(line);
}

bool isNestedMapping(const rt::Value& mapping) { return mapping.isDictionary() || mapping.isArray(); }

std::string trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(first, last - first + 1));
}

std::vector<std::string> split(std::string_view text, std::string_view separators) {
    std::vector<std::string> pieces;
    std::string current;
    for (char c : text) {
        if (separators.find(c) != std::string_view::npos) {
            pieces.push_back(current);
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    pieces.push_back(current);
    return pieces;
}

std::string className(const rt::Value& value) {
    switch (value.type()) {
        case rt::Value::Type::Number: return "Number";
        case rt::Value::Type::String: return "String";
        case rt::Value::Type::Data: return "Data";
        case rt::Value::Type::Date: return "Date";
        case rt::Value::Type::Array: return "Array";
        case rt::Value::Type::Dictionary: return "Dictionary";
        case rt::Value::Type::Object: return value.object()->className();
        default: return "nil";
    }
}

// The class a property declares, read from the runtime's refusal ("Expected a string for
// a property but got 5."), in the names className() gives values.
std::string declaredClass(const rt::Exception& refusal) {
    const std::string& text = refusal.reason();
    static constexpr std::string_view lead = "Expected ";
    static constexpr std::string_view tail = " for a property";
    const auto end = text.find(tail);
    if (text.rfind(lead, 0) != 0 || end == std::string::npos) return "the property's type";
    std::string expected = text.substr(lead.size(), end - lead.size());
    static const std::pair<std::string_view, std::string_view> names[] = {
        {"a number", "Number"}, {"a string", "String"},         {"a date", "Date"},
        {"data", "Data"},       {"a dictionary", "Dictionary"}, {"an object", "Object"},
    };
    for (const auto& [phrase, name] : names)
        if (expected == phrase) return std::string(name);
    // An object of a named class: the runtime gives its mangled C++ name.
    int status = -1;
    char* demangled = abi::__cxa_demangle(expected.c_str(), nullptr, nullptr, &status);
    if (status == 0 && demangled) expected = demangled;
    std::free(demangled);
    if (const auto colons = expected.rfind("::"); colons != std::string::npos) expected.erase(0, colons + 2);
    return expected;
}

}  // namespace

rt::Ref<rt::Error> varno_NSErrorMake(const std::string& description, long long code, const rt::Dictionary& userInfo) {
    rt::Dictionary info = userInfo;
    info.set(rt::Value(rt::Error::LocalizedDescriptionKey), rt::Value(description));
    KZPropertyMapper::writeConsole("KZPropertyMapper Error: " + description);
    return rt::Error::make(KZPropertyMapperErrorDomain, code, info);
}

rt::Value KZMappingTarget::valueForKeyPath(const std::string& keyPath) const {
    if (dictionary_) return zid::valueForKeyPath(*dictionary_, keyPath);
    try {
        return object_->valueForKeyPath(keyPath);
    } catch (const rt::Exception&) {
        return {};
    }
}

void KZPropertyMapper::registerConverter(const std::string& name, KZConverter converter) {
    std::unique_lock lock(registry().mutex);
    registry().converters[name] = std::move(converter);
}

bool KZPropertyMapper::hasConverter(const std::string& name) {
    std::shared_lock lock(registry().mutex);
    return registry().converters.count(name) > 0;
}

void KZPropertyMapper::registerBoxing(const std::string& type, KZBoxing boxing) {
    std::unique_lock lock(registry().mutex);
    registry().boxings[type] = std::move(boxing);
}

void KZPropertyMapper::logIgnoredValues(bool enabled) { gLogIgnored.store(enabled); }

void KZPropertyMapper::setConsoleSink(std::function<void(const std::string&)> sink) {
    std::unique_lock lock(registry().mutex);
    registry().sink = std::move(sink);
}

namespace {
thread_local int consoleSilenced = 0;
}  // namespace

KZPropertyMapper::ConsoleSilence::ConsoleSilence() { ++consoleSilenced; }
KZPropertyMapper::ConsoleSilence::~ConsoleSilence() { --consoleSilenced; }

void KZPropertyMapper::writeConsole(const std::string& line) {
    if (consoleSilenced > 0) return;
    std::function<void(const std::string&)> sink;
    {
        std::shared_lock lock(registry().mutex);
        sink = registry().sink;
    }
    if (sink) sink(line);
    else std::fprintf(stderr, "%s\n", line.c_str());
}

rt::Ref<fnd::DateFormatter> KZPropertyMapper::dateFormatter() {
    static const rt::Ref<fnd::DateFormatter> formatter = [] {
        auto made = rt::make<fnd::DateFormatter>("yyyy-MM-dd'T'HH:mm:ss'Z'", fnd::Locale::withIdentifier("en_US_POSIX"));
        made->setTimeZone(fnd::TimeZone::utc());
        return made;
    }();
    return formatter;
}

rt::Value KZPropertyMapper::boxValueAsURL(const rt::Value& value) {
    return boxText(value, [&value](const std::string& text) {
        static constexpr std::string_view allowed = "-._~:/?#[]@!$&'()*+,;=%";
        for (unsigned char c : text) {
            const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
            if (!alnum && (c >= 0x80 || allowed.find(char(c)) == std::string_view::npos)) return rt::Value();
        }
        return value;
    });
}

rt::Value KZPropertyMapper::boxValueAsDate(const rt::Value& value) {
    return boxText(value, [](const std::string& text) {
        const auto date = dateFormatter()->dateFromString(text);
        return date ? rt::Value(*date) : rt::Value();
    });
}

// ---- validation ---------------------------------------------------------------------

void KZPropertyMapper::validateEntry(const rt::Value& entryMapping, const rt::Value& value,
                                     std::vector<rt::Ref<rt::Error>>& errors) {
    if (isNestedMapping(entryMapping)) {
        validateInto(entryMapping, value, errors);
    } else if (auto descriptor = entryMapping.as<KZPropertyDescriptor>()) {
        for (auto& error : descriptor->validateValue(value)) errors.push_back(std::move(error));
    }
}

void KZPropertyMapper::validateInto(const rt::Value& mapping, const rt::Value& values,
                                    std::vector<rt::Ref<rt::Error>>& errors) {
    if (!mapping.isDictionary()) {
        errors.push_back(varno_NSErrorMake("Invalid condition not satisfying: [mapping isKindOfClass:NSDictionary.class]",
                                           KZPropertyMapperErrorCode, {}));
        return;
    }
    if (values.isNilOrNull() || values.isDictionary()) {
        for (const auto& [key, entryMapping] : mapping.dictionary().entries()) {
            rt::Value value = values.isDictionary() ? values.dictionary().get(key) : rt::Value();
            if (value.isNull()) value = rt::Value();
            validateEntry(entryMapping, value, errors);
        }
    } else if (values.isArray()) {
        const auto& items = values.array();
        for (const auto& [key, entryMapping] : mapping.dictionary().entries()) {
            if (!key.isNumber()) {
                errors.push_back(varno_NSErrorMake(rt::format("Expected key to be number, but got %@", key),
                                                   KZPropertyMapperErrorCode, {}));
                continue;
            }
            const long long index = key.longLongValue();
            if (index >= 0 && static_cast<std::size_t>(index) < items.size()) {
                rt::Value value = items[static_cast<std::size_t>(index)];
                if (value.isNull()) value = rt::Value();
                validateEntry(entryMapping, value, errors);
            } else {
                logIgnored(rt::format("KZPropertyMapper: Ignoring value at index %@ as it's not mapped", key));
            }
        }
    } else {
        logIgnored(rt::format("KZPropertyMapper: Ignoring value at index %@ as it's not mapped", values));
    }
}

std::vector<rt::Ref<rt::Error>> KZPropertyMapper::validateMapping(const rt::Value& mapping, const rt::Value& values) {
    std::vector<rt::Ref<rt::Error>> errors;
    validateInto(mapping, values, errors);
    return errors;
}

// ---- mapping --------------------------------------------------------------------------

bool KZPropertyMapper::mapValuesFrom(const rt::Value& source, rt::Dictionary& target, const rt::Value& mapping,
                                     std::vector<rt::Ref<rt::Error>>* errors) {
    return mapValuesFrom(source, KZMappingTarget(target), mapping, errors);
}

bool KZPropertyMapper::mapValuesFrom(const rt::Value& source, rt::Object& target, const rt::Value& mapping,
                                     std::vector<rt::Ref<rt::Error>>* errors) {
    return mapValuesFrom(source, KZMappingTarget(target), mapping, errors);
}

namespace {

// The keys listed mappings wrote in the mapping under way on this thread (converters
// may map other objects meanwhile, so each mapping keeps its own).
thread_local std::set<std::string>* listedKeys = nullptr;

class ListedKeysScope {
public:
    ListedKeysScope() : previous_(listedKeys) { listedKeys = &keys_; }
    ~ListedKeysScope() { listedKeys = previous_; }
    ListedKeysScope(const ListedKeysScope&) = delete;
    ListedKeysScope& operator=(const ListedKeysScope&) = delete;

private:
    std::set<std::string> keys_;
    std::set<std::string>* previous_;
};

// Whether a listed mapping wrote the key, or a key path below it ("parentChannel.title"
// for "parentChannel"), which a copy would replace.
bool writtenByListedMapping(const std::string& key) {
    if (!listedKeys) return false;
    const auto it = listedKeys->lower_bound(key);
    return it != listedKeys->end() && (*it == key || it->rfind(key + ".", 0) == 0);
}

}  // namespace

bool KZPropertyMapper::mapValuesFrom(const rt::Value& source, const KZMappingTarget& target, const rt::Value& mapping,
                                     std::vector<rt::Ref<rt::Error>>* errors) {
    auto found = validateMapping(mapping, source);
    if (!found.empty()) {
        if (errors) *errors = std::move(found);
        return false;
    }
    ListedKeysScope scope;
    return mapDictionaryOrArray(source, target, mapping);
}

bool KZPropertyMapper::mapDictionaryOrArray(const rt::Value& source, const KZMappingTarget& target, const rt::Value& mapping) {
    const rt::Dictionary empty;
    const rt::Dictionary& table = mapping.isDictionary() ? mapping.dictionary() : empty;
    bool all = true;
    if (source.isDictionary()) {
        for (const auto& [key, value] : source.dictionary().entries()) {
            const std::string name = key.isString() ? key.string() : key.description();
            all = mapValue(value, target, table.get(key), name, source) && all;
        }
    } else if (source.isArray()) {
        const auto& items = source.array();
        for (std::size_t i = 0; i < items.size(); ++i) {
            const auto entry = table.get(rt::Value(static_cast<long long>(i)));
            all = mapValue(items[i], target, entry, "Index " + std::to_string(i), source) && all;
        }
    } else {
        internalError("[arrayOrDictionary isKindOfClass:NSArray.class] || [arrayOrDictionary isKindOfClass:NSDictionary.class]");
        return false;
    }
    return all;
}

bool KZPropertyMapper::mapValue(const rt::Value& rawValue, const KZMappingTarget& target, const rt::Value& mapping,
                                const std::string& sourceName, const rt::Value& source) {
    const rt::Value value = rawValue.isNull() ? rt::Value() : rawValue;
    if (isNestedMapping(mapping)) {
        if (value.isDictionary() || value.isArray()) return mapDictionaryOrArray(value, target, mapping);
        if (value.isNil()) {
            logIgnored("KZPropertyMapper: Ignoring property " + sourceName + " as it's not in mapping dictionary");
            return true;
        }
        internalError("value == nil");
        return false;
    }
    if (mapping.isNil()) {
        if (!target.isDictionary()) {
            // Objects take only the keys the mapping names; an unnamed entry is not theirs.
            logIgnored("KZPropertyMapper: Ignoring property " + sourceName + " as it's not in mapping dictionary");
            return true;
        }
        return setValue(value, target, sourceName, sourceName, /*literalKey=*/true);
    }
    if (auto descriptor = mapping.as<KZPropertyDescriptor>()) {
        if (!descriptor->validateValue(value).empty()) return false;
        return mapStringMapping(value, target, descriptor->stringMapping(), sourceName, source);
    }
    if (!mapping.isString()) {
        internalError("[mapping isKindOfClass:NSString.class]");
        return false;
    }
    return mapStringMapping(value, target, mapping.string(), sourceName, source);
}

bool KZPropertyMapper::mapStringMapping(const rt::Value& value, const KZMappingTarget& target, const std::string& mapping,
                                        const std::string& sourceName, const rt::Value& source) {
    if (mapping.find('&') != std::string::npos) {
        bool all = true;
        for (const auto& part : split(mapping, "&")) all = mapStringMapping(value, target, trimmed(part), sourceName, source) && all;
        return all;
    }
    if (!mapping.empty() && mapping.front() == '@') {
        const auto pieces = split(mapping, "@()");
        if (pieces.size() != 4) {
            internalError("components.count == 4");
            return false;
        }
        const std::string type = pieces[1];
        std::vector<std::string> arguments;
        for (const auto& argument : split(pieces[2], ",")) arguments.push_back(trimmed(argument));
        const std::string keyPath = arguments.back();
        rt::Value boxed;
        if (arguments.size() == 1) {
            KZBoxing boxing;
            {
                std::shared_lock lock(registry().mutex);
                const auto it = registry().boxings.find(type);
                if (it != registry().boxings.end()) boxing = it->second;
            }
            if (!boxing) {
                internalError("[self respondsToSelector:mappingSelector]");
                return false;
            }
            boxed = boxing(value);
        } else {
            if (type != "Selector") {
                internalError("[self respondsToSelector:mappingSelector]");
                return false;
            }
            if (arguments.size() != 2) {
                internalError("params.count == 2");
                return false;
            }
            KZConverter converter;
            {
                std::shared_lock lock(registry().mutex);
                const auto it = registry().converters.find(arguments[0]);
                if (it != registry().converters.end()) converter = it->second;
            }
            if (!converter) {
                internalError("[target respondsToSelector:selector]");
                return false;
            }
            boxed = converter(KZConversion{value, &target, keyPath, source});
        }
        if (boxed.isNil()) return false;
        return setValue(boxed, target, keyPath, sourceName, /*literalKey=*/false);
    }
    return setValue(value, target, mapping, sourceName, /*literalKey=*/false);
}

bool KZPropertyMapper::setValue(const rt::Value& value, const KZMappingTarget& target, const std::string& keyPath,
                                const std::string& sourceName, bool literalKey) {
    if (auto* dictionary = target.dictionary()) {
        if (literalKey) {
            // A listed mapping wins over an unlisted member copied to the same key
            // ("rawEventTitle" to "eventTitle" beside an "eventTitle" of its own),
            // whatever order the members come in.
            if (!writtenByListedMapping(keyPath)) dictionary->set(rt::Value(keyPath), value);
            return true;
        }
        setValueForKeyPath(*dictionary, keyPath, value);
        if (listedKeys) listedKeys->insert(keyPath);
        return true;
    }
    try {
        target.object()->setValueForKeyPath(value, keyPath);
        return true;
    } catch (const rt::Exception& exception) {
        if (exception.name() == rt::Exception::InvalidArgument) {
            logIgnored("KZPropertyMapper: Ignoring mapping from " + sourceName + " to " + keyPath + " because type " +
                       className(value) + " does NOT match " + declaredClass(exception));
            internalError("isSameTypeObject");
        } else {
            logIgnored("KZPropertyMapper: Ignoring mapping from " + sourceName + " to " + keyPath +
                       " because the target has no such key");
        }
        return false;
    }
}

}  // namespace zid
