#include <dev/Device.h>

#include <fcntl.h>
#include <sys/file.h>
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

/// An exclusive lock on a file beside the identifier, held while it lives. Every writer of
/// the identifier, in this process or another, takes it first, so a writer that finds the
/// identifier made meanwhile takes that one instead of replacing it.
class WriterLock {
public:
    explicit WriterLock(const std::filesystem::path& file) {
        std::error_code ec;
        std::filesystem::create_directories(file.parent_path(), ec);
        const auto path = file.parent_path() / ("." + file.filename().string() + ".lock");
        fd_ = ::open(path.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0600);
        if (fd_ < 0) return;
        int rc;
        while ((rc = ::flock(fd_, LOCK_EX)) != 0 && errno == EINTR) {
        }
        if (rc != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~WriterLock() {
        if (fd_ >= 0) ::close(fd_);  // closing releases the lock
    }
    WriterLock(const WriterLock&) = delete;
    WriterLock& operator=(const WriterLock&) = delete;
    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

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
    // Missing or damaged. A file that appeared since the read above is another writer's
    // finished identifier (writes replace the file whole), never damage: look again
    // under the writers' lock before making one.
    WriterLock writer(vendorIdentifierFile_);
    if (!writer.held()) return std::nullopt;
    if (auto stored = readIdentifier(vendorIdentifierFile_)) return vendorIdentifier_ = stored;
    auto fresh = sec::randomUUIDString();
    if (!fresh) return std::nullopt;
    const std::string line = *fresh + "\n";
    if (!fnd::writeFileAtomically(vendorIdentifierFile_.string(), rt::Data(line.begin(), line.end()))) return std::nullopt;
    return vendorIdentifier_ = fresh;
}

}  // namespace dev
