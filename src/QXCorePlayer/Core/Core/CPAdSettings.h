#pragma once
// Ad targeting of a content item.
#include <cstdint>
#include <string>
#include <vector>

#include <rt/KVC.h>
#include <rt/KVO.h>
#include <rt/Object.h>

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
public:
    explicit CPMediaAdSettings(std::vector<std::string> tags = {}) : tags_(std::move(tags)) {}
    static rt::Ref<CPMediaAdSettings> adSettingsWithTags(std::vector<std::string> tags);
    /// A copy of other's tags and ad-free flag.
    static rt::Ref<CPMediaAdSettings> adSettingsWithAdSettings(const ICPMediaAdSettings& other);

    bool adFree() const override { return adFree_; }
    void setAdFree(bool adFree) { rt::kvoSet(this, "adFree", adFree_, adFree); }
    std::vector<std::string> tags() const override { return tags_; }
    void setTags(std::vector<std::string> tags) { rt::kvoSet(this, "tags", tags_, std::move(tags)); }

    static void describe(rt::ClassBuilder<CPMediaAdSettings>& c) {
        c.property("adFree", &CPMediaAdSettings::adFree, &CPMediaAdSettings::setAdFree);
        c.property("tags", &CPMediaAdSettings::tags, &CPMediaAdSettings::setTags);
    }

private:
    std::vector<std::string> tags_;
    bool adFree_ = false;
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
                                                  std::string title, std::string url,
                                                  std::string contentDescription, std::string mainCategoryId,
                                                  std::string subCategoryId, std::string mainCategoryName,
                                                  std::string subCategoryName, std::int64_t duration);

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
