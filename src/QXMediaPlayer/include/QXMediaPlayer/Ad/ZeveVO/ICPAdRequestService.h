#pragma once
// Where an ad source asks for ads: a service makes one request per ad break.
#include <QXCorePlayer/Core/Core/CPAdSettings.h>
#include <rt/Error.h>

#include <functional>
#include <string>

namespace zid {

class ZeveVoResponse;

/// A request that has been made but runs only once started.
class IRequest : public rt::Object {
    RT_CLASS(IRequest, rt::Object)
public:
    /// Starts the request; a request started again drops its earlier run, which then
    /// reports nothing.
    virtual void start() = 0;
    /// Stops the request; nothing is reported afterwards.
    virtual void cancel() = 0;
};

using ADFetchSuccessBlock = std::function<void(const rt::Ref<ZeveVoResponse>&)>;
using ADFetchFailBlock = std::function<void(const rt::Ref<rt::Error>&)>;

class ICPAdRequestService : public rt::Object {
    RT_CLASS(ICPAdRequestService, rt::Object)
public:
    /// A request, not yet started, for one ad for the content the settings describe.
    /// Both blocks are required; at most one of them runs, once, on the main loop.
    virtual rt::Ref<IRequest> adRequestWithSetting(const rt::Ref<CPAdSettings>& settings, const std::string& zoneId,
                                                   ADFetchSuccessBlock successBlock, ADFetchFailBlock failBlock) = 0;
};

}  // namespace zid
