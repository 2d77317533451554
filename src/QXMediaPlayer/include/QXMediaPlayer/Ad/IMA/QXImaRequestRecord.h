#pragma once
// One ad request waiting in (or sent by) the shared ads loader, with the block that
// receives its answer: the loaded data, or the ad error.
#include <ima/AdsLoader.h>

#include <functional>

namespace zid {

class QXImaRequestRecord : public rt::Object {
    RT_CLASS(QXImaRequestRecord, rt::Object)
public:
    using Callback = std::function<void(const rt::Ref<ima::AdsLoadedData>& data, const rt::Ref<ima::AdError>& error)>;

    QXImaRequestRecord(rt::Ref<ima::AdsRequest> request, Callback callback)
        : request_(std::move(request)), callback_(std::move(callback)) {}

    const rt::Ref<ima::AdsRequest>& request() const { return request_; }
    const Callback& callback() const { return callback_; }

private:
    rt::Ref<ima::AdsRequest> request_;
    Callback callback_;
};

}  // namespace zid
