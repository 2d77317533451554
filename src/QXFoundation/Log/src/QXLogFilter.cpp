#include <QXFoundation/Log/QXLogFilter.h>

#include <unicode/unistr.h>

namespace zid {

bool QXLogFilter::filterLog(const QXLogRecord&) const { return true; }

bool QXLogFilterAND::filterLog(const QXLogRecord& record) const {
    return filter0_ && filter0_->filterLog(record) && filter1_ && filter1_->filterLog(record);
}

bool QXLogFilterOR::filterLog(const QXLogRecord& record) const {
    return (filter0_ && filter0_->filterLog(record)) || (filter1_ && filter1_->filterLog(record));
}

rt::Ref<QXLogFilterByBlock> QXLogFilterByBlock::filterWithBlock(Block block) {
    return rt::make<QXLogFilterByBlock>(std::move(block));
}

bool QXLogFilterByBlock::filterLog(const QXLogRecord& record) const {
    Block current = block();
    return current ? current(record) : false;
}

bool QXLogFilterByMessage::filterLog(const QXLogRecord& record) const {
    if (partOfMessage_.empty() || record.message().empty()) return false;
    // Full Unicode case folding, so "ERROR" and "Error" both contain "error".
    icu::UnicodeString message = icu::UnicodeString::fromUTF8(record.message());
    icu::UnicodeString part = icu::UnicodeString::fromUTF8(partOfMessage_);
    message.foldCase();
    part.foldCase();
    return message.indexOf(part) >= 0;
}

bool QXLogFilterBySource::filterLog(const QXLogRecord& record) const {
    return record.source().isIdentical(source_) || record.source().isEqual(source_);
}

}  // namespace zid
