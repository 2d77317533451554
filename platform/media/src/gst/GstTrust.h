#pragma once
// The trust https media is checked with: the system's certificate authorities, plus
// extra ones an engine was given (a private origin). Certificates are always checked.

#include <gio/gio.h>
#include <gst/gst.h>

#include <string>

namespace media::gstimpl {

/// The system's anchors plus `pem` as one database, built once per PEM (it lives as long
/// as the process); nullptr with `failure` set when it cannot be made. The process's
/// default database becomes the system's anchors plus every extra PEM so far: the
/// adaptive demuxer's own downloader has no trust setting and takes the default.
GTlsDatabase* extendedTrust(const std::string& pem, std::string& failure);
/// The database a source of a pipeline without extra anchors uses: the system's, even
/// after the default was extended for another pipeline.
GTlsDatabase* systemTrust();
/// playbin3's "source-setup" handler: `data` is the pipeline's database (nullptr: the
/// system's).
void onSourceSetup(GstElement* pipeline, GstElement* source, gpointer data);

}  // namespace media::gstimpl
