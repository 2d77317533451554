#include "Extensions/MethodSwizzling.h"

#include <rt/Exception.h>
#include <rt/Format.h>
#include <rt/MethodTable.h>

namespace zid {

namespace {

using Find = rt::MethodRef (*)(const rt::Class&, rt::Selector);
using Add = bool (*)(const rt::Class&, rt::Selector, rt::Imp, const std::string&);
using Replace = rt::Imp (*)(const rt::Class&, rt::Selector, rt::Imp, const std::string&);

void swizzle(rt::Selector selector, rt::Selector withSelector, const rt::Class& cls, Find find, Add add, Replace replace,
             const char* sign) {
    auto original = find(cls, selector);
    auto replacement = find(cls, withSelector);
    for (auto [method, sel] : {std::pair{original, selector}, std::pair{replacement, withSelector}})
        if (!method)
            throw rt::Exception(rt::Exception::InvalidArgument,
                                rt::format("Cannot exchange %@[%@ %@]: the class has no such method", sign, cls.name(),
                                           sel.name()));
    if (add(cls, selector, replacement->implementation(), replacement->typeEncoding())) {
        // cls only inherited the original: it now has its own, and the replacement
        // selector reaches the inherited body.
        replace(cls, withSelector, original->implementation(), original->typeEncoding());
    } else {
        rt::exchangeImplementations(*original, *replacement);
    }
}

}  // namespace

void swizzleSelector(rt::Selector selector, rt::Selector withSelector, const rt::Class& cls) {
    swizzle(selector, withSelector, cls, &rt::findInstanceMethod,
            static_cast<Add>(&rt::addMethod), &rt::replaceMethod, "-");
}

void swizzleStaticSelector(rt::Selector selector, rt::Selector withSelector, const rt::Class& cls) {
    swizzle(selector, withSelector, cls, &rt::findClassMethod,
            static_cast<Add>(&rt::addClassMethod), &rt::replaceClassMethod, "+");
}

}  // namespace zid
