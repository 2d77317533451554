#include <dev/Device.h>

#include <fcntl.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>

#include <fnd/Directories.h>
#include <sec/Random.h>

namespace dev {
namespace {

struct utsname machineRecord() {
    struct utsname record {};
    if (::uname(&record) != 0) record = {};
    return record;
}

bool isUUIDText(const std::string& s) {
    if (s.size() != 36) return false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? s[i] != '-' : !std::isxdigit(static_cast<unsigned char>(s[i]))) return false;
    }
    return true;
}

std::optional<std::string> readIdentifier(const std::filesystem::path& file) {
    auto bytes = fnd::readFile(file.string());
    if (!bytes) return std::nullopt;
    std::string text(bytes->begin(), bytes->end());
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
    if (!isUUIDText(text)) return std::nullopt;
    for (auto& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

/// Publishes the identifier unless another process got there first: a whole temporary
/// file linked into place, so nobody reads half of it. Answers the identifier that won.
std::optional<std::string> publishIdentifier(const std::filesystem::path& file, const std::string& id) {
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    std::string tmpl = (file.parent_path() / ("." + file.filename().string() + ".XXXXXX")).string();
    int fd = ::mkstemp(tmpl.data());
    if (fd < 0) return std::nullopt;
    const std::string line = id + "\n";
    bool ok = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size()) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    bool linked = ok && ::link(tmpl.c_str(), file.c_str()) == 0;
    const int linkError = errno;
    ::unlink(tmpl.c_str());
    if (linked) return id;
    if (ok && linkError == EEXIST) return readIdentifier(file);
    return std::nullopt;
}

}  // namespace

rt::Ref<Device> Device::current() {
    static const rt::Ref<Device> device = rt::make<Device>();
    return device;
}

Device::Device() : Device(std::filesystem::path(fnd::Directories::library()) / "vendor-identifier") {}

Device::Device(std::filesystem::path vendorIdentifierFile) : vendorIdentifierFile_(std::move(vendorIdentifierFile)) {}

std::string Device::name() const { return machineRecord().nodename; }
std::string Device::model() const { return machineRecord().machine; }
std::string Device::systemName() const { return machineRecord().sysname; }
std::string Device::systemVersion() const { return machineRecord().release; }

std::optional<UserInterfaceIdiom> Device::userInterfaceIdiom() const {
    std::lock_guard lock(mutex_);
    return idiom_;
}

void Device::setUserInterfaceIdiom(std::optional<UserInterfaceIdiom> idiom) {
    std::lock_guard lock(mutex_);
    idiom_ = idiom;
}

std::optional<std::string> Device::identifierForVendor() {
    std::lock_guard lock(mutex_);
    if (vendorIdentifier_) return vendorIdentifier_;
    if (auto stored = readIdentifier(vendorIdentifierFile_)) return vendorIdentifier_ = stored;
    std::error_code ec;
    if (std::filesystem::exists(vendorIdentifierFile_, ec)) {
        // Present but not an identifier: replace it, atomically, with a fresh one.
        auto fresh = sec::randomUUIDString();
        if (!fresh) return std::nullopt;
        const std::string line = *fresh + "\n";
        if (!fnd::writeFileAtomically(vendorIdentifierFile_.string(), rt::Data(line.begin(), line.end()))) {
            return std::nullopt;
        }
        return vendorIdentifier_ = fresh;
    }
    auto fresh = sec::randomUUIDString();
    if (!fresh) return std::nullopt;
    if (auto kept = publishIdentifier(vendorIdentifierFile_, *fresh)) return vendorIdentifier_ = kept;
    return std::nullopt;
}

}  // namespace dev
