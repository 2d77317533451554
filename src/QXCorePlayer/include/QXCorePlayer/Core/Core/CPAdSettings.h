#pragma once
// Ad targeting of a content item.
#include <rt/KVC.h>
#include <rt/KVO.h>
#include <rt/Property.h>
#include <rt/Object.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zid {

class ICPMediaAdSettings : public rt::Object {
    RT_CLASS(ICPMediaAdSettings, rt::Object)
public:
    virtual bool adFree() const = 0;
    virtual std::vector<std::string> tags() const = 0;

    static void describe(rt::ClassBuilder<ICPMediaAdSettings>& c) {
        c.readonly("adFree", &ICPMediaAdSettings::adFree);
        c.readonly("tags", &ICPMediaAdSettings::tags);
    }
};

/// The small record plain URL sources carry; the ad request rewrites its tags.
class CPMediaAdSettings : public ICPMediaAdSettings {
    RT_CLASS(CPMediaAdSettings, ICPMediaAdSettings)
    std::vector<std::string> tags_;
    bool adFree_ = false;

public:
    static constexpr rt::Stored<&CPMediaAdSettings::tags_, "tags", rt::writable> tagsKey{};
    static constexpr rt::Stored<&CPMediaAdSettings::adFree_, "adFree", rt::writable> adFreeKey{};

    explicit CPMediaAdSettings(std::vector<std::string> tags = {}) : tags_(std::move(tags)) {}
    static rt::Ref<CPMediaAdSettings> adSettingsWithTags(std::vector<std::string> tags);
    /// A copy of other's tags and ad-free flag.
    static rt::Ref<CPMediaAdSettings> adSettingsWithAdSettings(const ICPMediaAdSettings& other);

    bool adFree() const override { return adFreeKey.get(*this); }
    void setAdFree(bool adFree) { adFreeKey.set(*this, adFree); }
    std::vector<std::string> tags() const override { return tagsKey.get(*this); }
    void setTags(std::vector<std::string> tags) { tagsKey.set(*this, std::move(tags)); }
};

/// The full ad targeting the media-server source fills in.
class CPAdSettings : public ICPMediaAdSettings {
    RT_CLASS(CPAdSettings, ICPMediaAdSettings)
public:
    CPAdSettings() = default;
    CPAdSettings(std::vector<std::string> tags, std::string contentId, std::string title, std::string url,
                 std::string contentDescription, std::string mainCategoryId, std::string subCategoryId,
                 std::string mainCategoryName, std::string subCategoryName, std::int64_t duration);
    static rt::Ref<CPAdSettings> settingsWithTags(std::vector<std::string> tags, std::string contentId,
                                                  std::string title, std::string url, std::string contentDescription,
                                                  std::string mainCategoryId, std::string subCategoryId,
                                                  std::string mainCategoryName, std::string subCategoryName,
                                                  std::int64_t duration);

    bool adFree() const override { return adFree_; }
    std::vector<std::string> tags() const override { return tags_; }
    std::string description() const override;

    // Plain fields: the media-server source fills them once.
    bool adFree_ = false;
    bool contentPartner = false;
    bool broadcasterFeatured = false;
    std::vector<std::string> tags_;
    std::vector<std::string> categories;
    std::string contentId;
    std::string title;
    std::string url;
    std::string contentDescription;
    std::string mainCategoryId;
    std::string subCategoryId;
    std::string mainCategoryName;
    std::string subCategoryName;
    std::string provider;
    std::string accountID;
    std::int64_t duration = 0;
};

}  // namespace zid
