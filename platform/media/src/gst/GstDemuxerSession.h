#pragma once
// Which HTTP session is an adaptive demuxer's own. The demuxer makes its session (libsoup 3)
// while it is made itself, on the thread making it; that session is the demuxer's from
// then on, and no other is. So the demuxer's type is given a constructor that notes the
// sessions made while it runs, and each is tied to the demuxer it was made for. A session
// a host made (before a demuxer, or beside one) is never a demuxer's, whatever its
// requests name.

#include <gst/gst.h>

namespace media::gstimpl {

/// Readies the process to know demuxers' sessions (once; loads the demuxer's plugin): before
/// any demuxer the engine guards is made. False when the demuxer or its HTTP library is
/// missing.
bool knowDemuxerSessions();

/// The demuxer `session` was made for (a reference), or null: not a demuxer's own.
GstElement* demuxerOwning(GObject* session);

/// Whether the demuxer's own session is known (it was made once the process was ready).
bool sessionKnown(GstElement* demuxer);

}  // namespace media::gstimpl
