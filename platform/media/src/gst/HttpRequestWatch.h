#pragma once
// How many HTTP requests the process's soup sessions have in flight. The adaptive demuxer
// downloads segments through a session of its own that no element exposes; a flushing
// seek that lands while one of its requests is still being cancelled can take the
// process down (a fault of GStreamer 1.22.0's demuxer), so a seek waits for a quiet moment.

namespace media::gstimpl {

class HttpRequestWatch {
public:
    /// Starts counting once the HTTP library is loaded; answers whether it counts.
    /// Any thread; cheap to call again.
    static bool install();
    /// Requests queued and not yet done, in every session of the process.
    static int inFlight();
};

}  // namespace media::gstimpl
