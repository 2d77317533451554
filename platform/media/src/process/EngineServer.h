#pragma once
// The engine process's side: plays the host's items, each with the GStreamer engine, on
// this process's main run loop as the host's socket commands, and relays every report of
// each playback to the host, naming its item. Used by the zid_media_engine program only.

namespace media::process {

/// Whether this program has the misbehaviours below: only the tests' stand-in engine
/// (zid_faulty_engine compiles EngineServer.cpp and PictureChannel.cpp again with
/// ZID_ENGINE_FAULTS), so the engine program a host installs carries none of their code.
#ifdef ZID_ENGINE_FAULTS
constexpr bool kEngineFaults = true;
#else
constexpr bool kEngineFaults = false;
#endif

struct ServerOptions {
    /// Started ahead of its asset: loads GStreamer's common plugins while it waits.
    bool warmUp = false;
    /// Started ahead of any asset, perhaps for none: GStreamer is set up with the first
    /// item rather than while it waits, as its registry of plugins alone is about 2.6 MB
    /// of heap a waiting process would hold for nothing.
    bool light = false;
    /// Ways the tests' stand-in engine program breaks the rules on purpose, to show the
    /// host survives them; the engine program itself never sets one, nor abortOnSeek, and
    /// without kEngineFaults both are ignored.
    /// The process aborts on this seek of its item (counted from 1), as the media
    /// framework's demuxer can; 0 never.
    long abortOnSeek = 0;
    enum class Misbehaviour {
        None,
        ShrinkSlots,   // picture memory without seals, shrunk once the picture is named
        SilentSeeks,   // seeks are never answered (all else is)
        HangOnSeek,    // a seek hangs the main loop: nothing is answered any more
        HangOnClose,   // giving the item back never finishes
        LeakOnClose,   // each item given back after the first leaves an event descriptor open
        Garbage,       // a datagram of no framed report once the item is attached
        SlowRate,      // each rate change holds the main loop 3 s, as a pipeline slow to play
    };
    Misbehaviour misbehaviour = Misbehaviour::None;
};

/// Serves the host on `socket` until it closes the socket or says Close; answers the
/// process's exit status.
int serveEngine(int socket, ServerOptions options);

}  // namespace media::process
