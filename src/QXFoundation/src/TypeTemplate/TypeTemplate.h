#pragma once
// Class templates: a class asks for a run-time subclass of itself specialised by a
// dictionary of parameters, and the subclass answers them by name.
//
//   const rt::Class& big = zid::classWithParameters(View::staticClass(), {{"size", 2}, {"a", "x"}});
//   big.name();                           // "View<a=x, size=2>"
//   zid::parameterForName(big, "size");   // 2
//
// Equal requests answer the same class; specialised classes live for the process.
// parameterForName() on a class that is not a specialisation raises
// InternalInconsistencyException "You must override parameterForName: in a subclass of <class>".

#include <string>
#include <string_view>

#include <rt/Class.h>
#include <rt/Value.h>

namespace zid {

const rt::Class& classWithParameters(const rt::Class& cls, const rt::Dictionary& parameters);
template <class K> const rt::Class& classWithParameters(const rt::Dictionary& parameters) {
    return classWithParameters(K::staticClass(), parameters);
}
/// The class method "parameterForName:" of the class: its parameter of that name, nil
/// for a name the specialisation does not hold.
rt::Value parameterForName(const rt::Class& cls, std::string_view name);

// The two steps behind classWithParameters().
/// "<a=x, b=2>": the keys sorted, each "key=value", joined by ", ".
std::string classPostfixForParameters(const rt::Dictionary& parameters);
/// Makes and registers the specialised subclass. A class of that name that exists
/// already is answered when it is a specialisation of the same class for equal
/// parameters; any other holder of the name raises InternalInconsistencyException.
const rt::Class& createConcreteClassForParameters(const rt::Class& cls, const rt::Dictionary& parameters);

}  // namespace zid
