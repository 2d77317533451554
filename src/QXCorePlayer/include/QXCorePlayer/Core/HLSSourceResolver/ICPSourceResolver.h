#pragma once
// Decides when a realized stream URL is ready to be played.
#include <rt/Error.h>
#include <rt/Object.h>

#include <functional>
#include <string>

namespace zid {

class ICPSourceResolver : public rt::Object {
    RT_CLASS(ICPSourceResolver, rt::Object)
public:
    using SuccessBlock = std::function<void(const std::string& url)>;
    using FailBlock = std::function<void(const rt::Ref<rt::Error>& error)>;

    /// Starts resolving url, cancelling a resolution under way. The blocks run on the
    /// main thread.
    virtual void resolveURL(const std::string& url, SuccessBlock successBlock, FailBlock failBlock) = 0;
    virtual void cancel() = 0;
    virtual std::string remoteSource() const = 0;
    virtual long progress() const = 0;
};

}  // namespace zid
