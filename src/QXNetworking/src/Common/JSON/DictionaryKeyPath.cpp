#include "Common/JSON/DictionaryKeyPath.h"

#include <string>

namespace zid {

bool setValueForKeyPath(rt::Dictionary& dictionary, std::string_view keyPath, const rt::Value& value) {
    const auto dot = keyPath.find('.');
    if (dot == std::string_view::npos) {
        dictionary.set(rt::Value(std::string(keyPath)), value);
        return true;
    }
    const rt::Value key(std::string(keyPath.substr(0, dot)));
    const rt::Value inner = dictionary.get(key);
    if (!inner.isDictionary()) return false;
    rt::Dictionary copy = inner.dictionary();
    if (!setValueForKeyPath(copy, keyPath.substr(dot + 1), value)) return false;
    dictionary.set(key, rt::Value(copy));
    return true;
}

rt::Value valueForKeyPath(const rt::Dictionary& dictionary, std::string_view keyPath) {
    const auto dot = keyPath.find('.');
    const rt::Value here = dictionary.get(rt::Value(std::string(keyPath.substr(0, dot))));
    if (dot == std::string_view::npos) return here;
    if (!here.isDictionary()) return {};
    return valueForKeyPath(here.dictionary(), keyPath.substr(dot + 1));
}

}  // namespace zid
