#include <rt/Value.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <array>
#include <atomic>
#include <mutex>
#include <new>
#include <ctime>
#include <functional>
#include <limits>

#include <rt/Class.h>
#include <rt/Exception.h>

namespace rt {

// ---- Date -------------------------------------------------------------------------

Date Date::now() {
    using namespace std::chrono;
    return Date{duration<double>(system_clock::now().time_since_epoch()).count()};
}

std::string Date::description() const {
    double whole = std::floor(secondsSince1970);
    std::time_t t = static_cast<std::time_t>(whole);
    // Texts of nearby dates are asked for in runs (every log record has one): the
    // last second's text is kept per thread, in plain storage that lives to the end.
    thread_local std::time_t lastSecond = 0;
    thread_local std::size_t lastLength = 0;
    thread_local char lastText[64];
    if (lastLength && t == lastSecond) return std::string(lastText, lastLength);
    std::tm tm{};
    gmtime_r(&t, &tm);
    lastLength = std::strftime(lastText, sizeof lastText, "%Y-%m-%d %H:%M:%S +0000", &tm);
    lastSecond = t;
    return std::string(lastText, lastLength);
}

// ---- Number -----------------------------------------------------------------------

char Number::typeCode() const {
    switch (kind_) {
        case Kind::Bool: return 'B';
        case Kind::Char: return 'c';
        case Kind::Short: return 's';
        case Kind::Int: return 'i';
        case Kind::LongLong: return 'q';
        case Kind::UChar: return 'C';
        case Kind::UShort: return 'S';
        case Kind::UInt: return 'I';
        case Kind::ULongLong: return 'Q';
        case Kind::Float: return 'f';
        case Kind::Double: return 'd';
    }
    return 'i';
}

bool Number::boolValue() const {
    if (isFloatingPoint()) return d_ != 0;
    return i_ != 0;
}

long long Number::longLongValue() const {
    if (isFloatingPoint()) {
        if (std::isnan(d_)) return 0;
        if (d_ >= 9.2233720368547758e18) return std::numeric_limits<long long>::max();
        if (d_ <= -9.2233720368547758e18) return std::numeric_limits<long long>::min();
        return static_cast<long long>(d_);
    }
    return i_;  // unsigned values wrap as a C cast would
}

unsigned long long Number::unsignedLongLongValue() const {
    if (isFloatingPoint()) {
        // Out-of-range doubles saturate: converting them would be undefined.
        if (!(d_ > 0)) return 0;  // negative, zero and NaN
        if (d_ >= 18446744073709551616.0) return std::numeric_limits<unsigned long long>::max();
        return static_cast<unsigned long long>(d_);
    }
    return u_;
}

double Number::doubleValue() const {
    if (isFloatingPoint()) return d_;
    if (isUnsigned()) return static_cast<double>(u_);
    return static_cast<double>(i_);
}

int Number::compare(const Number& other) const {
    // Exact integer comparison where both are integers; doubles otherwise.
    if (!isFloatingPoint() && !other.isFloatingPoint()) {
        bool au = isUnsigned(), bu = other.isUnsigned();
        if (au == bu) {
            if (au) return u_ < other.u_ ? -1 : (u_ > other.u_ ? 1 : 0);
            return i_ < other.i_ ? -1 : (i_ > other.i_ ? 1 : 0);
        }
        // one unsigned, one signed
        if (au) {
            if (other.i_ < 0) return 1;
            auto b = static_cast<unsigned long long>(other.i_);
            return u_ < b ? -1 : (u_ > b ? 1 : 0);
        }
        if (i_ < 0) return -1;
        auto a = static_cast<unsigned long long>(i_);
        return a < other.u_ ? -1 : (a > other.u_ ? 1 : 0);
    }
    double a = doubleValue(), b = other.doubleValue();
    if (a < b) return -1;
    if (a > b) return 1;
    if (a == b) return 0;
    // NaN: order it below everything, equal to itself
    bool an = std::isnan(a), bn = std::isnan(b);
    return an == bn ? 0 : (an ? -1 : 1);
}

std::size_t Number::hash() const {
    // Equal numbers of different kinds hash alike: integral values hash as integers.
    if (isFloatingPoint()) {
        double d = d_;
        if (std::isfinite(d) && d == std::floor(d) && d >= -9.2e18 && d <= 9.2e18)
            return std::hash<long long>()(static_cast<long long>(d));
        if (std::isfinite(d) && d == std::floor(d) && d > 0 && d < 1.8e19)
            return std::hash<long long>()(static_cast<long long>(static_cast<unsigned long long>(d)));
        return std::hash<double>()(d);
    }
    return std::hash<long long>()(i_);
}

std::string Number::description() const {
    char buffer[64];
    switch (kind_) {
        case Kind::Float:
        case Kind::Double: std::snprintf(buffer, sizeof buffer, "%.17g", d_);
            // shortest text that reads back the same value
            for (int precision = 1; precision <= 17; ++precision) {
                std::snprintf(buffer, sizeof buffer, "%.*g", precision, d_);
                if (kind_ == Kind::Float ? std::strtof(buffer, nullptr) == static_cast<float>(d_)
                                         : std::strtod(buffer, nullptr) == d_)
                    break;
            }
            break;
        default:
            if (isUnsigned()) std::snprintf(buffer, sizeof buffer, "%llu", u_);
            else std::snprintf(buffer, sizeof buffer, "%lld", i_);
    }
    return buffer;
}

// ---- Value ------------------------------------------------------------------------

namespace {
const std::string& emptyString() {
    static const std::string s;
    return s;
}
const Data& emptyData() {
    static const Data d;
    return d;
}
const Value::Array& emptyArray() {
    static const Value::Array a;
    return a;
}
const Dictionary& emptyDictionary() {
    static const Dictionary d;
    return d;
}
}  // namespace

Value Value::null() {
    Value v;
    v.type_ = Type::Null;
    return v;
}

Value& Value::operator=(const Value& other) {
    if (!holdsPointer() && !other.holdsPointer()) {
        // Scalars over scalars: nothing to release, nothing other could live inside.
        copy(other);
        return *this;
    }
    if (this != &other) {
        Value copied(other);  // other may live inside what this releases
        release();
        take(copied);
    }
    return *this;
}

Value& Value::operator=(Value&& other) noexcept {
    if (this != &other) {
        Value moved(std::move(other));
        release();
        take(moved);
    }
    return *this;
}

Value::Value(std::string s) : type_(Type::String) {
    new (&storage_.ptr) std::shared_ptr<const void>(std::make_shared<const std::string>(std::move(s)));
}
Value::Value(const char* s) {
    if (s) {
        new (&storage_.ptr) std::shared_ptr<const void>(std::make_shared<const std::string>(s));
        type_ = Type::String;
    }
}
Value::Value(Data d) : type_(Type::Data) {
    new (&storage_.ptr) std::shared_ptr<const void>(std::make_shared<const Data>(std::move(d)));
}
Value::Value(Date d) : type_(Type::Date) { storage_.date = d.secondsSince1970; }
Value::Value(Array a) : type_(Type::Array) {
    new (&storage_.ptr) std::shared_ptr<const void>(std::make_shared<const Array>(std::move(a)));
}
Value::Value(const Dictionary& d) : type_(Type::Dictionary) {
    new (&storage_.ptr) std::shared_ptr<const void>(std::make_shared<const Dictionary>(d));
}
Value::Value(const Class* cls) {
    if (cls) {
        type_ = Type::Class;
        storage_.cls = cls;
    }
}
Value::Value(Ref<Object> object, int) {
    if (object) {
        new (&storage_.ptr) std::shared_ptr<const void>(std::move(object));
        type_ = Type::Object;
    }
}

Value Value::ofStruct(std::uint32_t structType, const void* bytes, std::size_t size) {
    const StructType& kind = detail::structType(structType);
    if (size != kind.size || size > InlineStructBytes)
        throw Exception(Exception::InvalidArgument, "A structure of kind " + kind.code + " takes " + std::to_string(kind.size) +
                                                        " bytes, not " + std::to_string(size) + ".");
    Value v;
    v.type_ = Type::Struct;
    v.structType_ = structType;
    v.structSize_ = static_cast<std::uint8_t>(size);
    std::memcpy(v.storage_.bytes, bytes, size);
    return v;
}

std::string_view Value::structCode() const {
    return type_ == Type::Struct ? std::string_view(detail::structType(structType_).code) : std::string_view();
}

const Number* Value::number() const { return type_ == Type::Number ? &storage_.number : nullptr; }
Number Value::numberValue() const { return type_ == Type::Number ? storage_.number : Number(); }
bool Value::boolValue() const {
    switch (type_) {
        case Type::Number: return storage_.number.boolValue();
        case Type::String: {
            // text reads as true when it starts with a non-zero digit or Y/y/T/t
            const auto& s = string();
            for (char c : s) {
                if (c == ' ' || c == '\t' || c == '\n' || c == '+' || c == '-' || c == '0') continue;
                return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
            }
            return false;
        }
        default: return false;
    }
}
long long Value::longLongValue() const {
    if (type_ == Type::Number) return storage_.number.longLongValue();
    if (type_ == Type::String) return std::strtoll(string().c_str(), nullptr, 10);
    return 0;
}
double Value::doubleValue() const {
    if (type_ == Type::Number) return storage_.number.doubleValue();
    if (type_ == Type::String) return std::strtod(string().c_str(), nullptr);
    if (type_ == Type::Date) return storage_.date;
    return 0;
}
const std::string& Value::string() const {
    return type_ == Type::String ? *static_cast<const std::string*>(storage_.ptr.get()) : emptyString();
}
const Data& Value::data() const {
    return type_ == Type::Data ? *static_cast<const Data*>(storage_.ptr.get()) : emptyData();
}
Date Value::date() const { return Date{type_ == Type::Date ? storage_.date : 0}; }
const Value::Array& Value::array() const {
    return type_ == Type::Array ? *static_cast<const Array*>(storage_.ptr.get()) : emptyArray();
}
const Dictionary& Value::dictionary() const {
    return type_ == Type::Dictionary ? *static_cast<const Dictionary*>(storage_.ptr.get()) : emptyDictionary();
}
const Class* Value::cls() const { return type_ == Type::Class ? storage_.cls : nullptr; }
Ref<Object> Value::object() const {
    if (type_ != Type::Object) return nullptr;
    return std::const_pointer_cast<Object>(std::static_pointer_cast<const Object>(storage_.ptr));
}

bool Value::isEqual(const Value& other) const {
    if (type_ != other.type_) return false;
    switch (type_) {
        case Type::Nil:
        case Type::Null: return true;
        case Type::Number: return storage_.number == other.storage_.number;
        case Type::String: return storage_.ptr == other.storage_.ptr || string() == other.string();
        case Type::Data: return storage_.ptr == other.storage_.ptr || data() == other.data();
        case Type::Date: return storage_.date == other.storage_.date;
        case Type::Array: {
            if (storage_.ptr == other.storage_.ptr) return true;
            const auto &a = array(), &b = other.array();
            if (a.size() != b.size()) return false;
            for (std::size_t i = 0; i < a.size(); ++i)
                if (!a[i].isEqual(b[i])) return false;
            return true;
        }
        case Type::Dictionary: return storage_.ptr == other.storage_.ptr || dictionary().isEqual(other.dictionary());
        case Type::Object: {
            if (storage_.ptr == other.storage_.ptr) return true;
            return static_cast<const Object*>(storage_.ptr.get())->isEqual(*static_cast<const Object*>(other.storage_.ptr.get()));
        }
        case Type::Class: return storage_.cls == other.storage_.cls;
        case Type::Struct:
            return structType_ == other.structType_ &&
                   detail::structType(structType_).equal(storage_.bytes, other.storage_.bytes);
    }
    return false;
}

bool Value::isIdentical(const Value& other) const {
    if (type_ != other.type_) return false;
    switch (type_) {
        case Type::Number:
        case Type::Date:
        case Type::Nil:
        case Type::Null:
        case Type::Class:
        case Type::Struct: return isEqual(other);
        default: return storage_.ptr == other.storage_.ptr;
    }
}

std::size_t Value::hash() const {
    switch (type_) {
        case Type::Nil: return 0;
        case Type::Null: return 1;
        case Type::Number: return storage_.number.hash();
        case Type::String: return std::hash<std::string>()(string());
        case Type::Data: return std::hash<std::string_view>()(
                std::string_view(reinterpret_cast<const char*>(data().data()), data().size()));
        case Type::Date: return std::hash<double>()(storage_.date);
        case Type::Array: return array().size() * 31 + (array().empty() ? 0 : array().front().hash());
        case Type::Dictionary: return dictionary().size() * 131;
        case Type::Object: return static_cast<const Object*>(storage_.ptr.get())->hash();
        case Type::Class: return std::hash<const void*>()(storage_.cls);
        case Type::Struct: return detail::structType(structType_).hash(storage_.bytes);
    }
    return 0;
}

std::string Value::description() const {
    switch (type_) {
        case Type::Nil: return "(null)";
        case Type::Null: return "<null>";
        case Type::Number: return storage_.number.description();
        case Type::String: return string();
        case Type::Data: {
            std::string out = "<";
            char hex[3];
            for (std::size_t i = 0; i < data().size(); ++i) {
                if (i && i % 4 == 0) out += ' ';
                std::snprintf(hex, sizeof hex, "%02x", data()[i]);
                out += hex;
            }
            return out + ">";
        }
        case Type::Date: return date().description();
        case Type::Array: {
            std::string out = "(";
            bool first = true;
            for (const auto& v : array()) {
                out += first ? "\n    " : ",\n    ";
                out += v.description();
                first = false;
            }
            return out + (first ? ")" : "\n)");
        }
        case Type::Dictionary: {
            std::string out = "{";
            for (const auto& [k, v] : dictionary().entries()) out += "\n    " + k.description() + " = " + v.description() + ";";
            return out + (dictionary().empty() ? "}" : "\n}");
        }
        case Type::Object: return static_cast<const Object*>(storage_.ptr.get())->description();
        case Type::Class: return storage_.cls->name();
        case Type::Struct: return detail::structType(structType_).describe(storage_.bytes);
    }
    return {};
}

// ---- structure kinds ----------------------------------------------------------------

namespace {
// Kinds are never removed; readers look an id up with one atomic load.
constexpr std::size_t MaxStructKinds = 4096;
struct StructRegistry {
    std::mutex mutex;
    std::size_t count = 0;
    std::array<std::atomic<const StructType*>, MaxStructKinds> kinds{};
};
StructRegistry& structRegistry() {
    static auto* r = new StructRegistry();  // lives for the process: values may outlive statics
    return *r;
}
}  // namespace

namespace detail {
std::uint32_t registerStructType(StructType type) {
    if (type.size == 0 || type.size > Value::InlineStructBytes)
        throw Exception(Exception::InvalidArgument, "The structure kind " + type.code + " takes " + std::to_string(type.size) +
                                                        " bytes; a value holds 1 to " +
                                                        std::to_string(Value::InlineStructBytes) + ".");
    auto& r = structRegistry();
    std::lock_guard lock(r.mutex);
    for (std::size_t i = 0; i < r.count; ++i) {
        const StructType* kind = r.kinds[i].load(std::memory_order_relaxed);
        if (kind->code == type.code) {
            if (kind->size != type.size)
                throw Exception(Exception::InternalInconsistency,
                                "Two structure kinds of different sizes share the code " + type.code + ".");
            return static_cast<std::uint32_t>(i + 1);
        }
    }
    if (r.count == MaxStructKinds) throw Exception(Exception::InternalInconsistency, "Too many structure kinds.");
    r.kinds[r.count].store(new StructType(std::move(type)), std::memory_order_release);
    return static_cast<std::uint32_t>(++r.count);
}

const StructType& structType(std::uint32_t id) {
    const StructType* kind = id == 0 || id > MaxStructKinds ? nullptr : structRegistry().kinds[id - 1].load(std::memory_order_acquire);
    if (!kind) throw Exception(Exception::InvalidArgument, "No structure kind has the id " + std::to_string(id) + ".");
    return *kind;
}

std::uint32_t structTypeNamed(std::string_view code) {
    auto& r = structRegistry();
    std::lock_guard lock(r.mutex);
    for (std::size_t i = 0; i < r.count; ++i)
        if (r.kinds[i].load(std::memory_order_relaxed)->code == code) return static_cast<std::uint32_t>(i + 1);
    return 0;
}
}  // namespace detail

// ---- Dictionary -------------------------------------------------------------------

Dictionary::Dictionary(std::initializer_list<std::pair<Value, Value>> entries) {
    for (const auto& [k, v] : entries) set(k, v);
}

Dictionary Dictionary::withDistinctKeys(std::vector<std::pair<Value, Value>> entries) {
    Dictionary dictionary;
    dictionary.entries_ = std::move(entries);
    return dictionary;
}

std::ptrdiff_t Dictionary::indexOf(const Value& key) const {
    for (std::size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].first.isEqual(key)) return static_cast<std::ptrdiff_t>(i);
    return -1;
}

