#pragma once
// Exchanging two methods of a class in the dynamic method tables.
//
// After swizzleSelector(a, b, cls), a message a to an instance of cls runs b's
// implementation and b runs a's. When cls only inherits a, b's implementation is added
// to cls under a and cls's b gets the inherited a: the superclass is left untouched, and
// a replacement that sends b reaches the inherited behaviour.
//
// Both selectors must have a method on cls (own or inherited): a missing one raises
// InvalidArgumentException instead of leaving a method without a body.

#include <rt/Class.h>
#include <rt/Selector.h>

namespace zid {

void swizzleSelector(rt::Selector selector, rt::Selector withSelector, const rt::Class& cls);
/// The same for class methods.
void swizzleStaticSelector(rt::Selector selector, rt::Selector withSelector, const rt::Class& cls);

}  // namespace zid
