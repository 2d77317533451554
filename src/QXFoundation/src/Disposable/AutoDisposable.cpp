#include <QXFoundation/Disposable/AutoDisposable.h>

namespace zid {

rt::Ref<AutoDisposable> AutoDisposable::disposableWithDisposable(std::shared_ptr<IDisposable> disposable) {
    return rt::make<AutoDisposable>(std::move(disposable));
}

void AutoDisposable::dispose() {
    if (disposable_) disposable_->dispose();
}

void AutoDisposable::willDestroy() {
    dispose();
    rt::Object::willDestroy();
}

}  // namespace zid
