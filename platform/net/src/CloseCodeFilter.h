#pragma once
// The layer under the WebSocket library that lets a peer close with every code this
// client may send, and answers that close with the peer's own code. The library refuses
// 1014 in a peer's close frame (it predates that code's registration) and fails the
// connection, although the client may send it and a peer echoes it. This layer follows
// the peer's frames as they are read (after the upgrade's answer) and turns the code of
// a close frame saying 1014 into 1000 before the library parses it; closeCodeOf() turns
// it back for the report. The library then answers with the code it read, 1000: the
// layer follows what is written too and turns that answer back into 1014, so the peer
// gets its code echoed as it does every other (the answer alone: a close the client
// started itself with 1000 goes out as 1000).
//
// The loopback media server of the tests stands on the same layer, to take a client's
// 1014 as a close and to tell which code a client answered with.

#include <boost/asio/async_result.hpp>
#include <boost/asio/buffer.hpp>
#include <boost/asio/compose.hpp>
#include <boost/beast/core/role.hpp>
#include <boost/beast/websocket/teardown.hpp>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

namespace net {

/// Follows the bytes of one direction of a WebSocket connection: the opening handshake's
/// request or answer up to its empty line, then the frames (masked or not). It keeps the
/// code of a close frame, and where asked changes one code into another that shares its
/// high byte (the low byte alone is changed, so a code split over two reads still can be).
class CloseFrameFollower {
public:
    /// Follows `size` more bytes. In a close frame whose code is `from` the code becomes
    /// `to` (both share their high byte); `from` 0 changes nothing.
    void follow(std::uint8_t* bytes, std::size_t size, int from = 0, int to = 0) { advance(bytes, size, from, to); }
    /// Follows bytes that go on as they are.
    void follow(const std::uint8_t* bytes, std::size_t size) { advance(bytes, size, 0, 0); }

    /// The code of the close frame followed, as it came (before any change); none until a
    /// close frame with a code has passed.
    std::optional<int> closeCode() const { return closeCode_; }
    /// Whether a code was changed.
    bool changed() const { return changed_; }

private:
    enum class Part { Handshake, Opening, Length, ExtendedLength, MaskKey, Payload };

    template <class Byte> void advance(Byte* bytes, std::size_t size, int from, int to) {
        for (std::size_t i = 0; i < size;) {
            if (part_ == Part::Payload && (opcode_ != kCloseOpcode || offset_ >= 2)) {
                // Nothing to read in the rest of this payload: passed over at once.
                std::uint64_t skipped = std::min<std::uint64_t>(length_ - offset_, size - i);
                i += static_cast<std::size_t>(skipped);
                offset_ += skipped;
                if (offset_ == length_) part_ = Part::Opening;
                continue;
            }
            take(bytes[i++], from, to);
        }
    }

    template <class Byte> void take(Byte& byte, int from, int to) {
        switch (part_) {
            case Part::Handshake:
                // The request's or answer's headers end with an empty line; neither has a
                // body here (a 101 answer, a GET).
                handshakeEnd_ = (byte == (handshakeEnd_ % 2 == 0 ? '\r' : '\n')) ? handshakeEnd_ + 1 : (byte == '\r' ? 1 : 0);
                if (handshakeEnd_ == 4) part_ = Part::Opening;
                return;
            case Part::Opening:
                opcode_ = byte & 0x0f;
                part_ = Part::Length;
                return;
            case Part::Length: {
                masked_ = (byte & 0x80) != 0;
                int length = byte & 0x7f;
                length_ = 0;
                if (length >= 126) {
                    lengthBytesLeft_ = length == 126 ? 2 : 8;
                    part_ = Part::ExtendedLength;
                    return;
                }
                length_ = static_cast<std::uint64_t>(length);
                return startPayload();
            }
            case Part::ExtendedLength:
                length_ = (length_ << 8) | static_cast<std::uint8_t>(byte);
                if (--lengthBytesLeft_ == 0) startPayload();
                return;
            case Part::MaskKey:
                mask_[4 - maskBytesLeft_] = static_cast<std::uint8_t>(byte);
                if (--maskBytesLeft_ == 0) beginPayload();
                return;
            case Part::Payload: {
                // Only the first two bytes of a close frame, its code, come here.
                std::uint8_t mask = mask_[offset_ % 4];
                std::uint8_t plain = static_cast<std::uint8_t>(byte) ^ mask;
                if (offset_ == 0) codeHigh_ = plain;
                if (offset_ == 1) {
                    int code = codeHigh_ << 8 | plain;
                    closeCode_ = code;
                    if constexpr (!std::is_const_v<Byte>) {
                        if (from != 0 && code == from) {
                            byte = static_cast<std::uint8_t>((to & 0xff) ^ mask);
                            changed_ = true;
                        }
                    }
                }
                if (++offset_ == length_) part_ = Part::Opening;
                return;
            }
        }
    }

    void startPayload() {
        mask_ = {};
        if (masked_) {
            maskBytesLeft_ = 4;
            part_ = Part::MaskKey;
            return;
        }
        beginPayload();
    }

    void beginPayload() {
        offset_ = 0;
        part_ = length_ == 0 ? Part::Opening : Part::Payload;
    }

