#include "GstSession.h"
#include "GstTrust.h"
#include "QuotedURI.h"
#include "TlsProbe.h"

#include <cctype>
#include <thread>

#include <media/MediaErrors.h>

namespace media::gstimpl {

namespace {

/// Seconds a handshake that looks into a failed secure connection may take.
constexpr unsigned kTlsProbeTimeout = 5;

}  // namespace

void GstSession::failWith(rt::Ref<rt::Error> error, GstObject* brokenSource) {
    if (gone()) return;
    phase_ = Phase::Failed;
    // Read before the pipeline (which holds the source) goes.
    std::string secureURL = brokenSource ? httpsLocationOf(brokenSource) : std::string();
    // Answers every seek NO.
    releasePipeline();
    if (loadTimer_) loadTimer_->invalidate();
    if (!secureURL.empty()) {
        reportAfterCheckingTls(std::move(error), secureURL);
        return;
    }
    reportFailure(error);
}

void GstSession::refuse(rt::Ref<rt::Error> error) { failWith(std::move(error)); }

rt::Ref<rt::Error> GstSession::notedFailure() {
    auto [code, cause] = relay_->playlistFailure();
    return cause.empty() ? nullptr : playlistFailureError(code, cause);
}

void GstSession::logError(const std::string& url, MediaErrorCode code, const std::string& description) {
    auto item = item_.lock();
    if (!item || gone()) return;
    auto event = rt::make<ErrorLogEvent>();
    event->date = fnd::RunLoop::main()->clock().date();
    event->URI = url;
    event->serverAddress = stats_->serverAddress;
    event->playbackSessionID = stats_->playbackSessionID;
    event->errorDomain = MediaErrorDomain;
    event->errorStatusCode = static_cast<long long>(code);
    event->errorComment = description;
    item->engineErrorLogEvent(event);
}

void GstSession::reportFailure(const rt::Ref<rt::Error>& error) {
    failure_ = error;
    if (readyTimer_) readyTimer_->invalidate();
    finishLoad(error);
    if (auto item = item_.lock()) item->engineDidFail(error);
}

void GstSession::reportAfterCheckingTls(rt::Ref<rt::Error> error, const std::string& url) {
    // The HTTP source says only that its stream broke. Shaking hands with the server
    // again, with the same trust, tells a refused certificate (and why) apart from a
    // server that cannot be reached; the failure is reported once that is known.
    GTlsDatabase* database = trust_ ? trust_ : systemTrust();
    if (database) g_object_ref(database);
    std::weak_ptr<GstSession> weak = weak_from_this();
    std::thread([weak, error, url, database] {
        TlsProbeResult probe = probeTls(url, database, kTlsProbeTimeout);
        if (database) g_object_unref(database);
        fnd::RunLoop::main()->post([weak, error, url, probe] {
            auto s = weak.lock();
            if (!s || s->phase_ == Phase::Closed) return;
            if (!probe.reached || probe.reason.empty()) {
                s->reportFailure(error);
                return;
            }
            std::string reason = probe.reason;
            reason[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(reason[0])));
            auto cause = makeMediaError(MediaErrorCode::SecureConnectionFailed, reason + ".");
            rt::Dictionary info = error->userInfo();
            info.set(rt::Value(rt::Error::LocalizedDescriptionKey),
                     rt::Value("\"" + quotedURI(url) + "\": cannot connect securely to the server (" + probe.reason + ")"));
            info.set(rt::Value(rt::Error::UnderlyingErrorKey), rt::Value(cause));
            s->reportFailure(rt::Error::make(error->domain(), error->code(), info));
        });
    }).detach();
}

}  // namespace media::gstimpl
