#pragma once
// Where a media-server-connected source gets its clients: one new, unstarted client
// for the content a bare source describes (a live channel, a recorded video or a
// highlight), or nothing for any other source. The player facade supplies it.

#include <memory>

#include <QXCorePlayer/Core/Core/ICPMediaSource.h>
#include <QXCorePlayer/VexaWebSocketClient/Client/IVexaClient.h>
#include <rt/Object.h>
#include <rt/MainThread.h>
#include <rt/KVC.h>

namespace zid {

class ICPVexaFactory : public rt::Object {
    RT_CLASS(ICPVexaFactory, rt::Object)
public:
    static void describe(rt::ClassBuilder<ICPVexaFactory>& c) { c.mainThreadOnly(); }
    /// A fresh client for the source, not started; null when the source is not one a
    /// client can be made for.
    virtual std::shared_ptr<IVexaClient> vexaClientForObject(const rt::Ref<ICPMediaSource>& source) = 0;
};

}  // namespace zid
