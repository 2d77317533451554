#pragma once
// Turns a gateway payload into the client's form, method by method: other member names,
// channel data nested under "parentChannel" or "owner", text turned into numbers, dates
// and lists. Members a table does not name pass through under their own names, except
// "socialStreamEnabled" and "chatEnabled", which never appear. A null member counts as
// absent.
//
// An item that lacks a required member is left out of a list; a single object that
// lacks one fails the call (QXGatewayClientError::Mapping). Methods without a mapping
// return their payload unchanged.
//
// Addresses the client fetches (thumbnails, banners, avatars, stream URLs) in a scheme
// other than http and https are dropped, with one log line per response.

#include <functional>
#include <string>
#include <string_view>

#include <rt/Error.h>
#include <rt/Value.h>

namespace zid {

class QXGatewayResponseMapper {
public:
    /// The mapped payload; nil and the error when it cannot be mapped.
    static rt::Value mappedResponse(const rt::Value& payload, std::string_view method, rt::Ref<rt::Error>* error);
    /// Whether the method (by short name) has a mapping.
    static bool hasMapping(std::string_view method);

    /// Each object of the list mapped into a fresh template; objects that fail
    /// (a required member missing) and items that are no objects are left out.
    static rt::Value::Array mappedItemsFromItems(const rt::Value::Array& items, const rt::Value& map,
                                                 const std::function<rt::Dictionary()>& instanceBlock);
    static rt::Value::Array mappedItemsFromItems(const rt::Value::Array& items, const rt::Value& map);
    /// The parentChannel template: "parentChannel" = an empty dictionary.
    static std::function<rt::Dictionary()> itemWithParentChannel();
    /// Maps the source into the target, then removes "socialStreamEnabled" and
    /// "chatEnabled"; false with the validation errors when a required member is missing
    /// (nothing is written then).
    static bool performMapping(const rt::Value& map, const rt::Value& source, rt::Dictionary& target,
                               std::vector<rt::Ref<rt::Error>>* errors = nullptr);
};

}  // namespace zid
