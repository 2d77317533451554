#pragma once
// A subtitle or audio-track option, as the movie player controller offers them.
#include <string>

namespace zid {

class ICPMediaSelectionOption {
public:
    virtual ~ICPMediaSelectionOption() = default;
    /// The option's extended language tag.
    virtual std::string languageTag() const = 0;
    virtual std::string displayName() const = 0;
    virtual std::string title() const = 0;
};

}  // namespace zid
