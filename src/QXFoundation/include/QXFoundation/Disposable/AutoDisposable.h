#pragma once
// Disposes a wrapped disposable on dispose() and again when it is itself destroyed,
// so dropping the wrapper ends the subscription.

#include <memory>

#include <QXFoundation/Disposable/IDisposable.h>
#include <rt/Object.h>

namespace zid {

class AutoDisposable : public rt::Object, public IDisposable {
    RT_CLASS(AutoDisposable, rt::Object)
public:
    AutoDisposable() = default;
    explicit AutoDisposable(std::shared_ptr<IDisposable> disposable) : disposable_(std::move(disposable)) {}
    static rt::Ref<AutoDisposable> disposableWithDisposable(std::shared_ptr<IDisposable> disposable);

    void dispose() override;
    const std::shared_ptr<IDisposable>& disposable() const { return disposable_; }
    void setDisposable(std::shared_ptr<IDisposable> disposable) { disposable_ = std::move(disposable); }

protected:
    void willDestroy() override;

private:
    std::shared_ptr<IDisposable> disposable_;
};

}  // namespace zid
