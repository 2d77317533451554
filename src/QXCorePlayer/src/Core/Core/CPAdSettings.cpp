#include <QXCorePlayer/Core/Core/CPAdSettings.h>
#include <rt/Format.h>

namespace zid {

rt::Ref<CPMediaAdSettings> CPMediaAdSettings::adSettingsWithTags(std::vector<std::string> tags) {
    return rt::make<CPMediaAdSettings>(std::move(tags));
}

rt::Ref<CPMediaAdSettings> CPMediaAdSettings::adSettingsWithAdSettings(const ICPMediaAdSettings& other) {
    auto copy = rt::make<CPMediaAdSettings>(other.tags());
    // An ad-free content stays ad-free in every copy the ad request makes of it.
    copy->setAdFree(other.adFree());
    return copy;
}

CPAdSettings::CPAdSettings(std::vector<std::string> tags, std::string contentId_, std::string title_, std::string url_,
                           std::string contentDescription_, std::string mainCategoryId_, std::string subCategoryId_,
                           std::string mainCategoryName_, std::string subCategoryName_, std::int64_t duration_)
    : tags_(std::move(tags)),
      contentId(std::move(contentId_)),
      title(std::move(title_)),
      url(std::move(url_)),
      contentDescription(std::move(contentDescription_)),
      mainCategoryId(std::move(mainCategoryId_)),
      subCategoryId(std::move(subCategoryId_)),
      mainCategoryName(std::move(mainCategoryName_)),
      subCategoryName(std::move(subCategoryName_)),
      duration(duration_) {}

rt::Ref<CPAdSettings> CPAdSettings::settingsWithTags(std::vector<std::string> tags, std::string contentId,
                                                     std::string title, std::string url, std::string contentDescription,
                                                     std::string mainCategoryId, std::string subCategoryId,
                                                     std::string mainCategoryName, std::string subCategoryName,
                                                     std::int64_t duration) {
    return rt::make<CPAdSettings>(std::move(tags), std::move(contentId), std::move(title), std::move(url),
                                  std::move(contentDescription), std::move(mainCategoryId), std::move(subCategoryId),
                                  std::move(mainCategoryName), std::move(subCategoryName), duration);
}

std::string CPAdSettings::description() const {
    return rt::format(
        "%@ {tags: %@, contentId: %@, title: %@, url: %@, desc: %@, mCat: %@, sCat: %@, mCatName: %@, sCatName: %@, "
        "duration: %lld}",
        rt::Value(rt::Object::description()), rt::ValueTraits<std::vector<std::string>>::toValue(tags_),
        rt::Value(contentId), rt::Value(title), rt::Value(url), rt::Value(contentDescription),
        rt::Value(mainCategoryId), rt::Value(subCategoryId), rt::Value(mainCategoryName), rt::Value(subCategoryName),
        static_cast<long long>(duration));
}

}  // namespace zid
