#pragma once
// The layer under the WebSocket library that lets a peer close with every code this
// client may send. The library refuses 1014 in a peer's close frame (it predates that
// code's registration) and fails the connection, although the client may send it and a
// peer echoes it. This layer follows the peer's frames as they are read (after the
// upgrade's answer) and turns the code of a close frame saying 1014 into 1000 before the
// library parses it; closeCodeOf() turns it back for the report. Writes pass untouched.

#include <boost/asio/async_result.hpp>
#include <boost/asio/buffer.hpp>
#include <boost/asio/compose.hpp>
#include <boost/beast/core/role.hpp>
#include <boost/beast/websocket/teardown.hpp>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>

namespace net {

/// Follows the bytes a client reads on a WebSocket connection: the upgrade's answer up to
/// its empty line, then the frames. In a close frame that says 1014 the code's low byte
/// becomes that of 1000 (both codes share the high byte).
class CloseFrameReader {
public:
    static constexpr int kRewrittenCode = 1014;
    static constexpr int kReadAsCode = 1000;

    /// Reads `size` bytes as they came, changing what needs it.
    void read(std::uint8_t* bytes, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i) take(bytes[i]);
    }

    /// The code a peer closed with, given the code the library read.
    int closeCodeOf(int readCode) const { return rewrote_ && readCode == kReadAsCode ? kRewrittenCode : readCode; }

private:
    enum class Part { Answer, Opening, Length, ExtendedLength, MaskKey, Payload };

    void take(std::uint8_t& byte) {
        switch (part_) {
            case Part::Answer:
                // The answer's headers end with an empty line; a 101 answer has no body.
                answerEnd_ = (byte == (answerEnd_ % 2 == 0 ? '\r' : '\n')) ? answerEnd_ + 1 : (byte == '\r' ? 1 : 0);
                if (answerEnd_ == 4) part_ = Part::Opening;
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
                length_ = (length_ << 8) | byte;
                if (--lengthBytesLeft_ == 0) startPayload();
                return;
            case Part::MaskKey:
                if (--maskBytesLeft_ == 0) beginPayload();
                return;
            case Part::Payload:
                // A peer's frames are not masked: a masked one fails in the library anyway.
                if (opcode_ == kCloseOpcode && !masked_) {
                    if (offset_ == 0) codeHigh_ = byte;
                    if (offset_ == 1 && (codeHigh_ << 8 | byte) == kRewrittenCode) {
                        byte = static_cast<std::uint8_t>(kReadAsCode & 0xff);
                        rewrote_ = true;
                    }
                }
                if (++offset_ == length_) part_ = Part::Opening;
                return;
        }
    }

    void startPayload() {
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
    Part part_ = Part::Answer;
    int answerEnd_ = 0;
    int opcode_ = 0;
    bool masked_ = false;
    int lengthBytesLeft_ = 0;
    int maskBytesLeft_ = 0;
    std::uint64_t length_ = 0;
    std::uint64_t offset_ = 0;
    std::uint8_t codeHigh_ = 0;
    bool rewrote_ = false;
};

/// A stream that hands what `NextLayer` reads through a CloseFrameReader.
template <class NextLayer> class CloseCodeFilter {
public:
    using next_layer_type = NextLayer;
    using executor_type = typename NextLayer::executor_type;

    template <class... Args> explicit CloseCodeFilter(Args&&... args) : next_(std::forward<Args>(args)...) {}

    executor_type get_executor() noexcept { return next_.get_executor(); }
    NextLayer& next_layer() noexcept { return next_; }
    const NextLayer& next_layer() const noexcept { return next_; }

    int closeCodeOf(int readCode) const { return reader_.closeCodeOf(readCode); }

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
                    reader_.read(static_cast<std::uint8_t*>(buffer.data()), size);
                    left -= size;
                }
                self.complete(ec, n);
            },
            token, next_);
    }

    template <class ConstBuffers, class WriteToken> auto async_write_some(const ConstBuffers& buffers, WriteToken&& token) {
        return next_.async_write_some(buffers, std::forward<WriteToken>(token));
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
    NextLayer next_;
    CloseFrameReader reader_;
};

}  // namespace net
