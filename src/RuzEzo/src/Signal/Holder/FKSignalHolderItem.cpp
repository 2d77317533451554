#include <RuzEzo/Signal/Holder/FKSignalHolderItem.h>

#include <rt/Format.h>

namespace zid {

std::string FKSignalHolderItem::description() const {
    return rt::Object::description() + rt::format(" sig:%@", signal());
}

}  // namespace zid
