#include <QXMediaPlayer/Ad/VAST/VASTVersionParser.h>

namespace zid {

bool VASTVersionParser::isParsable(const VASTElement&) const { return false; }

VASTAdList VASTVersionParser::parse(const VASTElement&) const { return {}; }

}  // namespace zid