    static constexpr int kCloseOpcode = 0x8;
    Part part_ = Part::Handshake;
    int handshakeEnd_ = 0;
    int opcode_ = 0;
    bool masked_ = false;
    int lengthBytesLeft_ = 0;
    int maskBytesLeft_ = 0;
    std::array<std::uint8_t, 4> mask_{};
    std::uint64_t length_ = 0;
    std::uint64_t offset_ = 0;
    std::uint8_t codeHigh_ = 0;
    std::optional<int> closeCode_;
    bool changed_ = false;
};

/// A stream that hands what `NextLayer` reads and writes through a CloseFrameFollower each.
template <class NextLayer> class CloseCodeFilter {
public:
    /// The code the library refuses, and the one it is read as (both share the high byte).
    static constexpr int kRefusedCode = 1014;
    static constexpr int kReadAsCode = 1000;

    using next_layer_type = NextLayer;
    using executor_type = typename NextLayer::executor_type;

    template <class... Args> explicit CloseCodeFilter(Args&&... args) : next_(std::forward<Args>(args)...) {}

    executor_type get_executor() noexcept { return next_.get_executor(); }
    NextLayer& next_layer() noexcept { return next_; }
    const NextLayer& next_layer() const noexcept { return next_; }

    /// The code a peer closed with, given the code the library read.
    int closeCodeOf(int readCode) const {
        return reader_.changed() && readCode == kReadAsCode ? kRefusedCode : readCode;
    }
    /// Told before this end starts a closing handshake of its own, with its code.
    void closingWith(int code) { ownCloseCode_ = code; }
    /// The code the peer answered this end's close with, or closed with first; none yet.
    std::optional<int> peersCloseCode() const { return reader_.closeCode(); }

    template <class MutableBuffers, class ReadToken> auto async_read_some(const MutableBuffers& buffers, ReadToken&& token) {
        return boost::asio::async_compose<ReadToken, void(boost::system::error_code, std::size_t)>(
            [this, buffers, started = false](auto& self, boost::system::error_code ec = {}, std::size_t n = 0) mutable {
                if (!started) {
                    started = true;
                    next_.async_read_some(buffers, std::move(self));
                    return;
                }
                std::size_t left = n;
                for (auto it = boost::asio::buffer_sequence_begin(buffers);
                     left > 0 && it != boost::asio::buffer_sequence_end(buffers); ++it) {
                    boost::asio::mutable_buffer buffer = *it;
                    std::size_t size = std::min(left, buffer.size());
                    reader_.follow(static_cast<std::uint8_t*>(buffer.data()), size, kRefusedCode, kReadAsCode);
                    left -= size;
                }
                self.complete(ec, n);
            },
            token, next_);
    }

    template <class ConstBuffers, class WriteToken> auto async_write_some(const ConstBuffers& buffers, WriteToken&& token) {
        return boost::asio::async_compose<WriteToken, void(boost::system::error_code, std::size_t)>(
            [this, buffers, started = false, copied = false](auto& self, boost::system::error_code ec = {},
                                                            std::size_t n = 0) mutable {
                if (!started) {
                    started = true;
                    if (!answersRefusedCode()) {
                        next_.async_write_some(buffers, std::move(self));
                        return;
                    }
                    // The library's answer to a close read as 1000 goes out with the
                    // peer's code: a copy of what is written, changed where the code is.
                    copied = true;
                    outgoing_.resize(boost::asio::buffer_size(buffers));
                    boost::asio::buffer_copy(boost::asio::buffer(outgoing_), buffers);
                    CloseFrameFollower probe = writer_;
                    probe.follow(outgoing_.data(), outgoing_.size(), kReadAsCode, kRefusedCode);
                    next_.async_write_some(boost::asio::buffer(outgoing_), std::move(self));
                    return;
                }
                // What went out, followed (a part of it may be written again by the next call).
                std::size_t left = n;
                if (copied) {
                    writer_.follow(static_cast<const std::uint8_t*>(outgoing_.data()), left);
                } else {
                    for (auto it = boost::asio::buffer_sequence_begin(buffers);
                         left > 0 && it != boost::asio::buffer_sequence_end(buffers); ++it) {
                        boost::asio::const_buffer buffer = *it;
                        std::size_t size = std::min(left, buffer.size());
                        writer_.follow(static_cast<const std::uint8_t*>(buffer.data()), size);
                        left -= size;
                    }
                }
                self.complete(ec, n);
            },
            token, next_);
    }

    template <class Handler> friend void async_teardown(boost::beast::role_type role, CloseCodeFilter& stream, Handler&& handler) {
        using boost::beast::websocket::async_teardown;
        async_teardown(role, stream.next_, std::forward<Handler>(handler));
    }

    friend void teardown(boost::beast::role_type role, CloseCodeFilter& stream, boost::system::error_code& ec) {
        using boost::beast::websocket::teardown;
        teardown(role, stream.next_, ec);
    }

private:
    /// Whether a close frame written now that says 1000 answers a peer's 1014: the peer
    /// closed with it, and this end did not start a close of its own with 1000.
    bool answersRefusedCode() const { return reader_.changed() && ownCloseCode_ != kReadAsCode; }

    NextLayer next_;
    CloseFrameFollower reader_;
    CloseFrameFollower writer_;
    std::optional<int> ownCloseCode_;
    /// What is being written when it had to be changed; one write at a time.
    std::vector<std::uint8_t> outgoing_;
};

}  // namespace net
