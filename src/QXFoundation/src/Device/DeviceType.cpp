#include <QXFoundation/Device/DeviceType.h>

#include <cstring>
#include <mutex>
#include <string>

#include <QXFoundation/Log/QXLogger.h>

namespace zid {
namespace {

std::once_flag recordOnce;
struct ::utsname record {};

}  // namespace

struct ::utsname utsname(const rt::Ref<dev::Device>& device) {
    std::call_once(recordOnce, [&] {
        if (::uname(&record) != 0) {
            std::memset(&record, 0, sizeof record);
            QXLog("ZIDoredider/QXFoundation", device ? device->objectClass() : dev::Device::staticClass(), 2,
                  "failed to initialize !!!");
        }
    });
    return record;
}

std::int32_t deviceTypeForMachine(std::string_view machine) {
    static const std::pair<std::string_view, std::int32_t> exact[] = {
        {"iPhone1,1", 2}, {"iPhone1,2", 3}, {"iPhone2,1", 4}, {"iPhone3,1", 5},
    };
    for (const auto& [name, type] : exact) {
        if (machine == name) return type;
    }
    if (machine.substr(0, 8) == "iPhone4,") return 6;
    static const std::pair<std::string_view, std::int32_t> rest[] = {
        {"iPod1,1", 7}, {"iPod2,1", 8}, {"iPod4,1", 9}, {"iPad1,1", 10}, {"iPad2,2", 11}, {"i386", 1},
    };
    for (const auto& [name, type] : rest) {
        if (machine == name) return type;
    }
    return 0;
}

std::int32_t deviceType(const rt::Ref<dev::Device>& device) {
    const struct ::utsname r = utsname(device);
    return deviceTypeForMachine(std::string_view(r.machine, ::strnlen(r.machine, sizeof r.machine)));
}

std::int32_t gpuTypeForDeviceType(std::int32_t type) {
    if (type == 5) return 1;
    if (type == 6 || type == 11) return 2;
    return 0;
}

std::int32_t gpuType(const rt::Ref<dev::Device>& device) { return gpuTypeForDeviceType(deviceType(device)); }

bool isIPad(const rt::Ref<dev::Device>& device) {
    auto idiom = device->userInterfaceIdiom();
    return idiom && *idiom == dev::UserInterfaceIdiom::Pad;
}

bool isIPhone(const rt::Ref<dev::Device>& device) {
    auto idiom = device->userInterfaceIdiom();
    return !idiom || *idiom == dev::UserInterfaceIdiom::Phone;
}

}  // namespace zid
