#pragma once
// The controller's errors: QXMoviePlayerControllerErrorDomain, a description a person can
// read and, where there is one, the error underneath.
#include <QXCorePlayer/Core/MediaPlayer/MoviePlayerController/QXMoviePlayerController.h>
#include <rt/Error.h>

#include <string>

namespace zid {

inline rt::Ref<rt::Error> makeMoviePlayerControllerError(QXMoviePlayerControllerErrorCode code,
                                                         const std::string& description,
                                                         const rt::Ref<rt::Error>& underlying = nullptr) {
    rt::Dictionary info;
    info.set(rt::Error::LocalizedDescriptionKey, description);
    if (underlying) info.set(rt::Error::UnderlyingErrorKey, underlying);
    return rt::Error::make(QXMoviePlayerControllerErrorDomain, static_cast<long long>(code), info);
}

}  // namespace zid
