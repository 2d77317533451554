#pragma once
// The engine over GStreamer: one playbin3 pipeline per asset and its first item (the
// pipeline that loaded the asset is prerolled and handed to the first item, so the
// first picture is already decoded when play is called). Video goes to an appsink that
// converts to BGRA, audio to the system's audio output or, with null output, to a
// clock-synchronised fakesink, subtitles to an appsink whose cues become the item's
// legible output.
//
// Threads: GStreamer's streaming threads never touch an item. Bus messages go through a
// synchronous bus handler that only posts them to the main run loop, where they are
// handled in order; pictures are swapped into a one-slot mailbox and the main loop is
// told once per new picture. No GLib main loop runs on the application's side.
//
// Buffering: when the stream reports less than 100 % buffered the pipeline goes to
// PAUSED and the item stops keeping up (a stall when it had been playing); at 100 % it
// goes back to PLAYING if the player's rate asks for it.

#include <media/Engine.h>

#include <string>

namespace media {

class GstEngine : public Engine {
    RT_CLASS(GstEngine, Engine)
public:
    struct Options {
        /// No audio device and no display: audio to a fakesink that keeps time.
        bool nullOutput = false;
        /// Seconds an asset may take to load before it fails (a server that accepts the
        /// connection and never answers).
        double loadTimeout = 20;
        /// PEM certificate authorities trusted on top of the system's for https media (a
        /// private origin); certificates are always checked. See setExtraTrustAnchors.
        std::string extraTrustAnchorsPem;
    };
    explicit GstEngine(Options options);
    GstEngine() : GstEngine(Options{}) {}

    const Options& options() const { return options_; }
    /// Trusts these PEM authorities, besides the system's, for pipelines started from now
    /// on. The playlist's HTTP source gets them per pipeline; the adaptive demuxer fetches
    /// playlists and segments through a TLS session of its own that takes only the
    /// process's default trust store, so that default becomes the system's anchors plus
    /// these (it only ever adds trust, and certificates stay checked). Empty: the system's.
    void setExtraTrustAnchors(const std::string& pem) { options_.extraTrustAnchorsPem = pem; }

    void loadAsset(const rt::Ref<Asset>& asset, AssetCompletion done) override;
    void cancelAssetLoad(const rt::Ref<Asset>& asset) override;
    rt::Ref<Playback> makePlayback(const rt::Ref<PlayerItem>& item) override;

    /// Initialises GStreamer once for the process (thread-safe).
    static void ensureInitialized();
    /// Pipelines stop on threads of their own, so a stuck one never holds the caller.
    /// Waits up to `seconds` for those still stopping; whether all have (a host about to
    /// exit, or to hand its engine on, asks).
    static bool finishTeardowns(double seconds);

private:
    Options options_;
};

}  // namespace media
