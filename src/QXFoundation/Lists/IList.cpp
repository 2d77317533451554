#include <QXFoundation/Lists/IList.h>

namespace zid {

rt::Value::Array IList::allObjects() const {
    rt::Value::Array out;
    std::uint64_t n = count();
    out.reserve(n);
    for (std::uint64_t i = 0; i < n; ++i) out.push_back(objectAtIndex(i));
    return out;
}

}  // namespace zid
