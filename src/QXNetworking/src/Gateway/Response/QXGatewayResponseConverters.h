#pragma once
// The value converters of the gateway's response mapping, registered with the property
// mapper under their names ("dateFromString:", ...). Each checks the type of what it is
// given: a value of another type counts as no value, so a number where text belongs
// never reaches a text operation.
//
// With no value, the list converters give an empty list, the enumerations and the day
// mask give 0, the others give nil (nothing is written).

#include <string>

#include <fnd/DateFormat.h>
#include <rt/Value.h>

namespace zid {

/// "yyyy-MM-dd HH:mm:ss", en_US_POSIX, US Pacific time (daylight saving included),
/// Gregorian calendar. Made once; only read afterwards.
rt::Ref<fnd::DateFormatter> gatewayDateFormatter();

rt::Value dateFromString(const rt::Value& text);
rt::Value repeatTypeFromString(const rt::Value& text);       // never 0, daily 1, weekly 2
rt::Value repeatDataFromDayNames(const rt::Value& names);    // weekday bit mask, Sunday bit 0
rt::Value liveStateFromString(const rt::Value& text);        // offline 0, live 1
rt::Value highlightPrivacyFromString(const rt::Value& text); // everyone 0, followers 1, owner 2
rt::Value watchPrivacyFromString(const rt::Value& text);     // public 0, friends 1, private 2
rt::Value enabledStateFromString(const rt::Value& text);     // disabled 0, enabled 1
/// Each thumbnail object with "url" -> "URL" (a thumbnail without one is dropped),
/// "width", "height", other members copied.
rt::Value channelThumbnailsFromArray(const rt::Value& thumbnails);
/// One thumbnail of 90 by 90 with the text as "URL"; nil without text.
rt::Value channelThumbnailsFromString(const rt::Value& text);
/// Each channel with "channelCode" -> "channelID" (a channel without one is dropped),
/// "channelThumbnails" converted, "thumbnail" -> "thumbnailURL", "tinyUrl" -> "tinyURL".
rt::Value channelsFromArray(const rt::Value& channels);
rt::Value emailFromString(const rt::Value& text);            // percent escapes decoded
rt::Value bannerImegeURLFromString(const rt::Value& text);   // every "r:" -> "c:"
/// The id when the item's "mediaType" is "channel" / "video" / "highlight", else nil.
rt::Value mediaIDForType(const rt::Value& mediaID, const rt::Value& item, const char* mediaType);

/// Registers every converter with the property mapper (once per process).
void registerGatewayResponseConverters();

}  // namespace zid