Value Dictionary::get(const Value& key) const {
    auto i = indexOf(key);
    return i < 0 ? Value() : entries_[static_cast<std::size_t>(i)].second;
}

bool Dictionary::contains(const Value& key) const { return indexOf(key) >= 0; }

void Dictionary::set(const Value& key, const Value& value) {
    auto i = indexOf(key);
    if (value.isNil()) {
        if (i >= 0) entries_.erase(entries_.begin() + i);
        return;
    }
    if (i >= 0) entries_[static_cast<std::size_t>(i)].second = value;
    else entries_.emplace_back(key, value);
}

void Dictionary::remove(const Value& key) { set(key, Value()); }

std::vector<Value> Dictionary::keys() const {
    std::vector<Value> out;
    out.reserve(entries_.size());
    for (const auto& e : entries_) out.push_back(e.first);
    return out;
}

std::vector<Value> Dictionary::values() const {
    std::vector<Value> out;
    out.reserve(entries_.size());
    for (const auto& e : entries_) out.push_back(e.second);
    return out;
}

bool Dictionary::isEqual(const Dictionary& other) const {
    if (size() != other.size()) return false;
    for (const auto& [k, v] : entries_) {
        auto i = other.indexOf(k);
        if (i < 0 || !other.entries_[static_cast<std::size_t>(i)].second.isEqual(v)) return false;
    }
    return true;
}

}  // namespace rt
