#pragma once
// A loopback image server for logo and thumbnail loads, over HTTPS with a certificate
// of the test authority: images registered by path, a missing path
// (404), a body that is no image, an oversized body, and a held path whose answers
// wait until the test lets them go. Serves on its own threads; counts every request.
#include <condition_variable>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "peers/LoopbackHttpsServer.h"

namespace peers {

class ImageServerPeer {
public:
    /// The fixed paths besides the registered images.
    static constexpr const char* kMissingPath = "/missing.png";
    static constexpr const char* kNotAnImagePath = "/not-an-image.png";
    static constexpr const char* kOversizedPath = "/oversized.png";
    static constexpr const char* kHeldPath = "/held.png";

    ImageServerPeer();
    ~ImageServerPeer();
    ImageServerPeer(const ImageServerPeer&) = delete;
    ImageServerPeer& operator=(const ImageServerPeer&) = delete;

    /// Serves the bytes at the path as "image/png" (replacing what was there).
    void addImage(const std::string& path, std::string bytes);
    /// The size of the oversized body (8 MiB unless set); it is streamed, never held whole.
    void setOversizedBytes(std::size_t bytes);
    /// The image the held path answers with once released.
    void setHeldImage(std::string bytes);

    /// "https://127.0.0.1:<port><path>"
    std::string url(const std::string& path) const;
    int port() const;
    /// The PEM of the authority a client must trust for the HTTPS server.
    static const std::string& trustAnchorPem();

    /// Requests seen on a path, and on every path.
    int requests(const std::string& path) const;
    int requests() const;
    /// Lets n held answers (waiting or still to come) go.
    void release(int n = 1);
    /// Held answers waiting now.
    int held() const;
    /// Waits in real time until n answers are held.
    bool waitForHeld(int n, double seconds = 5) const;
    /// Waits in real time until n requests in all arrived.
    bool waitForRequests(int n, double seconds = 5) const;

private:
    void count(const std::string& path);
    void route();


    std::unique_ptr<LoopbackHttpsServer> server_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::map<std::string, std::string> images_;
    std::map<std::string, int> counts_;
    int total_ = 0;
    std::size_t oversized_ = 8u << 20;
    std::string heldImage_;
    int releases_ = 0;
    int held_ = 0;
    bool stopping_ = false;
};

}  // namespace peers
