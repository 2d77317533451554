#pragma once
// The machine the host application runs on: its names and version from the kernel, the
// interface idiom the host declares, and an identifier kept per application.

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

#include <rt/Object.h>

namespace dev {

/// The kind of interface the host presents.
enum class UserInterfaceIdiom : int { Phone = 0, Pad = 1 };

class Device : public rt::Object {
    RT_CLASS(Device, rt::Object)
public:
    /// The machine this process runs on, with its vendor identifier kept in the
    /// application's Library directory.
    static rt::Ref<Device> current();

    /// A device whose vendor identifier is kept in the given file.
    explicit Device(std::filesystem::path vendorIdentifierFile);
    Device();

    /// The host name ("node name").
    std::string name() const;
    /// The hardware class the kernel reports ("x86_64", "aarch64").
    std::string model() const;
    /// The kernel's name ("Linux").
    std::string systemName() const;
    /// The kernel release ("6.1.0-18-amd64").
    std::string systemVersion() const;

    /// The idiom the host declared, or nothing when it declared none (a device that does
    /// not answer the question).
    std::optional<UserInterfaceIdiom> userInterfaceIdiom() const;
    void setUserInterfaceIdiom(std::optional<UserInterfaceIdiom> idiom);

    /// A random UUID (36 upper-case characters) made on first use and kept for this
    /// application in its file, so it is the same on every run. Nothing when it can be
    /// neither read nor kept (then the next call tries again): an identifier that would
    /// change on the next run is worse than none.
    std::optional<std::string> identifierForVendor();
    const std::filesystem::path& vendorIdentifierFile() const { return vendorIdentifierFile_; }

private:
    mutable std::mutex mutex_;
    std::filesystem::path vendorIdentifierFile_;
    std::optional<std::string> vendorIdentifier_;
    std::optional<UserInterfaceIdiom> idiom_;
};

}  // namespace dev
