#include "Functions/FCaller.h"

namespace zid {

void FCaller::setFunc(Func func) {
    func_ = std::move(func);
    if (!func_) return;
    // Called through a copy: the block may assign another one (or none) while it runs.
    Func call = func_;
    call(arg_);
}

}  // namespace zid
