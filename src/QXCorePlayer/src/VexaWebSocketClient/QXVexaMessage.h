#pragma once
// The media server's frames and messages are JSON objects. Incoming text is parsed
// without exceptions; booleans stay booleans and numbers stay numbers.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include <QXFoundation/Log/QXLogger.h>
#include <rt/Value.h>

namespace zid {

using QXVexaMessage = nlohmann::ordered_json;

/// The log module of the media-server transport, client and module handlers.
inline constexpr const char* kVexaLogModule = "ZIDoredider/QXCorePlayer/Vexa-WebSocket";

/// The JSON form of a value: dictionaries become objects (in their order), arrays
/// arrays, numbers of the boolean kind booleans, integer kinds integers, the floating
/// kinds doubles, strings strings, dates seconds since 1970, nil and null null; any other
/// value its description.
QXVexaMessage vexaJSONFromValue(const rt::Value& value);

/// The parsed text, or a discarded value when it is not JSON.
/// Arrays and objects a frame may open inside one another; deeper frames are refused.
inline constexpr int kVexaMaximumNesting = 512;
/// Values (objects, arrays, strings, numbers, booleans and nulls, at any depth) a frame
/// may hold; frames with more are refused. The media server's frames hold a few hundred
/// at most, and a tree of values costs up to about a hundred bytes each whatever their
/// text, so the bound keeps the parse of any frame to a few megabytes.
inline constexpr std::size_t kVexaMaximumValues = 16384;
/// Parses a frame without throwing: a malformed frame, or one nested too deeply or
/// holding too many values, is discarded, and `refusal` (when given) says why.
QXVexaMessage vexaParse(const std::string& text, std::string* refusal = nullptr);
/// Compact UTF-8 text; nothing when the message cannot be serialized (invalid UTF-8).
std::optional<std::string> vexaSerialize(const QXVexaMessage& message);

/// Compact text of an outgoing message for the log: the values of the members that
/// hold secrets ("password", "hash", "apiKey", "rpin"), at any depth, read "(hidden)".
std::string vexaLogText(const QXVexaMessage& message);

/// A member that is an integer number (booleans and fractions are not); nothing else.
std::optional<std::int64_t> vexaInteger(const QXVexaMessage& object, const char* key);
/// A member that is a boolean; nothing else.
std::optional<bool> vexaBoolean(const QXVexaMessage& object, const char* key);
/// A member that is a string; nothing else.
std::optional<std::string> vexaString(const QXVexaMessage& object, const char* key);
/// A member that is an object, or nullptr.
const QXVexaMessage* vexaObject(const QXVexaMessage& object, const char* key);

/// Whether a record of that level would reach any handler, so that a hot path formats
/// its text only when someone reads it.
bool vexaLogs(std::int64_t level);

/// QXLog under the media-server module, formatted only when some handler takes the level.
template <class... Args>
void vexaLog(const rt::Class& source, std::int64_t level, std::string_view format, const Args&... args) {
    if (vexaLogs(level)) QXLog(kVexaLogModule, source, level, format, args...);
}

}  // namespace zid
