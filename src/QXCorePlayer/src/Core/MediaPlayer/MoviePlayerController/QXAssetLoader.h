#pragma once
// Loads the keys of a content URL's asset for the controller's preparation. One loading
// at a time: a new one or a cancel drops the completion of the one before, and so does
// the loader's end. The completion runs on the main loop, with the asset when every key
// loaded, else with the controller's loading error naming the first key that did not.
#include <media/Asset.h>
#include <rt/Error.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zid {

class QXAssetLoader {
public:
    using Completion = std::function<void(const rt::Ref<media::Asset>& asset, const rt::Ref<rt::Error>& error)>;

    explicit QXAssetLoader(std::vector<std::string> keys) : keys_(std::move(keys)) {}
    ~QXAssetLoader() { cancel(); }
    QXAssetLoader(const QXAssetLoader&) = delete;
    QXAssetLoader& operator=(const QXAssetLoader&) = delete;

    void load(const std::string& url, Completion completion);
    void cancel();
    /// The asset whose keys are loading, or nullptr.
    const rt::Ref<media::Asset>& loadingAsset() const { return loading_; }

private:
    void loaded(const rt::Ref<media::Asset>& asset, const Completion& completion);

    std::vector<std::string> keys_;
    rt::Ref<media::Asset> loading_;
    /// Counts the loadings; a completion whose count is not the newest is dropped.
    std::shared_ptr<unsigned> generation_ = std::make_shared<unsigned>(0);
};

}  // namespace zid
