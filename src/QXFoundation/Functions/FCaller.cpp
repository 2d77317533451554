#include <QXFoundation/Functions/FCaller.h>

namespace zid {

void FCaller::setFunc(Func func) {
    func_ = std::move(func);
    if (func_) func_(arg_);
}

}  // namespace zid
