#pragma once
// What kind of device this is: the kernel's machine record, a small device-type
// number, a graphics class, and the phone and tablet tests.

#include <sys/utsname.h>

#include <cstdint>
#include <string_view>

#include <dev/Device.h>

namespace zid {

/// The machine record, filled once per process; all zero (and logged) when the kernel
/// would not give it.
struct ::utsname utsname(const rt::Ref<dev::Device>& device);

/// The device-type number of the machine field: 2 to 11 for the known handset and
/// tablet models, 1 for "i386", 0 for anything else.
std::int32_t deviceType(const rt::Ref<dev::Device>& device);
/// The table behind deviceType().
std::int32_t deviceTypeForMachine(std::string_view machine);

/// A graphics class by device type: 1 for type 5, 2 for types 6 and 11, else 0.
std::int32_t gpuType(const rt::Ref<dev::Device>& device);
std::int32_t gpuTypeForDeviceType(std::int32_t type);

/// Whether the host declared the tablet idiom (NO when it declared none).
bool isIPad(const rt::Ref<dev::Device>& device);
/// Whether the host declared the phone idiom (YES when it declared none).
bool isIPhone(const rt::Ref<dev::Device>& device);

}  // namespace zid
