#include "Core/MediaPlayer/MoviePlayerController/QXAssetLoader.h"

#include <QXFoundation/Log/QXLogger.h>
#include <fnd/RunLoop.h>

#include "Core/CoreLogModule.h"
#include "Core/MediaPlayer/MoviePlayerController/QXMoviePlayerControllerError.h"

namespace zid {

void QXAssetLoader::load(const std::string& url, Completion completion) {
    auto asset = media::Asset::assetWithURL(url);
    cancel();
    loading_ = asset;
    unsigned generation = ++*generation_;
    std::weak_ptr<unsigned> current = generation_;
    asset->loadValuesAsynchronouslyForKeys(keys_, [this, current, asset, generation, completion] {
        fnd::RunLoop::main()->post([this, current, asset, generation, completion] {
            // Gone, or stopped, failed or re-pointed since.
            auto newest = current.lock();
            if (newest && *newest == generation && asset == loading_) loaded(asset, completion);
        });
    });
}

void QXAssetLoader::cancel() {
    ++*generation_;
    if (auto asset = std::exchange(loading_, nullptr)) asset->cancelLoading();
}

void QXAssetLoader::loaded(const rt::Ref<media::Asset>& asset, const Completion& completion) {
    loading_ = nullptr;
    const auto& cls = QXMoviePlayerController::staticClass();
    QXLog(kCoreLogModule, cls, 5, "%@", "prepareToPlayAsset:");
    for (const auto& key : keys_) {
        rt::Ref<rt::Error> keyError;
        auto status = asset->statusOfValueForKey(key, &keyError);
        if (status == media::KeyValueStatus::Loaded) continue;
        if (status == media::KeyValueStatus::Failed) QXLog(kCoreLogModule, cls, 5, "AVKeyValueStatusFailed");
        // The top text names what failed (the URL and the server's answer, say), not the
        // asset key that happened to be asked for first.
        completion(nullptr, makeMoviePlayerControllerError(
                                QXMoviePlayerControllerErrorCode::LoadingFailed,
                                keyError ? "The media could not be loaded: " + keyError->localizedDescription()
                                         : "The media's \"" + key + "\" could not be loaded",
                                keyError));
        return;
    }
    completion(asset, nullptr);
}

}  // namespace zid
