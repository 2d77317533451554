#pragma once
// A subtitle or audio-track option of the media layer, offered as ICPMediaSelectionOption:
// the language tag is the option's extended language tag and the title its first common
// title. Two wrappers of equal options are equal.
#include <QXCorePlayer/Core/MediaPlayer/ICPMediaSelectionOption.h>
#include <media/MediaSelection.h>
#include <rt/KVC.h>

namespace zid {

class QXMediaLayerSelectionOption : public rt::Object, public ICPMediaSelectionOption {
    RT_CLASS(QXMediaLayerSelectionOption, rt::Object)
public:
    static void describe(rt::ClassBuilder<QXMediaLayerSelectionOption>& c);
    explicit QXMediaLayerSelectionOption(rt::Ref<media::MediaSelectionOption> option) : option_(std::move(option)) {}
    const rt::Ref<media::MediaSelectionOption>& option() const { return option_; }

    std::string languageTag() const override { return option_->extendedLanguageTag(); }
    std::string displayName() const override { return option_->displayName(); }
    std::string title() const override { return option_->title(); }

    bool isEqual(const rt::Object& other) const override;
    std::size_t hash() const override { return option_->hash(); }
    std::string description() const override { return option_->description(); }

private:
    rt::Ref<media::MediaSelectionOption> option_;
};

}  // namespace zid
