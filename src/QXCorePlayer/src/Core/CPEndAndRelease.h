#pragma once
// Stops what a handle keeps going (a trigger's subscription, a timer's schedule, an
// observation) and lets go of the handle, so a handle is ended at most once and an
// absent one is left alone.

namespace zid {

/// Calls end on the handle's object, when there is one, then empties the handle.
template <class Handle, class End>
void CPEndAndRelease(Handle& handle, End end) {
    if (handle) ((*handle).*end)();
    handle.reset();
}

}  // namespace zid
