#pragma once
// A captured message as plain values: each argument and the result boxed by its type
// code, and values unboxed back into arguments. Indexes count the message's own
// arguments: 0 is the first one after the receiver and the selector.
//
//   code        boxed as                         unboxed from
//   @ (object)  the object itself                the object itself
//   #           the class                        a class value
//   c i s q C I S Q f d B   a number of that kind   a number, or a string's leading number
//   v (result)  nil
//   others      rt::ValueBox of the raw bytes    a ValueBox of the same size; any other
//               (structures, pointers, l, L, :)  object leaves the argument unchanged
//
// A single leading 'r' is skipped. In arguments() a nil object argument appears as the
// null placeholder (an array holds no nil).

#include <cstddef>

#include <rt/Invocation.h>
#include <rt/Value.h>

namespace zid {

/// The message's arguments without the receiver and the selector.
std::size_t numberOfArguments(const rt::Invocation& invocation);
/// The result boxed by its type code; nil for a void result.
rt::Value returnValue(const rt::Invocation& invocation);
rt::Value argumentObjectAtIndex(const rt::Invocation& invocation, std::size_t index);
/// Unboxes object by the argument's type code and stores it as that argument. Raises
/// InvalidArgumentException for an object that cannot stand for a number argument.
void setObject(rt::Invocation& invocation, const rt::Value& object, std::size_t asArgumentAtIndex);
/// Every argument boxed, in order.
rt::Value::Array arguments(const rt::Invocation& invocation);
/// setObject() for each element with its position as the index.
void setArguments(rt::Invocation& invocation, const rt::Value::Array& arguments);

}  // namespace zid
