#pragma once
// Extra acceptance tests a handler may apply after its level test.

#include <functional>
#include <string>

#include <QXFoundation/Log/QXLogRecord.h>
#include <rt/Locked.h>

namespace zid {

/// The base accepts every record.
class QXLogFilter : public rt::Object {
    RT_CLASS(QXLogFilter, rt::Object)
public:
    virtual bool filterLog(const QXLogRecord& record) const;
};

/// The two sub-filters of the combining filters.
class QXLogFilterPair : public QXLogFilter {
    RT_CLASS(QXLogFilterPair, QXLogFilter)
public:
    const rt::Ref<QXLogFilter>& filter0() const { return filter0_; }
    void setFilter0(rt::Ref<QXLogFilter> filter) { filter0_ = std::move(filter); }
    const rt::Ref<QXLogFilter>& filter1() const { return filter1_; }
    void setFilter1(rt::Ref<QXLogFilter> filter) { filter1_ = std::move(filter); }

protected:
    rt::Ref<QXLogFilter> filter0_, filter1_;
};

/// Both sub-filters accept; filter1 is asked only when filter0 accepted. A missing
/// sub-filter rejects.
class QXLogFilterAND : public QXLogFilterPair {
    RT_CLASS(QXLogFilterAND, QXLogFilterPair)
public:
    bool filterLog(const QXLogRecord& record) const override;
};

/// Either sub-filter accepts; filter1 is asked only when filter0 rejected. A missing
/// sub-filter rejects.
class QXLogFilterOR : public QXLogFilterPair {
    RT_CLASS(QXLogFilterOR, QXLogFilterPair)
public:
    bool filterLog(const QXLogRecord& record) const override;
};

/// The block decides. Without a block the filter rejects.
class QXLogFilterByBlock : public QXLogFilter {
    RT_CLASS(QXLogFilterByBlock, QXLogFilter)
public:
    using Block = std::function<bool(const QXLogRecord&)>;
    QXLogFilterByBlock() = default;
    explicit QXLogFilterByBlock(Block block) : block_(std::move(block)) {}
    static rt::Ref<QXLogFilterByBlock> filterWithBlock(Block block);
    bool filterLog(const QXLogRecord& record) const override;
    Block block() const { return block_.get(); }
    void setBlock(Block block) { block_.set(std::move(block)); }

private:
    rt::Locked<Block> block_;  // read and replaced atomically
};

/// The message contains the text, compared case-insensitively; an empty text or a
/// missing message never matches.
class QXLogFilterByMessage : public QXLogFilter {
    RT_CLASS(QXLogFilterByMessage, QXLogFilter)
public:
    QXLogFilterByMessage() = default;
    explicit QXLogFilterByMessage(std::string partOfMessage) : partOfMessage_(std::move(partOfMessage)) {}
    bool filterLog(const QXLogRecord& record) const override;
    const std::string& partOfMessage() const { return partOfMessage_; }
    void setPartOfMessage(std::string text) { partOfMessage_ = std::move(text); }

private:
    std::string partOfMessage_;
};

/// The record's source is the filter's source (both missing counts as the same), or
/// equal to it.
class QXLogFilterBySource : public QXLogFilter {
    RT_CLASS(QXLogFilterBySource, QXLogFilter)
public:
    QXLogFilterBySource() = default;
    explicit QXLogFilterBySource(rt::Value source) : source_(std::move(source)) {}
    bool filterLog(const QXLogRecord& record) const override;
    const rt::Value& source() const { return source_; }
    void setSource(rt::Value source) { source_ = std::move(source); }

private:
    rt::Value source_;
};

}  // namespace zid
