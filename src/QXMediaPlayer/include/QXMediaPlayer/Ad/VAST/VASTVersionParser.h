#pragma once
// The base of a reader of one VAST dialect. VASTParser makes one of each class in its
// versionParsers, fresh for every document, asks each in turn whether it reads the
// document's root element and lets the first that does make the ads.
//
// A host adds a dialect (an extension the built-in readers pass over, a later version)
// by deriving from this class with RT_CLASS and a default constructor and putting its
// class into versionParsers, ahead of the built-in ones to be asked first. The ads it
// makes go through the same rules as the built-in readers': every URL resolved against
// the document's address and kept only when that gives http or https, and the bound on
// URLs per event.
#include <QXMediaPlayer/Ad/VAST/VASTAdElement.h>
#include <QXMediaPlayer/Ad/VAST/VASTElement.h>
#include <rt/Object.h>

#include <vector>

namespace zid {

using VASTAdList = std::vector<rt::Ref<VASTAdElement>>;

class VASTVersionParser : public rt::Object {
    RT_CLASS(VASTVersionParser, rt::Object)
public:
    /// True when this dialect reads a document with that root element; false here.
    virtual bool isParsable(const VASTElement& root) const;
    /// The ads of the document whose root isParsable accepted; none here.
    virtual VASTAdList parse(const VASTElement& root) const;
};

}  // namespace zid
