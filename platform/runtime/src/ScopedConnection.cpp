#include <rt/ScopedConnection.h>

namespace rt::detail {

class ConnectionAnchor : public Object {
    RT_CLASS(ConnectionAnchor, Object)
};

Ref<Object> makeConnectionAnchor() { return make<ConnectionAnchor>(); }

}  // namespace rt::detail
