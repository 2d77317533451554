#include "GstSoup.h"

#include <dlfcn.h>

#include <mutex>

namespace media::gstimpl {

const SoupCalls* soupCalls() {
    static std::mutex mutex;
    static SoupCalls calls;
    static bool found = false;
    std::lock_guard lock(mutex);
    if (found) return &calls;
    // Only the library already loaded: never a second one.
    void* library = ::dlopen("libsoup-3.0.so.0", RTLD_NOW | RTLD_NOLOAD);
    if (!library) return nullptr;
    bool all = true;
    auto take = [&](auto& slot, const char* name) {
        void* symbol = ::dlsym(library, name);
        all = all && symbol;
        slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(symbol);
    };
    take(calls.sessionType, "soup_session_get_type");
    take(calls.contentDecoderType, "soup_content_decoder_get_type");
    take(calls.messageNew, "soup_message_new");
    take(calls.sendAsync, "soup_session_send_async");
    take(calls.sendFinish, "soup_session_send_finish");
    take(calls.status, "soup_message_get_status");
    take(calls.reason, "soup_message_get_reason_phrase");
    take(calls.uri, "soup_message_get_uri");
    take(calls.requestHeaders, "soup_message_get_request_headers");
    take(calls.responseHeaders, "soup_message_get_response_headers");
    take(calls.headersReplace, "soup_message_headers_replace");
    take(calls.headersGetOne, "soup_message_headers_get_one");
    take(calls.headersForeach, "soup_message_headers_foreach");
    take(calls.featureDisabled, "soup_message_is_feature_disabled");
    take(calls.method, "soup_message_get_method");
    // The library stays loaded as long as the process: the elements never unload it.
    if (!all) return nullptr;
    found = true;
    return &calls;
}

}  // namespace media::gstimpl
