#pragma once
// A block that follows one key path of an object, held as a disposable.
//
// The handler registers itself when made and calls the block once at once with the
// current value, then with the new value on every change (the null placeholder is
// passed as nil). dispose() or the handler's destruction ends the observation. The
// target is held weakly; when it is destroyed first, its own pre-destruction step ends
// the observation, so a later dispose() finds nothing to undo and never reaches a
// freed target.

#include <functional>
#include <string>

#include <QXFoundation/Disposable/IDisposable.h>
#include <rt/KVO.h>
#include <rt/Object.h>
#include <rt/Value.h>

namespace zid {

class QXKVOHandler : public rt::Object, public IDisposable {
    RT_CLASS(QXKVOHandler, rt::Object)
public:
    using Handler = std::function<void(const rt::Value& newValue)>;

    /// Observes keypath of target (new, old and initial values); the initial call to
    /// handler happens before the constructor returns. A key path the target does not
    /// answer raises the key-value coding exception here.
    QXKVOHandler(const rt::Ref<rt::Object>& target, std::string keypath, Handler handler);
    static rt::Ref<QXKVOHandler> handlerWithTarget(const rt::Ref<rt::Object>& target, std::string keypath,
                                                   Handler handler);

    /// Ends the observation and clears the target; a second call does nothing.
    void dispose() override;

    const std::string& keypath() const { return keypath_; }
    /// Changes only the key path reports are matched against, not the registration.
    void setKeypath(std::string keypath) { keypath_ = std::move(keypath); }
    rt::Ref<rt::Object> target() const { return target_.lock(); }
    void setTarget(const rt::Ref<rt::Object>& target) { target_ = target; }
    const Handler& handler() const { return handler_; }
    void setHandler(Handler handler) { handler_ = std::move(handler); }

protected:
    void willDestroy() override;

private:
    void observeValue(const rt::KVOChange& change);

    std::string keypath_;
    rt::Weak<rt::Object> target_;
    Handler handler_;
    rt::Ref<rt::Observation> observation_;
};

}  // namespace zid
